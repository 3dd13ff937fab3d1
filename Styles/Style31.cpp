// Style 31, the default: the code as a white outline bent between the envelope curves and
// stretched into a random rectangle that almost fills the image. No background is painted:
// untouched pixels keep the bitmap's initial transparent black.
#include "Styles/EnvelopeStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(31) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawEnvelopeStyle(canvas, DrawingRandomizer(),
                    {.innerX = 0.10f, .innerY = 0.00f, .innerWidth = 0.85f, .innerHeight = 0.80f,
                     .fontStyle = graphics::FontStyleRegular,
                     .familyArgument = 31,
                     .background = EnvelopeBackground::kUntouched,
                     .noiseDots = false,
                     .penColor = EnvelopePenColor::Fixed(0xFFFFFFFF),
                     .penWidth = 2.0f,
                     .fill = EnvelopeFill::None()});
}

}  // namespace quillgate
