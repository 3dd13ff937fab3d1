// Style 9: the code over a checkerboard floor seen in steep perspective; the letters are
// black on the white squares and white on the black ones. Every pixel is black or white:
// regions are filled pixel-aligned.
#include "Drawing/TextPath.h"
#include "Styles/CheckerboardFloor.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(9) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  const graphics::RectF inner = canvas.Fraction(0.2f, 0.2f, 0.5f, 0.5f);
  const graphics::RectF outer = canvas.Fraction(0.05f, 0.05f, 0.8f, 0.8f);
  const graphics::RectF textRect = RandomTextRect(randomizer, outer, inner);

  const graphics::Font font = RandomPathFont(randomizer, 9, graphics::FontStyleBold);
  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);

  DrawInvertingCheckerboard(canvas.Graphics(), randomizer, {canvas.Width(), canvas.Height()}, textPath);
}

}  // namespace quillgate
