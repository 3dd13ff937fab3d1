// The size-fitted string styles 0 to 6, drawn from fixed states of the random source.
#include "CommonUtilities/RandomSource.h"
#include "StyleDrawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::PointF;
using testing::Draw;
using testing::Drawing;
using testing::kBlack;
using testing::kWhite;

constexpr std::uint32_t kLightGrey = 0xFFD3D3D3;

// The pixels of a cloud of `count` points drawn from `state`, y before x.
std::set<std::pair<int, int>> ReplayCloud(std::int32_t state, std::int64_t count) {
  testing::SetRandomState(state);
  std::set<std::pair<int, int>> cloud;
  for (std::int64_t i = 0; i < count; ++i) {
    const int y = RandomInt(50);
    cloud.emplace(RandomInt(250), y);
  }
  return cloud;
}

TEST(Style0Test, ChessboardOfInvertedTilesWithUncoveredSeams) {
  const Drawing d = Draw(0, "K7XW2", 1);
  const auto seamOrNot = [](Color c, int x, int) {
    return (c.GetValue() == 0) != (x == 124 || x == 249);
  };
  EXPECT_EQ(testing::Find(d, seamOrNot).count, 0) << "untouched exactly at the seams";
  // The end columns lie beside the text: the top-left tile is black (white text on
  // black), the tiles alternate along the row and down the column.
  // (The copies' backgrounds are smoothed fills from 0: their left column and top row are
  // half covered.)
  for (const int c : {0, 7}) {
    EXPECT_EQ(d.Pixel(c * 250 / 8 + 1, 1), c % 2 == 0 ? kBlack : kWhite) << c;
    EXPECT_EQ(d.Pixel(c * 250 / 8 + 1, 49), c % 2 == 0 ? kWhite : kBlack) << c;
  }
}

TEST(Style1Test, DisplacedTextKeepsToItsBandOnWhite) {
  const Drawing d = Draw(1, "K7XW2", 1);
  // Sources that fall outside the copy take row 1 or column 1, which lie outside the text:
  // the first row and column are white.
  for (int x = 0; x < 250; ++x) EXPECT_EQ(d.Pixel(x, 0), kWhite) << x;
  // Displacements are at most 5 pixels: the ink keeps to the text's band.
  const testing::Box ink =
      testing::Find(Draw(1, "I", 1), [](Color c) { return c.GetValue() != kWhite; });
  EXPECT_GT(ink.left, 125 - 20);
  EXPECT_LT(ink.right, 125 + 20);
}

// Runs of columns (or rows) dark from end to end: the grid lines.
int LineCount(const Drawing& d, bool vertical) {
  const int lines = vertical ? d.width : d.height, length = vertical ? d.height : d.width;
  int runs = 0;
  bool previous = false;
  for (int i = 0; i < lines; ++i) {
    bool dark = true;
    for (int k = 0; k < length && dark; ++k) {
      dark = (vertical ? d.At(i, k) : d.At(k, i)).GetR() < 200;
    }
    runs += dark && !previous ? 1 : 0;
    previous = dark;
  }
  return runs;
}

TEST(Style2Test, GridLinesEverySevenPixelsNoneAlongTheRightOrBottomEdge) {
  struct Case {
    int width, height, vertical, horizontal;
  };
  for (const Case c : {Case{250, 50, 35, 7}, Case{6, 50, 0, 7}, Case{100, 6, 14, 0}}) {
    const Drawing d = Draw(2, "K7XW2", 1, c.width, c.height);
    EXPECT_EQ(LineCount(d, true), c.vertical) << c.width << "x" << c.height;
    EXPECT_EQ(LineCount(d, false), c.horizontal) << c.width << "x" << c.height;
  }
  EXPECT_EQ(Draw(2, "K7XW2", 1).Pixel(247, 46), kWhite) << "no line along the right or bottom edge";
}

