// Style 31, the default: the code as a white outline bent between the envelope curves and
// stretched into a random rectangle that almost fills the image. No background is painted:
// untouched pixels keep the bitmap's initial transparent black.
#include "Styles/StyleClasses.h"
#include "Styles/StyleHelpers.h"

namespace quillgate {

void Style31::Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  const graphics::RectF inner = canvas.Fraction(0.10f, 0.00f, 0.85f, 0.80f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);
  const graphics::Font font = RandomPathFont(randomizer, 31, graphics::FontStyleRegular);
  const graphics::Pen pen(graphics::Color(0xFFFFFFFF), 2.0f);

  TextEnvelope envelope = BuiltInEnvelope();
  envelope.DrawOutline(canvas.Graphics(), textRect, canvas.Text(), font, pen);
}

}  // namespace quillgate
