#include "Styles/StripeStyle.h"

#include "Drawing/TextPath.h"

namespace quillgate {

void DrawStripeStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer, std::int32_t familyIndex,
                     StripeColors colors) {
  graphics::Graphics& g = canvas.Graphics();
  const graphics::RectF full = canvas.Full();
  const graphics::RectF textRect = RandomTextRect(randomizer, full, canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f));
  const StripeLines lines = MakeStripeLines(randomizer, canvas.Width(), canvas.Height(), colors);

  const graphics::Font font = RandomPathFont(randomizer, familyIndex, graphics::FontStyleRegular);
  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);
  const graphics::Region letters(&textPath);

  g.Clear(graphics::Color(0xFFFFFFFF));

  g.SetClip(&letters, graphics::CombineModeIntersect);
  DrawStripeLines(g, lines, full, 4.0f);

  g.ResetClip();
  g.SetClip(&letters, graphics::CombineModeExclude);
  DrawStripeLines(g, lines, full, 1.0f);
  g.ResetClip();
}

}  // namespace quillgate
