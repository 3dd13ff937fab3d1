// Style 39: bold envelope-warped text filled green with a red outline, over a field of green
// specks on white, in a text rectangle that reaches almost to the left edge.
#include "Styles/DotNoise.h"
#include "Styles/StyleClasses.h"
#include "Styles/StyleHelpers.h"

namespace quillgate {

void Style39::Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  const graphics::RectF inner = canvas.Fraction(0.01f, 0.00f, 0.95f, 0.80f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);

  const graphics::SolidBrush greenBrush(graphics::Color(0xFF008000));
  const graphics::Pen redPen(graphics::Color(0xFFFF0000), 2.0f);
  canvas.Graphics().Clear(graphics::Color(0xFFFFFFFF));
  DrawDotNoise(canvas.Graphics(), randomizer, canvas.Full(), greenBrush);

  const graphics::Font font = RandomPathFont(randomizer, 38, graphics::FontStyleBold);
  TextEnvelope envelope = BuiltInEnvelope();
  envelope.DrawOutlineAndFill(canvas.Graphics(), textRect, canvas.Text(), font, redPen, greenBrush);
}

}  // namespace quillgate
