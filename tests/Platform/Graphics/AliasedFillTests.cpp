// Fills without smoothing paint exactly the pixels whose centre lies inside the shape: one-
// pixel gaps between pieces stay open (Cairo's own aliased rasteriser closes them).
#include "tests/Platform/Graphics/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillgate::graphics {
namespace {

// Row `y` of the picture as '#' (painted) and '.' (untouched), columns 0 .. width - 1.
std::string Row(const Bitmap& bitmap, int y) {
  std::string row;
  for (int x = 0; x < static_cast<int>(bitmap.GetWidth()); ++x) row += testing::PixelAt(bitmap, x, y) != 0 ? '#' : '.';
  return row;
}

struct AliasedCase {
  const char* name;
  std::vector<std::vector<PointF>> figures;
  FillMode fillMode;
  const char* row2;  // the expected row 2 of a 12 x 5 picture
};

class AliasedFillTest : public ::testing::TestWithParam<AliasedCase> {};

// Unclipped opaque fills write the pixels directly; under a clip (here one that leaves the
// shapes alone) the same spans go through Cairo.
TEST_P(AliasedFillTest, PaintsExactlyThePixelCentresInside) {
  const AliasedCase& c = GetParam();
  GraphicsPath path(c.fillMode);
  for (const auto& figure : c.figures) path.AddPolygon(figure.data(), static_cast<INT>(figure.size()));
  for (const bool clipped : {false, true}) {
    Bitmap bitmap(12, 5);
    Graphics graphics(&bitmap);
    graphics.SetSmoothingMode(SmoothingModeNone);
    if (clipped) graphics.SetClip(Rect(1, 1, 11, 4));
    const SolidBrush black{Color(Color::Black)};
    ASSERT_EQ(graphics.FillPath(&black, &path), Ok);
    EXPECT_EQ(Row(bitmap, 2), c.row2) << (clipped ? "clipped" : "unclipped");
    EXPECT_EQ(Row(bitmap, 0), "............");
  }
}

const std::vector<PointF> kDot1 = {{2.3f, 2.3f}, {3.3f, 2.3f}, {3.3f, 3.3f}, {2.3f, 3.3f}};
const std::vector<PointF> kDot2 = {{4.3f, 2.3f}, {5.3f, 2.3f}, {5.3f, 3.3f}, {4.3f, 3.3f}};
// Slanted on one side, which sends Cairo away from its box fast path.
const std::vector<PointF> kSlanted = {{6.3f, 2.3f}, {7.3f, 2.3f}, {7.3f, 3.3f}, {6.3f, 3.6f}};
// Centres 2.5 .. 9.5 lie inside; 1.5 and 10.5 do not.
const std::vector<PointF> kWide = {{1.6f, 1.6f}, {10.4f, 1.6f}, {10.4f, 3.4f}, {1.6f, 3.4f}};

INSTANTIATE_TEST_SUITE_P(
    Gaps, AliasedFillTest,
    ::testing::Values(AliasedCase{"BoxesOnly", {kDot1, kDot2}, FillModeWinding, "..#.#......."},
                      AliasedCase{"WithASlantedPiece", {kDot1, kDot2, kSlanted}, FillModeWinding, "..#.#.#....."},
                      // Alternate filling: a piece inside another is a hole.
                      AliasedCase{"AlternateHoles", {kWide, kDot1, kSlanted}, FillModeAlternate, "...###.###.."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillgate::graphics
