// The pieces several styles are built from: the fitted font and rings. (Stripes, crossing
// lines and spots are replayed by the tests of the styles that draw them.)
#include "Drawing/Geometry.h"
#include "StyleDrawing.h"
#include "Styles/Rings.h"
#include "Styles/StyleHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::PointF;
using graphics::RectF;

TEST(FitFontSizeTest, TakesTheLargestSizeBelowTheStartThatFits) {
  graphics::Bitmap bitmap(10, 10);
  graphics::Graphics graphics(&bitmap);
  const graphics::FontFamily family(u"Arial");
  const auto width = [&](float size) {
    const graphics::Font font(&family, size, graphics::FontStyleBold, graphics::UnitPoint);
    graphics::RectF box;
    graphics.MeasureString(u"K7XW2", &font, graphics::PointF(0, 0), nullptr, &box);
    return box.Width;
  };
  const FittedFont fitted =
      FitFontSize(graphics, u"K7XW2", family, 60, graphics::FontStyleBold, 150);
  const float size = fitted.font.GetSize();
  EXPECT_LT(size, 59);
  EXPECT_EQ(size, std::floor(size)) << "whole steps of one point from 60";
  EXPECT_LE(fitted.measured.Width, 150);
  EXPECT_EQ(fitted.measured.Width, width(size));
  EXPECT_GT(width(size + 1), 150) << "one point more would not fit";
}

TEST(DrawRings, SkippingCirclesThatMissTheBitmapKeepsEveryPixel) {
  const struct {
    PointF centre;
    float step;
    float penWidth;
    RingRectangle rectangle;
  } cases[] = {
      {{0.5f, 39.5f}, 5, 1.5f, RingRectangle::kExact},  // on a corner
      {{-300, 20}, 4, 3, RingRectangle::kExact},  // far outside: only the rings that reach in
      // Whole-pixel rectangles, truncated the same way whether skipped or drawn.
      {{-40.5f, 10.2f}, 5, 0.5f, RingRectangle::kWholePixels},
      {{119.9f, 39.9f}, 5, 0.5f, RingRectangle::kWholePixels},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.centre.X << ", " << c.centre.Y);
    std::vector<std::uint32_t> pictures[2];
    for (const bool skipping : {false, true}) {
      graphics::Bitmap bitmap(120, 40);
      graphics::Graphics graphics(&bitmap);
      graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
      const graphics::Pen pen(Color(0xFF203040), c.penWidth);
      if (skipping) {
        DrawRings(graphics, c.centre, c.step, pen, RectF(0, 0, 120, 40), c.rectangle);
      }
      for (float r = 0; !skipping && r < kRingRadiusLimit; r += c.step) {
        const RectF circle(c.centre.X - r, c.centre.Y - r, 2 * r, 2 * r);
        if (c.rectangle == RingRectangle::kExact) {
          graphics.DrawEllipse(&pen, circle.X, circle.Y, circle.Width, circle.Height);
        } else {
          graphics.DrawEllipse(&pen, ToRect(circle));
        }
      }
      pictures[skipping] = bitmap.CopyArgb();
    }
    EXPECT_EQ(pictures[true], pictures[false]);
    EXPECT_NE(pictures[true], std::vector<std::uint32_t>(120 * 40, 0u)) << "some ring shows";
  }
}

}  // namespace
}  // namespace quillgate
