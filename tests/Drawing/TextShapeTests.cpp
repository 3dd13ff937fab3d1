// Text made into shapes: envelopes fitted to a rectangle and the text warped between their
// curves, text paths stretched onto a rectangle, and rectangles made whole.
#include "Drawing/EnvelopeCurves.h"
#include "Drawing/Geometry.h"
#include "Drawing/TextEnvelope.h"
#include "Drawing/TextPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace quillgate {
namespace {

using graphics::PointF;
using graphics::Rect;
using graphics::RectF;

struct Curves {
  std::vector<PointF> top;
  std::vector<PointF> bottom;
};

Curves Preset(int preset) {
  Curves c;
  LoadEnvelopeCurves(preset, c.top, c.bottom);
  return c;
}

RectF BoundsOf(const TextEnvelope& envelope) {
  float minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (const auto* curve : {&envelope.TopCurve(), &envelope.BottomCurve()}) {
    for (const PointF& p : *curve) {
      minX = std::min(minX, p.X);
      maxX = std::max(maxX, p.X);
      minY = std::min(minY, p.Y);
      maxY = std::max(maxY, p.Y);
    }
  }
  return {minX, minY, maxX - minX, maxY - minY};
}

TEST(TextEnvelopeTest, FitToRectMapsTheCommonBoundsOntoTheRectangle) {
  const Curves c = Preset(1);
  TextEnvelope envelope(c.top, c.bottom);
  envelope.FitToRect(RectF(10, 20, 200, 50));
  RectF b = BoundsOf(envelope);
  EXPECT_FLOAT_EQ(b.X, 10);
  EXPECT_FLOAT_EQ(b.GetRight(), 210);
  EXPECT_FLOAT_EQ(b.Y, 20);
  EXPECT_FLOAT_EQ(b.GetBottom(), 70);
  // The left end of the bottom curve (x 169) lies right of the top curve's (x 163).
  EXPECT_FLOAT_EQ(envelope.TopCurve().front().X, 10);
  EXPECT_GT(envelope.BottomCurve().front().X, 10);

  // Fitted again, onto another rectangle, the curves span exactly that one.
  envelope.FitToRect(RectF(0, 0, 250, 50));
  b = BoundsOf(envelope);
  EXPECT_NEAR(b.X, 0, 1e-4);
  EXPECT_NEAR(b.Y, 0, 1e-4);
  EXPECT_FLOAT_EQ(b.GetRight(), 250);
  EXPECT_FLOAT_EQ(b.GetBottom(), 50);
}

class WarpTest : public ::testing::Test {
 protected:
  // A 100 x 100 bitmap only to satisfy the drawing interface; nothing is drawn on it.
  graphics::Bitmap bitmap{100, 100};
  graphics::Graphics graphics{&bitmap};
  const graphics::FontFamily family{u"Arial"};
  const graphics::Font font{&family, 200, graphics::FontStyleRegular, graphics::UnitPoint};
};

TEST_F(WarpTest, BuiltInEnvelopeKeepsTheTextInsideTheRectangle) {
  const Curves c = Preset(1);
  TextEnvelope envelope(c.top, c.bottom);
  const RectF rect(12, 0, 230, 44);
  const auto warped = envelope.CreateWarpedPath(graphics, rect, u"K7XW2", font);
  ASSERT_GT(warped->GetPointCount(), 0);
  for (const PointF& q : warped->Points()) {
    ASSERT_GE(q.X, rect.X - 1e-3f);
    ASSERT_LE(q.X, rect.GetRight() + 1e-3f);
    ASSERT_GE(q.Y, rect.Y - 1e-3f);
    ASSERT_LE(q.Y, rect.GetBottom() + 1e-3f);
  }
}

TEST_F(WarpTest, TextWithoutOutlineGivesAnEmptyPath) {
  const Curves c = Preset(1);
  TextEnvelope envelope(c.top, c.bottom);
  const RectF box(0, 0, 100, 100);
  const std::u16string texts[] = {u"", u"   ", std::u16string(u"\0AB", 3)};
  for (const std::u16string& text : texts) {
    EXPECT_EQ(envelope.CreateWarpedPath(graphics, box, text, font)->GetPointCount(), 0);
  }
}

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
