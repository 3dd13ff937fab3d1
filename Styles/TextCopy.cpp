#include "Styles/TextCopy.h"

namespace quillgate {

std::unique_ptr<graphics::Bitmap> DrawTextCopy(int width, int height, const graphics::Brush& background,
                                               std::u16string_view text, const FittedFont& fitted,
                                               const graphics::RectF& layout, const graphics::Brush& ink) {
  auto copy = std::make_unique<graphics::Bitmap>(width, height, graphics::PixelFormat32bppARGB);
  graphics::Graphics graphics(copy.get());
  graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
  graphics.FillRectangle(&background, graphics::Rect(0, 0, width, height));
  graphics.DrawString(text, &fitted.font, layout, &fitted.format, &ink);
  return copy;
}

}  // namespace quillgate