TEST(Style3Test, WhiteCodeOverTheReplayedPixelCloud) {
  const std::int32_t state = 31337;
  const Drawing d = Draw(3, "K7XW2", state);
  const auto cloud = ReplayCloud(state, 250 * 50);
  // Black comes only from the cloud, and off the cloud only the confetti background or the
  // white text shows.
  const auto darkOff = [&](Color c, int x, int y) {
    return c.GetR() < 128 && !cloud.contains({x, y});
  };
  EXPECT_EQ(testing::Find(d, darkOff).count, 0) << "dark pixels off the cloud";
  EXPECT_GT(d.Count(kBlack), static_cast<int>(cloud.size()) / 2) << "most of the cloud shows";
  const auto whiteOn = [&](Color c, int x, int y) {
    return c.GetValue() == kWhite && cloud.contains({x, y});
  };
  EXPECT_GT(testing::Find(d, whiteOn).count, 300) << "the white text covers the cloud";
  EXPECT_GT(d.Count(kLightGrey), 100) << "large confetti";
}

TEST(Style4Test, LowerCaseTextWarpedIntoTheReplayedCorners) {
  const std::int32_t state = 2024;
  const Drawing d = Draw(4, "K7XW2", state);
  EXPECT_EQ(d.pixels, Draw(4, "k7xw2", state).pixels) << "letters drawn in lower case";
  // The text is warped into the quadrilateral of the replayed corners (y before x).
  testing::SetRandomState(state);
  PointF p[4];
  for (int corner = 0; corner < 4; ++corner) {
    const float y = RandomInt(50) / 4.0f, x = RandomInt(250) / 4.0f;
    p[corner] = {corner % 2 == 0 ? x : 250 - x, corner < 2 ? y : 50 - y};
  }
  const testing::Box text = testing::Find(d, [](Color c) { return c.GetValue() == kBlack; });
  ASSERT_GT(text.count, 0);
  EXPECT_GE(text.left + 1, std::min(p[0].X, p[2].X));
  EXPECT_LE(text.right, std::max(p[1].X, p[3].X));
  EXPECT_GE(text.top + 1, std::min(p[0].Y, p[1].Y));
  EXPECT_LE(text.bottom, std::max(p[2].Y, p[3].Y));
}

TEST(Style5Test, TilesOnAStrideWithWhiteGaps) {
  // 250 x 50: gap 5, stride 18, tile 13; 50 x 10: gap 1, stride 3, tile 2; 250 x 9: no gap.
  struct Case {
    int width, height, stride, tile;
  };
  for (const Case c : {Case{250, 50, 18, 13}, Case{50, 10, 3, 2}, Case{250, 9, 3, 3}}) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    const auto inkInGap = [&](Color p, int x, int y) {
      const bool gap = x % c.stride >= c.tile || y % c.stride >= c.tile || y >= c.stride * 3;
      return gap && p.GetValue() != kWhite;
    };
    EXPECT_EQ(testing::Find(Draw(5, "K7XW2", 1, c.width, c.height), inkInGap).count, 0);
  }
  // The half-tone shows in the tiles, anchored at the copy's origin: (0, 0) white, (1, 0) grey.
  const Drawing d = Draw(5, "K7XW2", 1);
  EXPECT_EQ(d.Pixel(0, 0), kWhite);
  EXPECT_EQ(d.Pixel(1, 0), kLightGrey);
  EXPECT_GT(d.Count(kBlack), 100);
}

// (Where each letter hangs is one draw per letter, which the draw-count table pins; the
// height it comes to is the reference picture's.)
TEST(Style6Test, LowerCaseLettersOverTheReplayedCloud) {
  const std::int32_t state = 777;
  const Drawing d = Draw(6, "K7XW2", state);
  EXPECT_EQ(d.pixels, Draw(6, "k7xw2", state).pixels) << "letters drawn in lower case";
  const std::int64_t points = 250 * 50 / 7;
  const auto cloud = ReplayCloud(state, points);
  for (const auto& [x, y] : cloud) ASSERT_EQ(d.Pixel(x, y), kBlack) << x << ", " << y;
}

}  // namespace
}  // namespace quillgate
