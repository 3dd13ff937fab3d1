// Style 38: a red envelope-warped outline in bold over a field of green specks on white.
// It takes its font from style 39's list, and style 39 from its own.
#include "Styles/EnvelopeStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(38) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawEnvelopeStyle(canvas, DrawingRandomizer(),
                    {.innerX = 0.10f, .innerY = 0.00f, .innerWidth = 0.85f, .innerHeight = 0.80f,
                     .fontStyle = graphics::FontStyleBold,
                     .familyArgument = 39,
                     .background = EnvelopeBackground::kWhite,
                     .noiseDots = true,
                     .penColor = EnvelopePenColor::Fixed(0xFFFF0000),
                     .penWidth = 2.0f,
                     .fill = EnvelopeFill::None()});
}

}  // namespace quillgate
