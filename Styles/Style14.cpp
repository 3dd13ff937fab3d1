// Style 14: small letters in random dark colours, each shifted up or down and turned, over
// a light yellow field of pale decoy letters of random characters, sizes and angles.
#include "Drawing/Geometry.h"
#include "Styles/PlacedLetters.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>
#include <string>

namespace quillgate {
namespace {

// trunc(W x H x 0.007) decoys (87 for 250 x 50), each 0.3 to 0.7 of the letter box, turned
// by up to half a turn either way, drawn without smoothing; they may run past the right and
// bottom edges. Draws per decoy: family, height, width, corner (y, x), character, angle,
// colour (3).
void DrawDecoyLetters(graphics::Bitmap& bitmap, const LetterBox& box) {
  graphics::Graphics graphics(&bitmap);
  const DrawingRandomizer randomizer;
  const auto width = static_cast<float>(bitmap.GetWidth());
  const auto height = static_cast<float>(bitmap.GetHeight());
  const graphics::RectF full(0, 0, width, height);
  graphics.Clear(graphics::Color(graphics::Color::LightYellow));

  const auto count = static_cast<std::int64_t>(static_cast<double>(width) * height * 0.007);
  for (std::int64_t k = 0; k < count; ++k) {
    const graphics::Font font = RandomPathFont(randomizer, 14, graphics::FontStyleRegular);
    const float h = randomizer.RandomFloat(0.3f * box.height, 0.7f * box.height);
    const float w = randomizer.RandomFloat(0.3f * box.width, 0.7f * box.width);
    const graphics::PointF corner = randomizer.RandomPointInRect(full);
    const graphics::RectF decoyRect(corner.X, corner.Y, w, h);
    const std::u16string character(1, static_cast<char16_t>(randomizer.RandomCharacter()));
    const float angle = randomizer.RandomFloat(-180.0f, 180.0f);
    const graphics::Color colour = randomizer.RandomColorInRange(170, 256, 170, 256, 170, 256);
    // Without a letter box (an empty code) a decoy has no size: its values are drawn all the
    // same, so the draws that follow do not depend on it, and it is left out.
    if (!(w > 0 && h > 0)) continue;
    graphics::GraphicsPath decoy = LetterPath(character, 0, font, decoyRect);
    RotatePath(decoy, angle, RectCenter(decoyRect));
    const graphics::SolidBrush brush(colour);
    graphics.FillPath(&brush, &decoy);
  }
}

}  // namespace

QUILLGATE_STYLE(14) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  const graphics::RectF inner = canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);
  const LetterBox box = RotatedLetterBox(textRect, canvas.Text().size());

  DrawDecoyLetters(*bitmap, box);
  DrawRotatedLetters(canvas, randomizer, textRect, box, {.familyArgument = 14, .colourMaximum = 120});
}

}  // namespace quillgate
