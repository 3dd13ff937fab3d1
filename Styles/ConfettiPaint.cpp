#include "Styles/ConfettiPaint.h"

namespace quillgate {

graphics::HatchBrush ConfettiPaint(graphics::HatchStyle hatch, const graphics::Color& background) {
  return graphics::HatchBrush(hatch, graphics::Color(graphics::Color::LightGray), background);
}

}  // namespace quillgate
