#include "Styles/Rings.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillgate {
namespace {

std::vector<std::uint32_t> Rings(graphics::PointF centre, float step, float penWidth, bool skipping) {
  graphics::Bitmap bitmap(120, 40);
  graphics::Graphics graphics(&bitmap);
  graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
  const graphics::Pen pen(graphics::Color(0xFF203040), penWidth);
  if (skipping) {
    DrawRings(graphics, centre, step, pen, graphics::RectF(0, 0, 120, 40));
  } else {
    for (float r = 0; r < kRingRadiusLimit; r += step) {
      graphics.DrawEllipse(&pen, centre.X - r, centre.Y - r, 2 * r, 2 * r);
    }
  }
  return bitmap.CopyArgb();
}

TEST(DrawRings, SkippingCirclesThatMissTheBitmapKeepsEveryPixel) {
  const struct {
    graphics::PointF centre;
    float step;
    float penWidth;
  } cases[] = {
      {{60, 20}, 3, 2},       // centred
      {{0.5f, 39.5f}, 5, 1.5f},  // on a corner
      {{-300, 20}, 4, 3},     // far outside: only the rings that reach back in
      {{119, -1}, 3, 1},
  };
  for (const auto& c : cases) {
    const auto skipped = Rings(c.centre, c.step, c.penWidth, true);
    EXPECT_EQ(skipped, Rings(c.centre, c.step, c.penWidth, false)) << c.centre.X << ", " << c.centre.Y;
    EXPECT_NE(skipped, std::vector<std::uint32_t>(skipped.size(), 0u)) << "some ring shows";
  }
}

TEST(DrawRings, ANonPositiveStepDrawsNothingInsteadOfSpinning) {
  graphics::Bitmap bitmap(10, 10);
  graphics::Graphics graphics(&bitmap);
  const graphics::Pen pen(graphics::Color(0xFF000000), 1);
  DrawRings(graphics, {5, 5}, 0, pen, graphics::RectF(0, 0, 10, 10));
  DrawRings(graphics, {5, 5}, -3, pen, graphics::RectF(0, 0, 10, 10));
  EXPECT_EQ(bitmap.CopyArgb(), std::vector<std::uint32_t>(100, 0u));
}

}  // namespace
}  // namespace quillgate
