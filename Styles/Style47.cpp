// Style 47: warped letters in a random dark colour on its light inverse, crossed inside by
// lines and rings of the light colour; outside the letters the image is plain.
#include "Styles/StyleRegistry.h"
#include "Styles/WarpedLinesAndRings.h"

namespace quillgate {

QUILLGATE_STYLE(47) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawWarpedLettersWithLinesAndRings(canvas, *bitmap, 47, std::nullopt);
}

}  // namespace quillgate
