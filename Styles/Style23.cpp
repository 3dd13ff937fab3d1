// Style 23: the letters filled with rays of a random dark colour that all leave one random
// spot inside the text, on that colour's inverse; nothing is drawn outside the letters.
#include "Styles/StyleRegistry.h"
#include "Styles/Sunburst.h"

namespace quillgate {

QUILLGATE_STYLE(23) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawRayStyle(canvas, DrawingRandomizer(), 23, RayColors{.darkRangeEnd = 100});
}

}  // namespace quillgate
