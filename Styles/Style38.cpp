// Style 38: a red envelope-warped outline in bold over a field of green specks on white.
// It takes its font from style 39's list, and style 39 from its own.
#include "Styles/DotNoise.h"
#include "Styles/StyleClasses.h"
#include "Styles/StyleHelpers.h"

namespace quillgate {

void Style38::Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  const graphics::RectF inner = canvas.Fraction(0.10f, 0.00f, 0.85f, 0.80f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);

  const graphics::SolidBrush greenBrush(graphics::Color(0xFF008000));
  const graphics::Pen redPen(graphics::Color(0xFFFF0000), 2.0f);
  canvas.Graphics().Clear(graphics::Color(0xFFFFFFFF));
  DrawDotNoise(canvas.Graphics(), randomizer, canvas.Full(), greenBrush);

  const graphics::Font font = RandomPathFont(randomizer, 39, graphics::FontStyleBold);
  TextEnvelope envelope = BuiltInEnvelope();
  envelope.DrawOutline(canvas.Graphics(), textRect, canvas.Text(), font, redPen);
}

}  // namespace quillgate
