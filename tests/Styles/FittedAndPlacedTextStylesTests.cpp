// The styles that show the code as plain shapes, drawn from fixed states of the random
// source: a size-fitted string (3, 5, 6: the rules that hold at any size or state; 0, 1, 2
// draw nothing at random and 4 only moves its corners, so their reference pictures hold them
// whole, and the degenerate-input suite draws 2 at sizes too small for a grid line), regions
// (9, 10) and letters placed one by one (13, 14, 16, 17, 18). (Style 8's dotted outline,
// 19's glow and how 16 to 18 fill one letter are left to the reference pictures and the
// draw-count table.)
#include "CommonUtilities/RandomSource.h"
#include "StyleDrawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;
using testing::Box;
using testing::Draw;
using testing::Drawing;
using testing::ExpectWithin;
using testing::kBlack;
using testing::kWhite;
using testing::TextRect;

const RectF kFull(0, 0, 1, 1);
constexpr std::uint32_t kLightYellow = 0xFFFFFFE0;
constexpr std::uint32_t kLightGrey = 0xFFD3D3D3;

bool OnlyBlackAndWhite(const Drawing& d) {
  return d.Count(kBlack) + d.Count(kWhite) == d.width * d.height;
}

// ---- a size-fitted string -----------------------------------------------

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
}

// (Where each letter hangs is one draw per letter, which the draw-count table pins; the
// height it comes to is the reference picture's.)
TEST(Style6Test, LowerCaseLettersOverTheReplayedCloud) {
  const std::int32_t state = 777;
  const Drawing d = Draw(6, "K7XW2", state);
  EXPECT_EQ(d.pixels, Draw(6, "k7xw2", state).pixels) << "letters drawn in lower case";
  const auto cloud = ReplayCloud(state, 250 * 50 / 7);
  for (const auto& [x, y] : cloud) ASSERT_EQ(d.Pixel(x, y), kBlack) << x << ", " << y;
}

// ---- regions -----------------------------------------------------------

TEST(Style9Test, TheLettersInvertTheFloorThatCoversEverything) {
  for (const auto& [state, w, h] : {std::tuple{17, 250, 50}, std::tuple{808, 40, 40}}) {
    const Drawing floor = Draw(9, "", state, w, h);
    const Drawing text = Draw(9, "K3P9X", state, w, h);
    EXPECT_TRUE(OnlyBlackAndWhite(floor) && OnlyBlackAndWhite(text)) << "pixel-aligned, covered";
    EXPECT_GT(floor.Count(kBlack), w * h / 5) << "black squares";
    EXPECT_GT(floor.Count(kWhite), w * h / 5) << "white squares";
    // Same draws, same floor: the letters are exactly where the two pictures differ, and
    // there they take the other colour of the square beneath.
    const RectF rect =
        TextRect(state, RectF(0.05f, 0.05f, 0.8f, 0.8f), RectF(0.2f, 0.2f, 0.5f, 0.5f), w, h);
    for (const std::uint32_t from : {kBlack, kWhite}) {
      ExpectWithin(testing::Find(text,
                                 [&](Color c, int x, int y) {
                                   return floor.Pixel(x, y) == from && c.GetValue() != from;
                                 }),
                   rect, 1);
    }
  }
}

TEST(Style10Test, LettersAndOddlyOverlappedCirclesAreBlackTheirOverlapWhite) {
  const std::int32_t state = 555;
  const Drawing circles = Draw(10, "", state);
  const Drawing text = Draw(10, "K3P9X", state);
  EXPECT_TRUE(OnlyBlackAndWhite(circles) && OnlyBlackAndWhite(text));

  // Replay the circles after the rectangle and family: their count m, m running x steps,
  // then a radius and a y per circle. A pixel well inside an odd number of them is black.
  struct Circle {
    float cx, cy, r;
  };
  std::vector<Circle> predicted;
  const DrawingRandomizer r = testing::ReplayAfter(state, 5);
  const float a = 150, rMin = 0.05f * a, rMax = 0.15f * a;
  const auto m = static_cast<int>(r.RandomFloat(0.04f * a, 0.12f * a));
  std::vector<float> xs{0};
  r.RandomCumulativeSteps(2 * rMin, 2 * rMax, m, xs);
  for (std::size_t i = 0; i < static_cast<std::size_t>(m); ++i) {
    const auto radius = static_cast<int>(r.RandomFloat(rMin, rMax));
    const auto y = static_cast<int>(r.RandomFloat(-rMax / 2, 50));
    const auto x = static_cast<int>((xs[i] + xs[i + 1]) / 2);
    predicted.push_back({static_cast<float>(x + radius), static_cast<float>(y + radius),
                         static_cast<float>(radius)});
  }
  EXPECT_EQ(text.draws, 4u + 1 + 1 + 3 * static_cast<std::uint64_t>(m));
  int checked = 0;
  for (int y = 0; y < 50; y += 3) {
    for (int x = 0; x < 250; x += 3) {
      int inside = 0;
      bool nearEdge = false;
      for (const Circle& c : predicted) {
        const float d =
            std::hypot(static_cast<float>(x) + 0.5f - c.cx, static_cast<float>(y) + 0.5f - c.cy);
        nearEdge = nearEdge || std::abs(d - c.r) < 1.5f;
        inside += d < c.r ? 1 : 0;
      }
      if (nearEdge) continue;
      ++checked;
      ASSERT_EQ(circles.Pixel(x, y), inside % 2 == 1 ? kBlack : kWhite) << x << "," << y;
    }
  }
  EXPECT_GT(checked, 1000);

  // The letters flip exactly the pixels they cover, inside the text rectangle.
  const Box flipped = testing::Find(
      text, [&](Color c, int x, int y) { return c.GetValue() != circles.Pixel(x, y); });
  ExpectWithin(flipped, TextRect(state, kFull, RectF(0.2f, 0.2f, 0.5f, 0.5f)), 1);
  EXPECT_GT(flipped.count, 300);
}

