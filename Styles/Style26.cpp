// Style 26: stretched green letters with a light-green copy shifted down and right; where the
// two overlap, the red background shows through.
#include "Styles/OffsetCopy.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(26) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawOffsetCopy(canvas, DrawingRandomizer(), 26, [] {
    return OffsetCopyColors{.letters = graphics::Color(0xFF008000),
                            .copy = graphics::Color(0xFF90EE90),
                            .background = graphics::Color(0xFFFF0000)};
  });
}

}  // namespace quillgate
