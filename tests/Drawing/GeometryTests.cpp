// Rectangles made whole. (Text made into shapes, the envelopes and the stretched text paths,
// is pinned to the pixel by every style's reference picture in tests/Styles, and drawn there
// from empty and blank codes at every size down to one pixel.)
#include "Drawing/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillgate {
namespace {

using graphics::Rect;
using graphics::RectF;

TEST(GeometryHelpersTest, ToRectTruncatesTowardZero) {
  EXPECT_EQ(ToRect(RectF(1.9f, -0.5f, 10.99f, 3.0f)), Rect(1, 0, 10, 3));
  EXPECT_EQ(ToRect(RectF(3.9f, -2.5f, -1.5f, 0)), Rect(3, -2, -1, 0));
  constexpr auto kMax = std::numeric_limits<graphics::INT>::max();
  constexpr auto kMin = std::numeric_limits<graphics::INT>::min();
  EXPECT_EQ(ToRect(RectF(1e20f, -1e20f, NAN, INFINITY)), Rect(kMax, kMin, 0, kMax));
}

}  // namespace
}  // namespace quillgate
