// Style 32: the envelope-warped outline in bold, drawn with a thick pen of a random dark
// colour on the inverse of that colour.
#include "Styles/EnvelopeStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(32) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawEnvelopeStyle(canvas, DrawingRandomizer(),
                    {.innerX = 0.10f, .innerY = 0.00f, .innerWidth = 0.85f, .innerHeight = 0.80f,
                     .fontStyle = graphics::FontStyleBold,
                     .familyArgument = 32,
                     .background = EnvelopeBackground::kInverseOfPen,
                     .noiseDots = false,
                     .penColor = EnvelopePenColor::Random(0, 120),
                     .penWidth = 3.0f,
                     .fill = EnvelopeFill::None()});
}

}  // namespace quillgate
