// Style 49: stretched bold text in a random dark colour on its light inverse, pierced by small
// round holes of the background colour scattered over the text rectangle.
#include "Styles/SpottedText.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(49) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawSpottedText(canvas, {.familyIndex = 49,
                        .fixedText = std::nullopt,
                        .fixedBackground = graphics::Color(),
                        .spotsInTextColor = false,
                        .spotCountFactor = 8.0f,
                        .spotShape = SpotShape::kRound});
}

}  // namespace quillgate
