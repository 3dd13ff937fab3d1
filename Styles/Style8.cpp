// Style 8: the code drawn only as a dotted outline, black on white: the letters' path is
// widened with a one-pixel dotted pen that stays inside the letters, and only that band is
// filled, without smoothing.
#include "Drawing/TextPath.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(8) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeNone);
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;
  const graphics::RectF inner = canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);

  const graphics::Font font = RandomPathFont(randomizer, 8, graphics::FontStyleBold);
  graphics.Clear(graphics::Color(graphics::Color::White));

  graphics::GraphicsPath textPath;
  FitTextPathToRect(canvas.Text(), font, textRect, textPath);

  // The pen's colour plays no part: only the band it would stroke is kept.
  graphics::Pen dottedPen(graphics::Color(graphics::Color::White), 1.0f);
  dottedPen.SetAlignment(graphics::PenAlignmentInset);
  dottedPen.SetDashStyle(graphics::DashStyleDot);
  // A text without outline (empty, spaces) cannot be widened and stays empty.
  textPath.Widen(&dottedPen, nullptr, 0.25f);

  const graphics::SolidBrush black{graphics::Color(graphics::Color::Black)};
  graphics.FillPath(&black, &textPath);
}

}  // namespace quillgate
