// Style 13: small letters in random dark colours, each shifted up or down and turned, over
// a light yellow grid of thin lines in random colours at uneven spacing.
#include "Drawing/Geometry.h"
#include "Styles/PlacedLetters.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>
#include <vector>

namespace quillgate {
namespace {

// About 1.1 ln(length) lines across a side (6 for 250, 4 for 50), spaced 0.7 to 1.3 times
// the even spacing. Draws: the positions of the vertical lines, of the horizontal lines,
// then one colour (3) per vertical and per horizontal line.
void DrawColourLineGrid(graphics::Bitmap& bitmap) {
  graphics::Graphics graphics(&bitmap);
  graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  const auto width = static_cast<float>(bitmap.GetWidth());
  const auto height = static_cast<float>(bitmap.GetHeight());
  graphics.Clear(graphics::Color(graphics::Color::LightYellow));

  const auto linePositions = [&](float length) {
    const auto count = static_cast<std::int32_t>(NaturalLog(length) * 1.1f);
    std::vector<float> positions;
    if (count <= 0) return positions;
    const float step = length / static_cast<float>(count);
    randomizer.RandomCumulativeSteps(0.7f * step, 1.3f * step, count, positions);
    return positions;
  };
  const std::vector<float> xs = linePositions(width);
  const std::vector<float> ys = linePositions(height);

  const auto randomPen = [&] { return graphics::Pen(randomizer.RandomColorInRange(0, 256, 0, 256, 0, 256), 1.0f); };
  for (const float x : xs) {
    const graphics::Pen pen = randomPen();
    graphics.DrawLine(&pen, x, 0.0f, x, height);
  }
  for (const float y : ys) {
    const graphics::Pen pen = randomPen();
    graphics.DrawLine(&pen, 0.0f, y, width, y);
  }
}

}  // namespace

QUILLGATE_STYLE(13) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  const graphics::RectF inner = canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);
  const LetterBox box = RotatedLetterBox(textRect, canvas.Text().size());

  DrawColourLineGrid(*bitmap);
  DrawRotatedLetters(canvas, randomizer, textRect, box, {.familyArgument = 13, .colourMaximum = 150});
}

}  // namespace quillgate
