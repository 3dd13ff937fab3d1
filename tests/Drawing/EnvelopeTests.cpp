#include "Drawing/EnvelopeCurves.h"
#include "Drawing/TextEnvelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quillgate {
namespace {

using graphics::PointF;
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

TEST(EnvelopeCurvesTest, PresetsOneAndTwoReplaceTheListsWithTheBuiltInPair) {
  std::vector<PointF> top{PointF(1, 2)};
  std::vector<PointF> bottom;
  // Other presets leave the lists alone.
  LoadEnvelopeCurves(3, top, bottom);
  LoadEnvelopeCurves(0, top, bottom);
  EXPECT_EQ(top, std::vector<PointF>{PointF(1, 2)});
  EXPECT_TRUE(bottom.empty());
  // Presets 1 and 2 replace what the lists held instead of appending.
  LoadEnvelopeCurves(1, top, bottom);
  LoadEnvelopeCurves(2, top, bottom);
  const Curves c = Preset(1);
  EXPECT_EQ(top, c.top);
  EXPECT_EQ(bottom, c.bottom);

  ASSERT_EQ(c.top.size(), 452u);
  ASSERT_EQ(c.bottom.size(), 469u);
  EXPECT_EQ(c.top.front(), PointF(163, 179));
  EXPECT_EQ(c.top.back(), PointF(592, 170));
  EXPECT_EQ(c.bottom.front(), PointF(169, 363));
  EXPECT_EQ(c.bottom.back(), PointF(614, 320));
  // The top curve rises to its crest, then dips; the bottom one sags.
  const auto byY = [](PointF a, PointF b) { return a.Y < b.Y; };
  const auto [highest, lowest] = std::minmax_element(c.top.begin(), c.top.end(), byY);
  EXPECT_EQ(highest->Y, 138);
  EXPECT_NEAR(highest->X, 306, 3);
  EXPECT_EQ(lowest->Y, 223);
  EXPECT_NEAR(lowest->X, 438, 25);
  EXPECT_EQ(std::ranges::max_element(c.bottom, byY)->Y, 383);
}

TEST(EnvelopeCurvesTest, CurvesAreChainsOfUnitSteps) {
  const Curves c = Preset(1);
  for (const auto* curve : {&c.top, &c.bottom}) {
    for (std::size_t i = 1; i < curve->size(); ++i) {
      const PointF step = (*curve)[i] - (*curve)[i - 1];
      ASSERT_TRUE(step.X == 0 || step.X == 1) << i;
      ASSERT_TRUE(step.Y == -1 || step.Y == 0 || step.Y == 1) << i;
      ASSERT_FALSE(step.X == 0 && step.Y == 0) << i;
      ASSERT_EQ((*curve)[i].X, std::floor((*curve)[i].X));
    }
  }
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

TEST(TextEnvelopeTest, FitToRectOfAPointKeepsItFinite) {
  const std::vector<PointF> one{PointF(5, 5)};
  TextEnvelope envelope(one, one);
  envelope.FitToRect(RectF(1, 2, 30, 40));
  EXPECT_EQ(envelope.TopCurve().front(), PointF(1, 2));
  TextEnvelope empty({}, {});
  empty.FitToRect(RectF(1, 2, 30, 40));
  EXPECT_TRUE(empty.TopCurve().empty());
}

class WarpTest : public ::testing::Test {
 protected:
  // A 100 x 100 bitmap only to satisfy the drawing interface; nothing is drawn on it.
  graphics::Bitmap bitmap{100, 100};
  graphics::Graphics graphics{&bitmap};
  const graphics::FontFamily family{u"Arial"};
  const graphics::Font font{&family, 200, graphics::FontStyleRegular, graphics::UnitPoint};
};

// With straight, evenly spaced guide curves the warp is the layout scaled by its largest x
// and y, x quantised to the curve's points: every moved point can be checked against the
// laid-out text directly.
TEST_F(WarpTest, PointsMoveBetweenTheCurvesByRelativePosition) {
  std::vector<PointF> top, bottom;
  for (int x = 0; x <= 100; ++x) {
    top.emplace_back(static_cast<float>(x), 0.0f);
    bottom.emplace_back(static_cast<float>(x), 100.0f);
  }
  TextEnvelope envelope(top, bottom);
  const auto warped = envelope.CreateWarpedPath(graphics, RectF(0, 0, 100, 100), u"AW7", font);

  graphics::GraphicsPath layout;
  const graphics::StringFormat format(0, 0);
  layout.AddString(u"AW7", &family, graphics::FontStyleRegular, 200, PointF(0, 0), &format);
  ASSERT_GT(layout.GetPointCount(), 0);
  ASSERT_EQ(warped->GetPointCount(), layout.GetPointCount());
  EXPECT_TRUE(std::ranges::equal(warped->Types(), layout.Types()));

  float maxX = 0, maxY = 0;
  for (const PointF& p : layout.Points()) {
    maxX = std::max(maxX, p.X);
    maxY = std::max(maxY, p.Y);
  }
  for (std::size_t k = 0; k < layout.Points().size(); ++k) {
    const PointF p = layout.Points()[k];
    const PointF q = warped->Points()[k];
    ASSERT_NEAR(q.X, std::trunc(100 * (p.X / maxX)), 1e-3) << k;
    ASSERT_NEAR(q.Y, 100 * (p.Y / maxY), 1e-3) << k;
  }
}

TEST_F(WarpTest, TheRightmostPointUsesTheLastCurvePoints) {
  // Two-point curves: every point but the rightmost takes the first curve point.
  const std::vector<PointF> top{PointF(0, 0), PointF(10, 0)};
  const std::vector<PointF> bottom{PointF(0, 10), PointF(10, 10)};
  TextEnvelope envelope(top, bottom);
  const auto warped = envelope.CreateWarpedPath(graphics, RectF(0, 0, 10, 10), u"L", font);
  ASSERT_GT(warped->GetPointCount(), 0);
  int atRight = 0;
  for (const PointF& q : warped->Points()) {
    const bool right = std::abs(q.X - 10) < 1e-3f;
    ASSERT_TRUE(right || std::abs(q.X) < 1e-3f) << q.X;
    atRight += right ? 1 : 0;
  }
  EXPECT_GE(atRight, 1);
  EXPECT_LT(atRight, warped->GetPointCount());
}

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
  EXPECT_EQ(envelope.CreateWarpedPath(graphics, RectF(0, 0, 100, 100), u"", font)->GetPointCount(), 0);
  EXPECT_EQ(envelope.CreateWarpedPath(graphics, RectF(0, 0, 100, 100), u"   ", font)->GetPointCount(), 0);
  const std::u16string zeroFirst(u"\0AB", 3);
  EXPECT_EQ(envelope.CreateWarpedPath(graphics, RectF(0, 0, 100, 100), zeroFirst, font)->GetPointCount(), 0);
  TextEnvelope noCurves({}, {});
  EXPECT_EQ(noCurves.CreateWarpedPath(graphics, RectF(0, 0, 100, 100), u"AB", font)->GetPointCount(), 0);
  const graphics::Pen pen(graphics::Color(0xFFFFFFFF), 2);
  EXPECT_TRUE(noCurves.DrawOutline(graphics, RectF(0, 0, 100, 100), u"AB", font, pen));
  EXPECT_TRUE(std::ranges::all_of(bitmap.CopyArgb(), [](std::uint32_t p) { return p == 0; }));
}

TEST_F(WarpTest, DrawingLeavesSmoothingOnAndFillCoversTheInside) {
  const Curves c = Preset(1);
  TextEnvelope envelope(c.top, c.bottom);
  const graphics::Pen pen(graphics::Color(0xFFFF0000), 2);
  const graphics::SolidBrush brush(graphics::Color(0xFF008000));
  EXPECT_TRUE(envelope.DrawOutlineAndFill(graphics, RectF(0, 0, 100, 100), u"H", font, pen, brush));
  EXPECT_EQ(graphics.GetSmoothingMode(), graphics::SmoothingModeAntiAlias);
  const auto pixels = bitmap.CopyArgb();
  EXPECT_TRUE(std::ranges::count(pixels, 0xFF008000u) > 0) << "fill drawn over the stroke";
  EXPECT_TRUE(std::ranges::count(pixels, 0xFFFF0000u) > 0) << "outer half of the stroke";
}

}  // namespace
}  // namespace quillgate
