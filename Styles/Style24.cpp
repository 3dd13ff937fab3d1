// Style 24: concentric rings around a random point inside the text, 2 pixels wide in a
// random colour through the letters and 1 pixel wide in its inverse around them, on white.
#include "Drawing/TextPath.h"
#include "Styles/Rings.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"
#include "Styles/TextClip.h"

namespace quillgate {

QUILLGATE_STYLE(24) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& g = canvas.Graphics();
  const DrawingRandomizer randomizer;
  const graphics::RectF full = canvas.Full();
  const graphics::RectF textRect = RandomTextRect(randomizer, full, canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f));
  const graphics::Font font = RandomPathFont(randomizer, 24, graphics::FontStyleRegular);
  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);

  const graphics::Color ringColor = randomizer.RandomColorInRange(0, 190, 0, 190, 0, 190);
  const graphics::Color outsideColor = InverseColor(ringColor);

  g.Clear(graphics::Color(0xFFFFFFFF));
  const graphics::PointF centre = randomizer.RandomPointInRect(textRect);

  ClipToInside(g, textPath);
  DrawRings(g, centre, 3.0f, graphics::Pen(ringColor, 2.0f), full);

  ClipToOutside(g, textPath);
  DrawRings(g, centre, 3.0f, graphics::Pen(outsideColor, 1.0f), full);
  g.ResetClip();
}

}  // namespace quillgate
