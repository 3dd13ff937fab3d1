// Style 46: dark blue warped letters on pale yellow, crossed inside by pale yellow lines and
// rings; outside the letters the image is plain pale yellow.
#include "Styles/StyleRegistry.h"
#include "Styles/WarpedLinesAndRings.h"

namespace quillgate {

QUILLGATE_STYLE(46) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawWarpedLettersWithLinesAndRings(canvas, *bitmap, 46, graphics::Color(0xFF000096));
}

}  // namespace quillgate
