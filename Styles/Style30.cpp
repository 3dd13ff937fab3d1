// Style 30: the envelope-warped outline of style 31 with a thin yellow-green pen in a text
// rectangle that reaches almost to every edge. No background is painted.
#include "Styles/EnvelopeStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(30) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawEnvelopeStyle(canvas, DrawingRandomizer(),
                    {.innerX = 0.01f, .innerY = 0.01f, .innerWidth = 0.95f, .innerHeight = 0.80f,
                     .fontStyle = graphics::FontStyleRegular,
                     .familyArgument = 30,
                     .background = EnvelopeBackground::kUntouched,
                     .noiseDots = false,
                     .penColor = EnvelopePenColor::Fixed(0xFFADFF2F),
                     .penWidth = 1.0f,
                     .fill = EnvelopeFill::None()});
}

}  // namespace quillgate
