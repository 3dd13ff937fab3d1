// Style 20: the letters filled with thick stripes of one random hue (green, blue or red, at
// random strengths); the same stripes run thin across the white background.
#include "Styles/StripeStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(20) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawStripeStyle(canvas, DrawingRandomizer(), 20, StripeColors::kOneHue);
}

}  // namespace quillgate