// ---- letters placed one by one -------------------------------------------------------------

TEST(RotatedLettersTest, EveryLetterInItsOwnPredictedDarkColourOnLightYellow) {
  // 400 x 120: 6 vertical and 5 horizontal lines; 336 decoys.
  const struct {
    int style;
    int before;  // draws ahead of the letters (rectangle and background)
    int high;
  } cases[] = {{13, 4 + 11 * 4, 150}, {14, 4 + 336 * 10, 120}};
  const std::int32_t state = 90210;
  for (const auto& c : cases) {
    const Drawing d = Draw(c.style, "K3P9X", state, 400, 120);
    EXPECT_EQ(d.MostCommon(), kLightYellow);
    const RectF rect = TextRect(state, kFull, RectF(0.2f, 0.2f, 0.6f, 0.6f), 400, 120);
    for (int i = 0; i < 5; ++i) {
      SCOPED_TRACE(::testing::Message() << "style " << c.style << " letter " << i);
      // Per letter: family, y, angle, colour.
      const Color colour = testing::ReplayColour(state, c.before + i * 6 + 3, 0, c.high);
      const Box letter = testing::Find(d, [&](Color p, int, int) { return p == colour; });
      EXPECT_GT(letter.count, 20);
      // Shifted and turned, but still near its slot of T.
      ExpectWithin(letter, rect, rect.Height * 0.6f);
    }
  }
}

TEST(Style14Test, DecoysArePaleAndEverywhere) {
  const Drawing d = Draw(14, "     ", 77);  // blank letters: only the decoys on light yellow
  const Box decoys = testing::Find(d, [](Color c, int, int) { return c != Color(kLightYellow); });
  EXPECT_GT(decoys.count, 1500);
  EXPECT_LE(decoys.left, 10);
  EXPECT_GE(decoys.right, 240);
  EXPECT_EQ(d.Count([](Color c) { return std::min({c.GetR(), c.GetG(), c.GetB()}) < 170; }), 0)
      << "unsmoothed and pale";
}

// The slot of every letter has the same width s = (1 + O[0] + ... + O[n-2]) x T.Width / n;
// letter i starts where letter i - 1 started plus s - O[i-1] x T.Width.
TEST(OverlapTest, SlotsFollowTheOverlapsAndTheRowEndsOnTheRectangle) {
  const std::int32_t state = 1999;
  for (const int style : {16, 17, 18}) {
    SCOPED_TRACE(style);
    const RectF rect = TextRect(state, kFull, RectF(0.1f, 0.1f, 0.5f, 0.5f));
    const float o0 = testing::ReplayAfter(state, 5).RandomFloat(0.03f, 0.13f);
    const float slot = (1 + o0) * rect.Width / 2;
    const auto ink = [&](const char* code) {
      const auto dark = [](Color c, int, int) { return c.GetB() < 128; };
      return testing::Find(Draw(style, code, state), dark);
    };
    // A blank second letter leaves the first one alone in its slot; a blank first letter
    // shows where the second slot starts.
    const Box first = ink("W ");
    EXPECT_NEAR(first.left, rect.X, 1.0);
    EXPECT_NEAR(first.right + 1, rect.X + slot, 1.0);
    EXPECT_NEAR(first.top, rect.Y, 1.0);
    EXPECT_NEAR(first.bottom + 1, rect.GetBottom(), 1.0);
    const Box second = ink(" W");
    EXPECT_NEAR(second.left, rect.X + slot - o0 * rect.Width, 1.0);
    EXPECT_NEAR(second.right + 1, rect.GetRight(), 1.0);
  }
}

}  // namespace
}  // namespace quillgate
