// The size-fitted string styles 0 to 6, drawn from fixed states of the random source.
#include "StyleDrawing.h"
#include "CommonUtilities/RandomSource.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;

constexpr std::uint32_t kBlack = 0xFF000000, kWhite = 0xFFFFFFFF, kLightGrey = 0xFFD3D3D3, kDarkGrey = 0xFFA9A9A9;

using testing::Drawing;

using testing::Draw;

// The pixels of a cloud of `count` points drawn from `state`, y before x.
std::set<std::pair<int, int>> ReplayCloud(std::int32_t state, std::int64_t count, int width, int height) {
  testing::SetRandomState(state);
  std::set<std::pair<int, int>> cloud;
  for (std::int64_t i = 0; i < count; ++i) {
    const int y = RandomInt(height);
    cloud.emplace(RandomInt(width), y);
  }
  return cloud;
}

struct DrawCountCase {
  int style;
  int width;
  int height;
  std::uint64_t draws;  // for a five-character code
  std::uint64_t perCharacter;
};

class FittedStyleDrawCountTest : public ::testing::TestWithParam<DrawCountCase> {};

TEST_P(FittedStyleDrawCountTest, DrawsExactlyItsRandomValues) {
  const DrawCountCase c = GetParam();
  EXPECT_EQ(Draw(c.style, "K7XW2", 4711, c.width, c.height).draws, c.draws);
  EXPECT_EQ(Draw(c.style, "", 4711, c.width, c.height).draws, c.draws - 5 * c.perCharacter);
}

INSTANTIATE_TEST_SUITE_P(
    FittedStrings, FittedStyleDrawCountTest,
    ::testing::Values(
        // no random values at all
        DrawCountCase{0, 250, 50, 0, 0}, DrawCountCase{0, 37, 23, 0, 0}, DrawCountCase{1, 250, 50, 0, 0},
        DrawCountCase{1, 37, 23, 0, 0}, DrawCountCase{2, 250, 50, 0, 0}, DrawCountCase{5, 250, 50, 0, 0},
        DrawCountCase{5, 37, 23, 0, 0},
        // y and x per pixel of the image
        DrawCountCase{3, 250, 50, 2 * 12500, 0}, DrawCountCase{3, 37, 23, 2 * 851, 0},
        // four corners (y, x), then x, y, w, h per spot for trunc(W x H / 30) spots
        DrawCountCase{4, 250, 50, 8 + 4 * 416, 0}, DrawCountCase{4, 37, 23, 8 + 4 * 28, 0},
        // y and x per point of (W x H) / 7, then one height per letter
        DrawCountCase{6, 250, 50, 2 * 1785 + 5, 1}, DrawCountCase{6, 37, 23, 2 * 121 + 5, 1}),
    [](const auto& info) {
      return "Style" + std::to_string(info.param.style) + "_" + std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

class EachFittedStyleTest : public ::testing::TestWithParam<int> {};

TEST_P(EachFittedStyleTest, SameStateSameImageAndOnlyRandomStylesVary) {
  const int style = GetParam();
  const Drawing first = Draw(style, "K7XW2", 20240601);
  EXPECT_EQ(first.pixels, Draw(style, "K7XW2", 20240601).pixels);
  const bool random = style == 3 || style == 4 || style == 6;
  EXPECT_EQ(first.pixels != Draw(style, "K7XW2", 99).pixels, random);
  EXPECT_NE(first.pixels, Draw(style, "K7XW3", 20240601).pixels) << "the code shows";
}

TEST_P(EachFittedStyleTest, DegenerateInputsDrawWithoutFailing) {
  for (const std::string code : {"", "A", "\xE9~", "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"}) {
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{1, 10}, std::pair{3, 10}, std::pair{29, 24}}) {
      EXPECT_EQ(Draw(GetParam(), code, 12, w, h).pixels.size(), static_cast<std::size_t>(w * h));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FittedStrings, EachFittedStyleTest, ::testing::Range(0, 7));

TEST(Style0Test, ChessboardOfInvertedTilesWithUncoveredSeams) {
  const Drawing d = Draw(0, "K7XW2", 1);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 250; ++x) {
      const bool seam = x == 124 || x == 249;
      ASSERT_EQ(d.Pixel(x, y) == 0, seam) << x << ", " << y;
    }
  }
  // The end columns lie beside the text: the top-left tile is black (white text on
  // black), the tiles alternate along the row and down the column.
  // (The copies' backgrounds are smoothed fills from 0: their left column and top row are
  // half covered.)
  for (int c : {0, 7}) {
    EXPECT_EQ(d.Pixel(c * 250 / 8 + 1, 1), c % 2 == 0 ? kBlack : kWhite) << c;
    EXPECT_EQ(d.Pixel(c * 250 / 8 + 1, 49), c % 2 == 0 ? kWhite : kBlack) << c;
  }
  // Too narrow or too low for a tile: nothing drawn.
  for (const auto& [w, h] : {std::pair{29, 50}, std::pair{250, 24}}) {
    const Drawing none = Draw(0, "K7XW2", 1, w, h);
    EXPECT_TRUE(std::ranges::all_of(none.pixels, [](std::uint32_t p) { return p == 0; })) << w << "x" << h;
  }
}

