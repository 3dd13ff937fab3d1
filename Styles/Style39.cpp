// Style 39: bold envelope-warped text filled green with a red outline, over a field of green
// specks on white, in a text rectangle that reaches almost to the left edge.
#include "Styles/EnvelopeStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(39) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawEnvelopeStyle(canvas, DrawingRandomizer(),
                    {.innerX = 0.01f, .innerY = 0.00f, .innerWidth = 0.95f, .innerHeight = 0.80f,
                     .fontStyle = graphics::FontStyleBold,
                     .familyArgument = 38,
                     .background = EnvelopeBackground::kWhite,
                     .noiseDots = true,
                     .penColor = EnvelopePenColor::Fixed(0xFFFF0000),
                     .penWidth = 2.0f,
                     .fill = EnvelopeFill::Fixed(0xFF008000)});
}

}  // namespace quillgate
