// Style 21: the letters filled with thick stripes of random bright colours; the same
// stripes run thin across the white background.
#include "Styles/StripeStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(21) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawStripeStyle(canvas, DrawingRandomizer(), 21, StripeColors::kBright);
}

}  // namespace quillgate
