#include "Styles/BlurredGlow.h"

#include <cstdint>

namespace quillgate {
namespace {

// trunc(length x scale); the bitmap refuses 0 (and anything beyond its limits) by itself.
graphics::INT SmallSide(float length, float scale) {
  const float side = length * scale;
  if (!(side >= 0.0f) || side >= 1e9f) return 0;
  return static_cast<graphics::INT>(side);
}

}  // namespace

void DrawBlurredGlow(graphics::Graphics& graphics, const graphics::SizeF& size,
                     const graphics::GraphicsPath& letters, float scale) {
  const graphics::Color red(graphics::Color::Red);
  const graphics::Pen redPen(red, 1.0f);
  const graphics::SolidBrush redBrush(red);

  const graphics::INT smallWidth = SmallSide(size.Width, scale);
  const graphics::INT smallHeight = SmallSide(size.Height, scale);
  graphics::Bitmap small(smallWidth, smallHeight);

  graphics::GraphicsPath smallLetters = letters;
  graphics::Matrix shrink;
  shrink.Scale(scale, scale, graphics::MatrixOrderPrepend);
  smallLetters.Transform(&shrink);

  {
    graphics::Graphics smallGraphics(&small);
    smallGraphics.Clear(graphics::Color(graphics::Color::Black));
    smallGraphics.DrawPath(&redPen, &smallLetters);
    smallGraphics.FillPath(&redBrush, &smallLetters);
  }

  graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
  graphics.SetInterpolationMode(graphics::InterpolationModeHighQualityBilinear);
  graphics.DrawImage(&small, graphics::Rect(0, 0, static_cast<graphics::INT>(size.Width),
                                            static_cast<graphics::INT>(size.Height)),
                     0, 0, smallWidth, smallHeight, graphics::UnitPixel);
}

}  // namespace quillgate
