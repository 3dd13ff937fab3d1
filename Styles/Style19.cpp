// Style 19: crisp black letters inside a blurred red glow on black. The glow is a copy of
// the letters drawn into a bitmap of 15 % of the image's size and blown up over the image.
#include "Drawing/TextPath.h"
#include "Styles/BlurredGlow.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(19) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  const graphics::RectF inner = canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f);
  const graphics::RectF outer = canvas.Fraction(0.1f, 0.1f, 0.8f, 0.7f);
  // Both rectangles end at 0.8 H, so the text always stands on that line.
  const graphics::RectF textRect = RandomTextRect(randomizer, outer, inner);

  const graphics::Font font = RandomPathFont(randomizer, 19, graphics::FontStyleRegular);
  constexpr float kGlowScale = 0.15f;
  const graphics::SolidBrush blackBrush{graphics::Color(graphics::Color::Black)};

  graphics::GraphicsPath letters;
  FitTextPathToRect(canvas.Text(), font, textRect, letters);

  DrawBlurredGlow(canvas.Graphics(), {canvas.Width(), canvas.Height()}, letters, kGlowScale);
  canvas.Graphics().FillPath(&blackBrush, &letters);
}

}  // namespace quillgate
