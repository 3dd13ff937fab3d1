// Style 48: stretched red bold text on green, pierced by small round green holes scattered
// over the text rectangle.
#include "Styles/SpottedText.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(48) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawSpottedText(canvas, {.familyIndex = 48,
                        .fixedText = graphics::Color(0xFFFF0000),
                        .fixedBackground = graphics::Color(0xFF008000),
                        .spotsInTextColor = false,
                        .spotCountFactor = 8.0f,
                        .spotShape = SpotShape::kRound});
}

}  // namespace quillgate