TEST(Style1Test, CoversTheImageWithBlackTextOnWhite) {
  const Drawing d = Draw(1, "K7XW2", 1);
  EXPECT_TRUE(std::ranges::all_of(d.pixels, [](std::uint32_t p) {
    const Color c(p);
    return c.GetA() == 255 && c.GetR() == c.GetG() && c.GetG() == c.GetB();
  }));
  EXPECT_GT(std::ranges::count(d.pixels, kBlack), 100);
  // Sources that fall outside the copy take row 1 or column 1, which lie outside the text:
  // the first row and column are white.
  for (int x = 0; x < 250; ++x) EXPECT_EQ(d.Pixel(x, 0), kWhite) << x;
  // Displacements are at most 5 pixels: the ink keeps to the text's band.
  const Drawing narrow = Draw(1, "I", 1);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 250; ++x) {
      if (narrow.Pixel(x, y) != kWhite) {
        ASSERT_LT(std::abs(x - 125), 20) << x << ", " << y;
      }
    }
  }
}

// Runs of columns (or rows) dark from end to end: the grid lines.
int LineCount(const Drawing& d, bool vertical) {
  const int lines = vertical ? d.width : d.height, length = vertical ? d.height : d.width;
  int runs = 0;
  bool previous = false;
  for (int i = 0; i < lines; ++i) {
    bool dark = true;
    for (int k = 0; k < length && dark; ++k) dark = Color(vertical ? d.Pixel(i, k) : d.Pixel(k, i)).GetR() < 200;
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
  const Drawing d = Draw(2, "K7XW2", 1);
  EXPECT_EQ(d.Pixel(247, 46), kWhite) << "no line along the right or bottom edge";
}

TEST(Style3Test, WhiteCodeOverTheReplayedPixelCloud) {
  const std::int32_t state = 31337;
  const Drawing d = Draw(3, "K7XW2", state);
  const auto cloud = ReplayCloud(state, 250 * 50, 250, 50);
  int black = 0, whiteText = 0;
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 250; ++x) {
      const std::uint32_t p = d.Pixel(x, y);
      const bool inCloud = cloud.count({x, y}) != 0;
      // Black comes only from the cloud, and off the cloud only the confetti background
      // or the white text shows.
      if (p == kBlack) {
        ASSERT_TRUE(inCloud) << x << ", " << y;
      }
      if (!inCloud && Color(p).GetR() < 128) ADD_FAILURE() << "dark pixel off the cloud at " << x << ", " << y;
      black += p == kBlack ? 1 : 0;
      whiteText += (p == kWhite && inCloud) ? 1 : 0;
    }
  }
  EXPECT_GT(black, static_cast<int>(cloud.size()) / 2) << "most of the cloud shows";
  EXPECT_GT(whiteText, 300) << "the white text covers the cloud";
  EXPECT_GT(std::ranges::count(d.pixels, kLightGrey), 100) << "large confetti";
}

TEST(Style4Test, SpeckledWarpedLowerCaseTextAndGreySpots) {
  const Drawing d = Draw(4, "K7XW2", 2024);
  EXPECT_EQ(d.pixels, Draw(4, "k7xw2", 2024).pixels) << "letters drawn in lower case";
  EXPECT_TRUE(std::ranges::all_of(d.pixels, [](std::uint32_t p) {
    return p == kBlack || p == kWhite || p == kLightGrey || p == kDarkGrey;
  })) << "two-colour hatches are never smoothed";
  EXPECT_GT(std::ranges::count(d.pixels, kBlack), 200) << "the text, black with light-grey specks";
  EXPECT_GT(std::ranges::count(d.pixels, kDarkGrey), 100) << "spots";

  // The text is warped into the quadrilateral of the replayed corners (y before x), and
  // the centre of the image, where the text is centred, goes near where its diagonals cross.
  for (std::int32_t state : {2024, 7, 123456}) {
    const Drawing warped = Draw(4, "K7XW2", state);
    testing::SetRandomState(state);
    graphics::PointF p[4];
    for (int corner = 0; corner < 4; ++corner) {
      const float y = RandomInt(50) / 4.0f, x = RandomInt(250) / 4.0f;
      p[corner] = {corner % 2 == 0 ? x : 250 - x, corner < 2 ? y : 50 - y};
    }
    const auto cross = [](graphics::PointF a, graphics::PointF b) { return a.X * b.Y - a.Y * b.X; };
    const graphics::PointF d1 = p[3] - p[0], d2 = p[2] - p[1];
    const float t = cross(p[1] - p[0], d2) / cross(d1, d2);
    const float centreX = p[0].X + t * d1.X;
    int left = 250, right = -1;
    for (int y = 0; y < 50; ++y) {
      for (int x = 0; x < 250; ++x) {
        if (warped.Pixel(x, y) != kBlack) continue;
        const float a = std::min({p[0].X, p[2].X}), b = std::max({p[1].X, p[3].X});
        const float c = std::min({p[0].Y, p[1].Y}), e = std::max({p[2].Y, p[3].Y});
        ASSERT_TRUE(x + 1 >= a && x <= b && y + 1 >= c && y <= e) << x << ", " << y;
        left = std::min(left, x), right = std::max(right, x);
      }
    }
    ASSERT_GE(right, left);
    EXPECT_NEAR((left + right + 1) / 2.0, centreX, 10) << "state " << state;  // perspective shifts the ends unevenly
  }
  // Below 50 pixels on the larger side every spot has size 0.
  const Drawing small = Draw(4, "K7XW2", 2024, 49, 40);
  EXPECT_EQ(std::ranges::count(small.pixels, kDarkGrey), 0);
}

