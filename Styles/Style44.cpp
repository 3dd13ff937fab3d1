// Style 44: envelope-warped text in a random light colour on its dark inverse, with a glow:
// outline passes from wide to narrow whose colour fades from near the background to near
// the text colour.
#include "Styles/EnvelopeStyle.h"
#include "Styles/StyleRegistry.h"

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

QUILLGATE_STYLE(44) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  EnvelopeText text = DrawEnvelopeStyle(
      canvas, DrawingRandomizer(),
      {.innerX = 0.10f, .innerY = 0.00f, .innerWidth = 0.85f, .innerHeight = 0.80f,
       .fontStyle = graphics::FontStyleRegular,
       .familyArgument = 44,
       .background = EnvelopeBackground::kInverseOfPen,
       .noiseDots = false,
       .penColor = EnvelopePenColor::Random(170, 250),
       .penWidth = 1.0f,
       .fill = EnvelopeFill::PenColor()});

  // The glow: outline passes from the widest to the narrowest, over the text.
  const graphics::Color background = InverseColor(text.penColor);
  const auto passes = static_cast<std::int32_t>(std::min(canvas.Width(), canvas.Height()) / 2.7);
  for (std::int32_t pass = passes; pass >= 1; --pass) {
    const graphics::Pen glowPen(GlowColor(text.penColor, background, passes, pass),
                                static_cast<float>(pass));
    text.envelope.DrawOutline(canvas.Graphics(), text.rect, canvas.Text(), text.font, glowPen);
  }
}

}  // namespace quillgate
