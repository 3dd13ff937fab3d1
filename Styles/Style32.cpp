// Style 32: the envelope-warped outline in bold, drawn with a thick pen of a random dark
// colour on the inverse of that colour.
#include "Styles/StyleClasses.h"
#include "Styles/StyleHelpers.h"

namespace quillgate {

void Style32::Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  const graphics::RectF inner = canvas.Fraction(0.10f, 0.00f, 0.85f, 0.80f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);
  const graphics::Font font = RandomPathFont(randomizer, 32, graphics::FontStyleBold);

  const graphics::Color penColor = randomizer.RandomColorInRange(0, 120, 0, 120, 0, 120);
  canvas.Graphics().Clear(InverseColor(penColor));
  const graphics::Pen pen(penColor, 3.0f);

  TextEnvelope envelope = BuiltInEnvelope();
  envelope.DrawOutline(canvas.Graphics(), textRect, canvas.Text(), font, pen);
}

}  // namespace quillgate