TEST(Style5Test, TilesOnAStrideWithWhiteGaps) {
  // 250 x 50: gap 5, stride 18, tile 13; 50 x 10: gap 1, stride 3, tile 2; 250 x 9: no gap.
  struct Case {
    int width, height, stride, tile;
  };
  for (const Case c : {Case{250, 50, 18, 13}, Case{50, 10, 3, 2}, Case{250, 9, 3, 3}}) {
    const Drawing d = Draw(5, "K7XW2", 1, c.width, c.height);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const bool gap = x % c.stride >= c.tile || y % c.stride >= c.tile || y >= c.stride * 3;
        if (gap) {
          ASSERT_EQ(d.Pixel(x, y), kWhite) << c.width << "x" << c.height << " at " << x << ", " << y;
        }
      }
    }
  }
  // The half-tone shows in the tiles, anchored at the copy's origin: (0, 0) white, (1, 0) grey.
  const Drawing d = Draw(5, "K7XW2", 1);
  EXPECT_EQ(d.Pixel(0, 0), kWhite);
  EXPECT_EQ(d.Pixel(1, 0), kLightGrey);
  EXPECT_GT(std::ranges::count(d.pixels, kBlack), 100);
}

TEST(Style6Test, LowerCaseLettersAtReplayedHeightsOverTheCloud) {
  const std::int32_t state = 777;
  const Drawing d = Draw(6, "K7XW2", state);
  EXPECT_EQ(d.pixels, Draw(6, "k7xw2", state).pixels) << "letters drawn in lower case";
  const std::int64_t points = 250 * 50 / 7;
  const auto cloud = ReplayCloud(state, points, 250, 50);
  for (const auto& [x, y] : cloud) ASSERT_EQ(d.Pixel(x, y), kBlack) << x << ", " << y;

  // After the cloud, one height per letter: RandomInt(H - 1.01 h) with h the fitted
  // font's line height. Letter i hangs from that height at x = 0.95 i (W / n).
  graphics::Bitmap scratch(1, 1);
  const graphics::Graphics measuring(&scratch);
  const double h = FitFontSize(measuring, u"k7xw2", graphics::FontFamily(u"Courier New"), 26,
                               graphics::FontStyleBold, 250, graphics::StringAlignmentNear,
                               graphics::StringAlignmentNear)
                       .measured.Height;
  testing::SetRandomState(state);
  for (std::int64_t i = 0; i < 2 * points; ++i) (void)RandomInt(2);
  for (int i = 0; i < 5; ++i) {
    const int letterY = RandomInt(static_cast<std::int32_t>(50 - 1.01 * h));
    const int x0 = static_cast<int>(0.95 * i * 50);
    int inkTop = 50;
    for (int y = 0; y < 50; ++y) {
      for (int x = x0; x < x0 + 40; ++x) {
        if (cloud.count({x, y}) == 0 && Color(d.Pixel(x, y)).GetR() < 100) inkTop = std::min(inkTop, y);
      }
    }
    EXPECT_GE(inkTop, letterY) << "letter " << i;
    EXPECT_LE(inkTop, letterY + h / 2) << "letter " << i;
  }
  // A one-letter code starts at the left edge.
  const Drawing one = Draw(6, "W", state);
  const auto oneCloud = ReplayCloud(state, points, 250, 50);
  int inkLeft = 250;
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 250; ++x) {
      if (oneCloud.count({x, y}) == 0 && Color(one.Pixel(x, y)).GetR() < 100) inkLeft = std::min(inkLeft, x);
    }
  }
  EXPECT_LT(inkLeft, 10);
}

}  // namespace
}  // namespace quillgate
