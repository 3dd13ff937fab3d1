// Style 35: warped bold Times New Roman letters over a checkerboard floor seen in steep
// perspective; the letters are black on the white squares and white on the black ones.
#include "Styles/CheckerboardFloor.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(35) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  // A negative top lets the text rectangle start up to a tenth of H above the image.
  const graphics::RectF inner = canvas.Fraction(0.10f, -0.10f, 0.75f, 0.80f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);

  // Always the default family: no draw for the font.
  const graphics::Font font = PathFont(randomizer.DefaultFontFamily(), graphics::FontStyleBold);
  TextEnvelope envelope = BuiltInEnvelope();
  const auto letters = envelope.CreateWarpedPath(canvas.Graphics(), textRect, canvas.Text(), font);

  DrawInvertingCheckerboard(canvas.Graphics(), randomizer, {canvas.Width(), canvas.Height()}, *letters);
}

}  // namespace quillgate
