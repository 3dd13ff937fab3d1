#include "Styles/SolidPaint.h"

namespace quillgate {

graphics::HatchBrush SolidPaint(const graphics::Color& color) {
  return graphics::HatchBrush(graphics::HatchStyleSmallConfetti, color, color);
}

}  // namespace quillgate
