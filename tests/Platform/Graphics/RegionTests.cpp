#include "Platform/Graphics/Gdiplus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillgate::graphics {
namespace {

std::vector<Rect> Scans(const Region& region) { return region.GetRegionScansI(); }

// A pixel is in when its sample point, just inside its top left corner, is: an edge just
// past a whole number still takes that pixel in, one just below it does not. A rectangle
// added to a path gives the same pixels as the rectangle itself.
TEST(RegionPixelRule, RectangleEdgesMapToPixelsBySamplePointNearTopLeft) {
  const std::pair<RectF, Rect> cases[] = {
      {RectF(0.5f, 0.5f, 2, 2), Rect(1, 1, 2, 2)},
      {RectF(0.98f, 2, 3, 1), Rect(1, 2, 3, 1)},
      {RectF(1.05f, 2, 3, 1), Rect(2, 2, 3, 1)},
      {RectF(-3.2f, 4.7f, 10.1f, 0.9f), Rect(-3, 5, 10, 1)},
      {RectF(7, 7, 0.5f, 0.5f), Rect(7, 7, 1, 1)},
  };
  for (const auto& [r, pixels] : cases) {
    GraphicsPath path;
    path.AddRectangle(r);
    EXPECT_EQ(Scans(Region(r)), std::vector<Rect>{pixels}) << r.X << "," << r.Y;
    EXPECT_EQ(Scans(Region(&path)), std::vector<Rect>{pixels}) << r.X << "," << r.Y;
  }
}

TEST(RegionPixelRule, PathRegionUsesThePathsFillMode) {
  GraphicsPath path(FillModeAlternate);
  path.AddRectangle(RectF(0, 0, 10, 10));
  path.AddRectangle(RectF(2, 2, 6, 6));
  const Region alternate(&path);
  EXPECT_FALSE(alternate.IsVisible(5, 5));
  EXPECT_TRUE(alternate.IsVisible(1, 5));

  path.SetFillMode(FillModeWinding);
  const Region winding(&path);
  EXPECT_EQ(Scans(winding), (std::vector<Rect>{Rect(0, 0, 10, 10)}));
}

class RegionCombine : public ::testing::Test {
 protected:
  // a covers columns 0..3, b columns 2..5, both rows 0..1.
  Region a{Rect(0, 0, 4, 2)};
  Region b{Rect(2, 0, 4, 2)};
};

TEST_F(RegionCombine, EachModeGivesItsSetOperation) {
  struct Case {
    CombineMode mode;
    std::vector<Rect> expected;
  };
  const Case cases[] = {
      {CombineModeReplace, {Rect(2, 0, 4, 2)}},
      {CombineModeIntersect, {Rect(2, 0, 2, 2)}},
      {CombineModeUnion, {Rect(0, 0, 6, 2)}},
      {CombineModeXor, {Rect(0, 0, 2, 2), Rect(4, 0, 2, 2)}},
      {CombineModeExclude, {Rect(0, 0, 2, 2)}},
      {CombineModeComplement, {Rect(4, 0, 2, 2)}},
  };
  for (const Case& c : cases) {
    Region r = a;
    EXPECT_EQ(r.Combine(&b, c.mode), Ok);
    EXPECT_EQ(Scans(r), c.expected) << "mode " << c.mode;
  }
}

TEST_F(RegionCombine, XorWithInfiniteIsTheOutside) {
  Region outside;  // infinite
  ASSERT_TRUE(outside.IsInfinite());
  outside.Xor(&a);
  EXPECT_FALSE(outside.IsVisible(1, 1));
  EXPECT_TRUE(outside.IsVisible(4, 1));
  EXPECT_TRUE(outside.IsVisible(-100000, 5));
  outside.Intersect(RectF(0, 0, 6, 2));
  EXPECT_EQ(Scans(outside), (std::vector<Rect>{Rect(4, 0, 2, 2)}));
}

TEST_F(RegionCombine, EmptyAndNullOperands) {
  Region empty(RectF(1, 1, 0, 5));
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(Scans(empty).empty());
  Region r = a;
  EXPECT_EQ(r.Combine(static_cast<const Region*>(nullptr), CombineModeUnion), InvalidParameter);
  EXPECT_EQ(Scans(r), Scans(a));
  r.Intersect(&empty);
  EXPECT_TRUE(r.IsEmpty());
}

TEST(RegionScans, BandsTopToBottomLeftToRightAndMerged) {
  // An L shape plus a detached square: rows 0-1 have two spans, rows 2-4 one.
  Region r(Rect(0, 0, 2, 5));
  r.Union(RectF(5, 0, 2, 2));
  r.Union(RectF(2, 2, 3, 3));
  EXPECT_EQ(Scans(r), (std::vector<Rect>{Rect(0, 0, 2, 2), Rect(5, 0, 2, 2), Rect(0, 2, 5, 3)}));
  EXPECT_EQ(r.GetRegionScansCount(), 3u);

  INT count = 0;
  EXPECT_EQ(r.GetRegionScans(nullptr, static_cast<RectF*>(nullptr), &count), Ok);
  EXPECT_EQ(count, 3);
  std::vector<RectF> buffer(2);
  count = 2;
  EXPECT_EQ(r.GetRegionScans(nullptr, buffer.data(), &count), InsufficientBuffer);
}

TEST(RegionScans, MatrixTransformsBeforeListing) {
  const Region r(Rect(1, 2, 3, 4));
  Matrix m;
  m.Translate(10, 20);
  EXPECT_EQ(r.GetRegionScansI(&m), (std::vector<Rect>{Rect(11, 22, 3, 4)}));
  Matrix s;
  s.Scale(2, 2);
  EXPECT_EQ(r.GetRegionScansI(&s), (std::vector<Rect>{Rect(2, 4, 6, 8)}));
}

TEST(RegionTranslate, ExactShapesMoveExactlyCombinedOnesByWholePixels) {
  Region exact(RectF(0.5f, 0, 2, 1));  // columns 1, 2
  exact.Translate(0.3f, 0.0f);
  exact.Translate(0.3f, 0.0f);  // 1.1 .. 3.1: columns 2, 3 (rounded steps would stay at 1, 2)
  EXPECT_EQ(Scans(exact), (std::vector<Rect>{Rect(2, 0, 2, 1)}));

  Region combined(Rect(0, 0, 2, 1));
  combined.Union(RectF(4, 0, 1, 1));
  combined.Translate(2.6f, -1.2f);
  EXPECT_EQ(Scans(combined), (std::vector<Rect>{Rect(3, -1, 2, 1), Rect(7, -1, 1, 1)}));

  Region infinite;
  infinite.Translate(5, 5);
  EXPECT_TRUE(infinite.IsInfinite());
  EXPECT_EQ(combined.Translate(std::numeric_limits<float>::quiet_NaN(), 0.0f), InvalidParameter);
}

TEST(RegionDegenerate, NonFiniteAndHugePathsDoNotCrash) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  GraphicsPath bad;
  bad.AddLine(0.0f, 0.0f, nan, 5.0f);
  bad.AddLine(inf, 1.0f, 3.0f, -inf);
  EXPECT_TRUE(Region(&bad).IsEmpty());

  GraphicsPath huge;
  huge.AddRectangle(RectF(-1e30f, -1e30f, 2e30f, 2e30f));
  const Region clamped(&huge);
  EXPECT_TRUE(clamped.IsVisible(0, 0));
  EXPECT_EQ(clamped.GetRegionScansCount(), 1u);

  GraphicsPath empty;
  EXPECT_TRUE(Region(&empty).IsEmpty());
  EXPECT_TRUE(Region(static_cast<const GraphicsPath*>(nullptr)).IsEmpty());
}

}  // namespace
}  // namespace quillgate::graphics
