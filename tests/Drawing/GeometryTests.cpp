#include "Drawing/Geometry.h"
#include "Drawing/TextPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillgate {
namespace {

using graphics::PointF;
using graphics::Rect;
using graphics::RectF;

void ExpectBounds(const graphics::GraphicsPath& path, const RectF& expected) {
  RectF bounds;
  ASSERT_EQ(path.GetBounds(&bounds), graphics::Ok);
  const float tolerance = 1e-3f * std::max(expected.Width, expected.Height);
  EXPECT_NEAR(bounds.X, expected.X, tolerance);
  EXPECT_NEAR(bounds.Y, expected.Y, tolerance);
  EXPECT_NEAR(bounds.GetRight(), expected.GetRight(), tolerance);
  EXPECT_NEAR(bounds.GetBottom(), expected.GetBottom(), tolerance);
}

class FitTextPathTest : public ::testing::Test {
 protected:
  const graphics::FontFamily family{u"Times New Roman"};
  const graphics::Font font{&family, 200, graphics::FontStyleBold, graphics::UnitPoint};
};

TEST_F(FitTextPathTest, StretchesTheTextOntoTheRectangle) {
  for (const RectF& rect : {RectF(10, 5, 200, 30), RectF(-3.5f, 2, 40, 90), RectF(0, 0, 250, 50)}) {
    graphics::GraphicsPath path;
    FitTextPathToRect(u"Q4J", font, rect, path);
    EXPECT_EQ(path.GetFillMode(), graphics::FillModeWinding);
    ASSERT_GT(path.GetPointCount(), 0);
    ExpectBounds(path, rect);
  }
}

TEST_F(FitTextPathTest, TextWithoutOutlineLeavesThePathEmptyAndFinite) {
  graphics::GraphicsPath path;
  FitTextPathToRect(u"", font, RectF(0, 0, 100, 20), path);
  EXPECT_EQ(path.GetPointCount(), 0);
  FitTextPathToRect(u"  ", font, RectF(0, 0, 100, 20), path);
  for (const PointF& p : path.Points()) {
    EXPECT_TRUE(std::isfinite(p.X) && std::isfinite(p.Y));
  }
}

TEST(GeometryHelpersTest, ToRectTruncatesTowardZero) {
  EXPECT_EQ(ToRect(RectF(1.9f, -0.5f, 10.99f, 3.0f)), Rect(1, 0, 10, 3));
  EXPECT_EQ(ToRect(RectF(3.9f, -2.5f, -1.5f, 0)), Rect(3, -2, -1, 0));
  constexpr auto kMax = std::numeric_limits<graphics::INT>::max();
  constexpr auto kMin = std::numeric_limits<graphics::INT>::min();
  EXPECT_EQ(ToRect(RectF(1e20f, -1e20f, NAN, INFINITY)), Rect(kMax, kMin, 0, kMax));
}

}  // namespace
}  // namespace quillgate
