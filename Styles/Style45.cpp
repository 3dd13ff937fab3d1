// Style 45: stretched yellow-green bold text on tomato red, grown blobs of its own colour:
// ovals of random width and height scattered over the text rectangle.
#include "Styles/SpottedText.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(45) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawSpottedText(canvas, {.familyIndex = 45,
                        .fixedText = graphics::Color(0xFFADFF2F),
                        .fixedBackground = graphics::Color(0xFFFF6347),
                        .spotsInTextColor = true,
                        .spotCountFactor = 12.0f,
                        .spotShape = SpotShape::kOval});
}

}  // namespace quillgate
