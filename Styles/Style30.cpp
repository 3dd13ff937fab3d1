// Style 30: the envelope-warped outline of style 31 with a thin yellow-green pen in a text
// rectangle that reaches almost to every edge. No background is painted.
#include "Styles/StyleClasses.h"
#include "Styles/StyleHelpers.h"

namespace quillgate {

void Style30::Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  const graphics::RectF inner = canvas.Fraction(0.01f, 0.01f, 0.95f, 0.80f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);
  const graphics::Font font = RandomPathFont(randomizer, 30, graphics::FontStyleRegular);
  const graphics::Pen pen(graphics::Color(0xFFADFF2F), 1.0f);

  TextEnvelope envelope = BuiltInEnvelope();
  envelope.DrawOutline(canvas.Graphics(), textRect, canvas.Text(), font, pen);
}

}  // namespace quillgate
