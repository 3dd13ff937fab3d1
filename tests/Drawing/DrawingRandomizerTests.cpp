// The drawing's random values. Integer, colour and character ranges are not checked apart:
// the worked-out values pin the arithmetic, and every style's reference picture in
// tests/Styles pins the values each style draws (style 14 alone draws some 87 characters).
#include "Drawing/DrawingRandomizer.h"

#include "CommonUtilities/RandomSourceTesting.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::PointF;
using graphics::RectF;
using graphics::SizeF;
using testing::SetRandomState;

bool Contains(const RectF& outer, const RectF& inner) {
  return outer.X <= inner.X && outer.Y <= inner.Y && inner.GetRight() <= outer.GetRight() &&
         inner.GetBottom() <= outer.GetBottom();
}

// Values worked out by hand from the generator's definition: they pin the arithmetic and
// the order in which each operation consumes its draws.
TEST(DrawingRandomizerTest, FixedStateGivesTheWorkedOutValues) {
  const DrawingRandomizer r;
  SetRandomState(12345);  // blue, green, red drawn in that order: 71, 185, 178
  EXPECT_EQ(r.RandomColor(), Color(0xFFB2B947));

  SetRandomState(777);  // top, left, right, bottom
  const RectF rect = r.RandomRectBetween(RectF(0, 0, 250, 50), RectF(25, 0, 212.5f, 40));
  EXPECT_FLOAT_EQ(rect.X, 1.755f);
  EXPECT_FLOAT_EQ(rect.Y, 0.0f);
  EXPECT_FLOAT_EQ(rect.GetRight(), 240.63625f);
  EXPECT_FLOAT_EQ(rect.GetBottom(), 47.819f);

  SetRandomState(1000);  // y (224 / 10000 of the height), then x (324 / 10000 of the width)
  const PointF point = r.RandomPointInRect(RectF(10, 20, 30, 5));
  EXPECT_FLOAT_EQ(point.X, 10.972f);
  EXPECT_FLOAT_EQ(point.Y, 20.112f);
}

TEST(DrawingRandomizerTest, RectanglesRespectTheirBounds) {
  const DrawingRandomizer r;
  SetRandomState(8);
  const RectF outer(0, 0, 250, 50);
  const RectF inner(25, 5, 150, 30);
  for (int i = 0; i < 1000; ++i) {
    const RectF between = r.RandomRectBetween(outer, inner);
    ASSERT_TRUE(Contains(between, inner));
    ASSERT_TRUE(Contains(outer, between));
    const RectF sized = r.RandomRectOfSize(outer, SizeF(40, 10));
    ASSERT_EQ(sized.Width, 40.0f);
    ASSERT_EQ(sized.Height, 10.0f);
    ASSERT_TRUE(Contains(outer, sized));
  }
}

TEST(DrawingRandomizerTest, FontFamiliesComeFromTheStyleList) {
  const DrawingRandomizer r;
  SetRandomState(77);
  std::set<std::u16string> serif, others;
  for (int i = 0; i < 500; ++i) {
    serif.insert(r.RandomFontFamily(7));
    others.insert(r.RandomFontFamily(i % 50 == 7 ? 8 : i % 50));
  }
  EXPECT_EQ(serif, std::set<std::u16string>{u"Times New Roman"});
  EXPECT_EQ(others, (std::set<std::u16string>{u"Arial", u"Verdana", u"Times New Roman",
                                               u"Tahoma", u"Courier New"}));
}

}  // namespace
}  // namespace quillgate
