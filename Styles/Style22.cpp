// Style 22: the letters filled with red rays that all leave one random spot inside the
// text, on green yellow; nothing is drawn outside the letters.
#include "Styles/StyleRegistry.h"
#include "Styles/Sunburst.h"

namespace quillgate {

QUILLGATE_STYLE(22) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawRayStyle(canvas, DrawingRandomizer(), 22, RayColors{});
}

}  // namespace quillgate
