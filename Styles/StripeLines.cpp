#include "Styles/StripeLines.h"

#include "Drawing/Geometry.h"

#include <cstdint>

namespace quillgate {

namespace {

struct ChannelRanges {
  std::int32_t rMin, rMax, gMin, gMax, bMin, bMax;
};

ChannelRanges HueRanges(const DrawingRandomizer& randomizer, StripeColors colors) {
  if (colors == StripeColors::kBright) return {50, 255, 50, 255, 50, 255};
  switch (randomizer.RandomInteger(1, 4)) {
    case 1: return {0, 0, 100, 255, 0, 0};
    case 2: return {0, 0, 0, 0, 100, 255};
    default: return {100, 255, 0, 0, 0, 0};
  }
}

// ln(extent) x 4.1 stripes, truncated, at steps of 0.7 to 1.3 times the even spacing.
std::vector<float> StripePositions(const DrawingRandomizer& randomizer, float extent) {
  const auto n = static_cast<std::int32_t>(NaturalLog(extent) * 4.1);
  std::vector<float> positions;
  if (n <= 0) return positions;  // no stripes, and no step to divide by
  const float step = extent / static_cast<float>(n);
  randomizer.RandomCumulativeSteps(static_cast<float>(0.7 * step), static_cast<float>(1.3 * step), n, positions);
  return positions;
}

}  // namespace

StripeLines MakeStripeLines(const DrawingRandomizer& randomizer, float width, float height, StripeColors colors) {
  const ChannelRanges c = HueRanges(randomizer, colors);
  const std::vector<float> xs = StripePositions(randomizer, width);
  const std::vector<float> ys = StripePositions(randomizer, height);
  StripeLines lines;
  auto colour = [&] { return randomizer.RandomColorInRange(c.rMin, c.rMax, c.gMin, c.gMax, c.bMin, c.bMax); };
  for (const float x : xs) lines.vertical.push_back({colour(), x});
  for (const float y : ys) lines.horizontal.push_back({colour(), y});
  return lines;
}

void DrawStripeLines(graphics::Graphics& graphics, const StripeLines& lines, const graphics::RectF& full,
                     float penWidth) {
  for (const Stripe& s : lines.horizontal) {
    const graphics::Pen pen(s.color, penWidth);
    graphics.DrawLine(&pen, 0.0f, s.position, full.GetRight(), s.position);
  }
  for (const Stripe& s : lines.vertical) {
    const graphics::Pen pen(s.color, penWidth);
    graphics.DrawLine(&pen, s.position, 0.0f, s.position, full.GetBottom());
  }
}

}  // namespace quillgate
