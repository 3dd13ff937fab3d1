#include "Styles/EnvelopeStyle.h"

#include "Styles/DotNoise.h"

namespace quillgate {
namespace {

constexpr graphics::ARGB kWhite = 0xFFFFFFFF;
constexpr graphics::ARGB kGreen = 0xFF008000;

}  // namespace

EnvelopeText DrawEnvelopeStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                               const EnvelopeStyleRow& row) {
  graphics::Graphics& graphics = canvas.Graphics();
  const graphics::RectF inner = canvas.Fraction(row.innerX, row.innerY, row.innerWidth, row.innerHeight);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);

  if (row.background == EnvelopeBackground::kWhite) graphics.Clear(graphics::Color(kWhite));
  if (row.noiseDots) {
    const graphics::SolidBrush greenBrush{graphics::Color(kGreen)};
    DrawDotNoise(graphics, randomizer, canvas.Full(), greenBrush);
  }

  EnvelopeText text{textRect, RandomPathFont(randomizer, row.familyArgument, row.fontStyle),
                    BuiltInEnvelope(), graphics::Color(row.penColor.fixed)};
  if (row.penColor.IsRandom()) {
    const std::int32_t low = row.penColor.randomLow;
    const std::int32_t high = row.penColor.randomHigh;
    text.penColor = randomizer.RandomColorInRange(low, high, low, high, low, high);
  }
  if (row.background == EnvelopeBackground::kInverseOfPen) graphics.Clear(InverseColor(text.penColor));

  const graphics::Pen pen(text.penColor, row.penWidth);
  if (row.fill.kind == EnvelopeFill::Kind::kNone) {
    text.envelope.DrawOutline(graphics, text.rect, canvas.Text(), text.font, pen);
  } else {
    const graphics::SolidBrush brush(row.fill.kind == EnvelopeFill::Kind::kFixed
                                         ? graphics::Color(row.fill.fixed)
                                         : text.penColor);
    text.envelope.DrawOutlineAndFill(graphics, text.rect, canvas.Text(), text.font, pen, brush);
  }
  return text;
}

}  // namespace quillgate
