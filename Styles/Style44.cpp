// Style 44: envelope-warped text in a random light colour on its dark inverse, with a glow:
// outline passes from wide to narrow whose colour fades from near the background to near
// the text colour.
#include "Styles/StyleClasses.h"
#include "Styles/StyleHelpers.h"

#include <algorithm>
#include <cstdint>

namespace quillgate {
namespace {

// Per channel: text + ((background - text) / passes) * pass, the division truncating
// toward zero, so the widest pass is nearest the background colour.
graphics::Color GlowColor(const graphics::Color& text, const graphics::Color& background,
                          std::int32_t passes, std::int32_t pass) {
  const auto channel = [&](graphics::BYTE t, graphics::BYTE b) {
    const std::int32_t step = (static_cast<std::int32_t>(b) - static_cast<std::int32_t>(t)) / passes;
    return static_cast<graphics::BYTE>(t + step * pass);
  };
  return {channel(text.GetR(), background.GetR()), channel(text.GetG(), background.GetG()),
          channel(text.GetB(), background.GetB())};
}

}  // namespace

void Style44::Draw(std::string code, boost::shared_ptr<graphics::Bitmap> bitmap) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  const graphics::RectF inner = canvas.Fraction(0.10f, 0.00f, 0.85f, 0.80f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);
  const graphics::Font font = RandomPathFont(randomizer, 44, graphics::FontStyleRegular);
  TextEnvelope envelope = BuiltInEnvelope();

  const graphics::Color textColor = randomizer.RandomColorInRange(170, 250, 170, 250, 170, 250);
  const graphics::Color background = InverseColor(textColor);
  canvas.Graphics().Clear(background);

  const graphics::SolidBrush textBrush(textColor);
  const graphics::Pen textPen(textColor, 1.0f);
  envelope.DrawOutlineAndFill(canvas.Graphics(), textRect, canvas.Text(), font, textPen, textBrush);

  const auto passes = static_cast<std::int32_t>(std::min(canvas.Width(), canvas.Height()) / 2.7);
  for (std::int32_t pass = passes; pass >= 1; --pass) {
    const graphics::Pen glowPen(GlowColor(textColor, background, passes, pass),
                                static_cast<float>(pass));
    envelope.DrawOutline(canvas.Graphics(), textRect, canvas.Text(), font, glowPen);
  }
}

}  // namespace quillgate
