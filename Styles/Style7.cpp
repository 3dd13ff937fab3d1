// Style 7: black double-arc scribbles on white smoke, drawn without smoothing: packed densely
// into the letters (with a few light ones over them), sparse outside, where twice as many
// light arcs follow and cover most of the black ones again.
#include "Drawing/TextPath.h"
#include "Styles/ScatteredMarks.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"
#include "Styles/TextClip.h"

#include <cmath>

namespace quillgate {

QUILLGATE_STYLE(7) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeNone);
  graphics::Graphics& g = canvas.Graphics();
  const DrawingRandomizer randomizer;
  const float W = canvas.Width(), H = canvas.Height();
  const graphics::RectF full = canvas.Full();
  const graphics::RectF textRect = RandomTextRect(randomizer, full, canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f));

  const graphics::Color whiteSmoke(0xFFF5F5F5);
  const graphics::Pen black(graphics::Color(0xFF000000), 1.0f), light(whiteSmoke, 1.0f);
  const graphics::SizeF markSize(W / 60, H / 60);
  const float jitter = (W / 60) / 3;
  // Always "Times New Roman", but the family still takes its draw.
  const graphics::Font font = RandomPathFont(randomizer, 7, graphics::FontStyleBold);

  g.Clear(whiteSmoke);
  const auto count = static_cast<std::int64_t>(static_cast<double>(W * H) * 0.25);

  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);

  ClipToInside(g, textPath);
  DrawHumps(g, randomizer, black, full, markSize, jitter, count);
  DrawHumps(g, randomizer, light, full, markSize, jitter, count / 10);

  // The clip becomes everything outside the letters: the letters' clip Xor the whole image.
  g.ResetClip();
  const graphics::Region fullRegion(full);
  g.SetClip(&textPath, graphics::CombineModeReplace);
  g.SetClip(&fullRegion, graphics::CombineModeXor);
  // While i < 0.8 count, in double precision: ceil(0.8 count) arcs.
  const auto outsideBlack = static_cast<std::int64_t>(std::ceil(static_cast<double>(count) * 0.8));
  DrawHumps(g, randomizer, black, full, markSize, jitter, outsideBlack);
  DrawHumps(g, randomizer, light, full, markSize, jitter, 2 * count);
}

}  // namespace quillgate
