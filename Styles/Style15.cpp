// Style 15: the code stippled with black dots on white: dense one-pixel dots inside the
// letters, larger dots along their outlines, and a light speckle of black and white dots
// over the whole image.
#include "Drawing/TextPath.h"
#include "Styles/ScatteredMarks.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"
#include "Styles/TextClip.h"

namespace quillgate {

QUILLGATE_STYLE(15) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& g = canvas.Graphics();
  const DrawingRandomizer randomizer;
  const float W = canvas.Width(), H = canvas.Height();
  const graphics::RectF full = canvas.Full();
  const graphics::RectF textRect = RandomTextRect(randomizer, full, canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f));
  const graphics::Font font = RandomPathFont(randomizer, 15, graphics::FontStyleRegular);

  g.Clear(graphics::Color(0xFFFFFFFF));
  const auto count = static_cast<std::int64_t>(static_cast<double>(W * H) * 0.4);

  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);

  // One brush per colour: a new brush per dot would paint the same pixels.
  const graphics::SolidBrush black(graphics::Color(0xFF000000)), white(graphics::Color(0xFFFFFFFF));

  ClipToInside(g, textPath);
  DrawDots(g, randomizer, black, textRect, 1, count);
  DrawDots(g, randomizer, white, textRect, 1, count / 10);

  ClipToOutlineBand(g, textPath, 3.0f);
  DrawDots(g, randomizer, black, textRect, 2, count / 10);
  DrawDots(g, randomizer, white, textRect, 2, count / 7);

  g.ResetClip();
  DrawDots(g, randomizer, black, full, 1, count / 10);
  DrawDots(g, randomizer, white, full, 1, count / 7);
}

}  // namespace quillgate
