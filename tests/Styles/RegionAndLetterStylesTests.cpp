// Styles 8, 9, 10 and 19 (regions, outline, glow) and 13, 14, 16, 17, 18 (letters placed one
// by one), drawn from fixed states of the random source.
#include "StyleDrawing.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Drawing/DrawingRandomizer.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;

constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

using testing::Drawing;

using testing::Draw;

// Replays a style's draws: `skip` values first, then whatever the test asks for.
DrawingRandomizer Replay(std::int32_t state, int skip) {
  testing::SetRandomState(state);
  const DrawingRandomizer r;
  for (int i = 0; i < skip; ++i) (void)r.RandomFloat(0, 1);
  return r;
}

// The text rectangle: every style's first four draws. Fractions as the styles give them.
RectF TextRect(std::int32_t state, RectF outer, RectF inner, int width = 250, int height = 50) {
  const auto scale = [&](RectF f) {
    return RectF(f.X * static_cast<float>(width), f.Y * static_cast<float>(height), f.Width * static_cast<float>(width),
                 f.Height * static_cast<float>(height));
  };
  return Replay(state, 0).RandomRectBetween(scale(outer), scale(inner));
}
const RectF kFull(0, 0, 1, 1);

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};
template <typename Pred>
Box Find(const Drawing& d, Pred pred) {
  Box b;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      if (!pred(d.Pixel(x, y), x, y)) continue;
      b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y), b.count + 1};
    }
  }
  return b;
}
void ExpectWithin(const Box& b, const RectF& r, float margin) {
  ASSERT_GT(b.count, 0);
  EXPECT_GE(b.left, std::floor(r.X - margin));
  EXPECT_LE(b.right, std::ceil(r.GetRight() + margin));
  EXPECT_GE(b.top, std::floor(r.Y - margin));
  EXPECT_LE(b.bottom, std::ceil(r.GetBottom() + margin));
}
bool OnlyBlackAndWhite(const Drawing& d) {
  return std::ranges::all_of(d.pixels, [](std::uint32_t p) { return p == kBlack || p == kWhite; });
}
std::uint32_t MostCommon(const Drawing& d) {
  std::map<std::uint32_t, int> counts;
  for (auto p : d.pixels) ++counts[p];
  return std::ranges::max_element(counts, {}, [](const auto& e) { return e.second; })->first;
}

const std::vector<int> kStyles = {8, 9, 10, 13, 14, 16, 17, 18, 19};

// ---- draws -----------------------------------------------------------------------------

// Style 10 draws m circles after the rectangle and family: m = trunc(RandomFloat(0.04 a, 0.12 a)).
std::uint64_t Style10Draws(std::int32_t state, int width, int height) {
  const float a = (static_cast<float>(width) + static_cast<float>(height)) / 2;
  const auto m = static_cast<std::uint64_t>(Replay(state, 5).RandomFloat(0.04f * a, 0.12f * a));
  return 4 + 1 + 1 + m + 2 * m;
}

struct DrawCountCase {
  int style;
  std::string code;
  int width;
  int height;
  std::uint64_t draws;
};

class DrawCountTest : public ::testing::TestWithParam<DrawCountCase> {};

TEST_P(DrawCountTest, DrawsExactlyItsRandomValues) {
  const DrawCountCase& c = GetParam();
  const std::uint64_t expected = c.style == 10 ? Style10Draws(4711, c.width, c.height) : c.draws;
  EXPECT_EQ(Draw(c.style, c.code, 4711, c.width, c.height).draws, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, DrawCountTest,
    ::testing::Values(
        // rectangle (4) and family (1)
        DrawCountCase{8, "K3P9X", 250, 50, 5}, DrawCountCase{8, "", 37, 23, 5}, DrawCountCase{19, "K3P9X", 250, 50, 5},
        DrawCountCase{19, "A", 6, 50, 5},
        // ... and the four corners of the floor, whatever the board's size
        DrawCountCase{9, "K3P9X", 250, 50, 9}, DrawCountCase{9, "K3P9X", 30, 300, 9},
        // ... and m, m steps, r and y per circle (computed by replay)
        DrawCountCase{10, "K3P9X", 250, 50, 0}, DrawCountCase{10, "K3P9X", 400, 120, 0},
        // rectangle, 6 + 4 line positions and their colours (3 each), 6 per letter
        DrawCountCase{13, "K3P9X", 250, 50, 4 + 10 * 4 + 5 * 6}, DrawCountCase{13, "AB", 400, 120, 4 + 11 * 4 + 2 * 6},
        // rectangle, 10 per decoy (87, then 28), 6 per letter
        DrawCountCase{14, "K3P9X", 250, 50, 4 + 87 * 10 + 5 * 6}, DrawCountCase{14, "", 100, 40, 4 + 28 * 10},
        // rectangle, family, one overlap per letter
        DrawCountCase{16, "K3P9X", 250, 50, 10}, DrawCountCase{17, "A", 250, 50, 6}, DrawCountCase{18, "", 90, 10, 5}),
    [](const auto& info) {
      return "Style" + std::to_string(info.param.style) + "_" + std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

class EachStyleTest : public ::testing::TestWithParam<int> {};

TEST_P(EachStyleTest, SameStateSameImage) {
  const Drawing first = Draw(GetParam(), "K3P9X", 20240601);
  EXPECT_EQ(first.pixels, Draw(GetParam(), "K3P9X", 20240601).pixels);
  EXPECT_NE(first.pixels, Draw(GetParam(), "K3P9X", 99).pixels);
}

TEST_P(EachStyleTest, DegenerateInputsDrawWithoutFailing) {
  for (const std::string code : {"", " ", "A", "\xE9\x01?", "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"}) {
    for (const auto& [w, h] : {std::pair{1, 10}, std::pair{6, 10}, std::pair{250, 50}}) {
      EXPECT_EQ(Draw(GetParam(), code, 12, w, h).pixels.size(), static_cast<std::size_t>(w * h));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Styles, EachStyleTest, ::testing::ValuesIn(kStyles));

// ---- regions, outline and glow -----------------------------------------------------------

TEST(Style9Test, TheLettersInvertTheFloorThatCoversEverything) {
  for (const auto& [state, w, h] : {std::tuple{17, 250, 50}, std::tuple{808, 40, 40}}) {
    const Drawing floor = Draw(9, "", state, w, h);
    const Drawing text = Draw(9, "K3P9X", state, w, h);
    EXPECT_TRUE(OnlyBlackAndWhite(floor) && OnlyBlackAndWhite(text)) << "pixel-aligned, no background left";
    EXPECT_GT(std::ranges::count(floor.pixels, kBlack), w * h / 5) << "black squares";
    EXPECT_GT(std::ranges::count(floor.pixels, kWhite), w * h / 5) << "white squares";
    // Same draws, same floor: the letters are exactly where the two pictures differ, and
    // there they take the other colour of the square beneath.
    const auto changed = [&](std::uint32_t from) {
      return Find(text, [&](std::uint32_t p, int x, int y) { return floor.Pixel(x, y) == from && p != from; });
    };
    const RectF rect = TextRect(state, RectF(0.05f, 0.05f, 0.8f, 0.8f), RectF(0.2f, 0.2f, 0.5f, 0.5f), w, h);
    ExpectWithin(changed(kBlack), rect, 1);
    ExpectWithin(changed(kWhite), rect, 1);
  }
}

TEST(Style10Test, LettersAndOddlyOverlappedCirclesAreBlackTheirOverlapWhite) {
  const std::int32_t state = 555;
  const Drawing circles = Draw(10, "", state);
  const Drawing text = Draw(10, "K3P9X", state);
  EXPECT_TRUE(OnlyBlackAndWhite(circles) && OnlyBlackAndWhite(text));

  // Replay the circles: a pixel well inside an odd number of them is black, else white.
  struct Circle { float cx, cy, r; };
  std::vector<Circle> predicted;
  {
    const DrawingRandomizer r = Replay(state, 5);
    const float a = 150, rMin = 0.05f * a, rMax = 0.15f * a;
    const auto m = static_cast<int>(r.RandomFloat(0.04f * a, 0.12f * a));
    std::vector<float> xs{0};
    r.RandomCumulativeSteps(2 * rMin, 2 * rMax, m, xs);
    for (int i = 0; i < m; ++i) {
      const auto radius = static_cast<int>(r.RandomFloat(rMin, rMax));
      const auto y = static_cast<int>(r.RandomFloat(-rMax / 2, 50));
      const auto x = static_cast<int>((xs[static_cast<std::size_t>(i)] + xs[static_cast<std::size_t>(i) + 1]) / 2);
      predicted.push_back({static_cast<float>(x + radius), static_cast<float>(y + radius), static_cast<float>(radius)});
    }
  }
  int checked = 0;
  for (int y = 0; y < 50; y += 3) {
    for (int x = 0; x < 250; x += 3) {
      int inside = 0;
      bool nearEdge = false;
      for (const Circle& c : predicted) {
        const float d = std::hypot(static_cast<float>(x) + 0.5f - c.cx, static_cast<float>(y) + 0.5f - c.cy);
        nearEdge = nearEdge || std::abs(d - c.r) < 1.5f;
        inside += d < c.r ? 1 : 0;
      }
      if (nearEdge) continue;
      ++checked;
      ASSERT_EQ(circles.Pixel(x, y), inside % 2 == 1 ? kBlack : kWhite) << x << "," << y;
    }
  }
  EXPECT_GT(checked, 1000);
  EXPECT_GT(std::ranges::count(circles.pixels, kBlack), 100);

  // The letters flip exactly the pixels they cover, inside the text rectangle.
  const RectF rect = TextRect(state, kFull, RectF(0.2f, 0.2f, 0.5f, 0.5f));
  const Box flipped = Find(text, [&](std::uint32_t p, int x, int y) { return p != circles.Pixel(x, y); });
  ExpectWithin(flipped, rect, 1);
  EXPECT_GT(flipped.count, 300);
}

// 4-connected groups of black pixels: a dotted outline is many tiny ones.
std::vector<int> BlackGroupSizes(const Drawing& d) {
  std::vector<int> label(d.pixels.size(), -1), sizes;
  for (std::size_t start = 0; start < d.pixels.size(); ++start) {
    if (d.pixels[start] != kBlack || label[start] >= 0) continue;
    std::vector<std::size_t> stack{start};
    label[start] = static_cast<int>(sizes.size());
    int size = 0;
    while (!stack.empty()) {
      const std::size_t i = stack.back();
      stack.pop_back();
      ++size;
      const int x = static_cast<int>(i) % d.width, y = static_cast<int>(i) / d.width;
      for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
        const int nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= d.width || ny >= d.height) continue;
        const auto j = static_cast<std::size_t>(ny * d.width + nx);
        if (d.pixels[j] == kBlack && label[j] < 0) {
          label[j] = label[start];
          stack.push_back(j);
        }
      }
    }
    sizes.push_back(size);
  }
  return sizes;
}

TEST(Style8Test, OnlyADottedBandInsideTheOutline) {
  for (std::int32_t state : {3, 4242}) {
    const Drawing d = Draw(8, "K3P9X", state, 400, 120);
    EXPECT_TRUE(OnlyBlackAndWhite(d)) << "no smoothing";
    const RectF rect = TextRect(state, kFull, RectF(0.2f, 0.2f, 0.6f, 0.6f), 400, 120);
    const Box ink = Find(d, [](std::uint32_t p, int, int) { return p == kBlack; });
    ExpectWithin(ink, rect, 0.5f);
    EXPECT_LT(ink.count, static_cast<int>(rect.Width * rect.Height / 10)) << "an outline, not filled letters";
    const std::vector<int> groups = BlackGroupSizes(d);
    EXPECT_GT(groups.size(), 150u) << "dots";
    EXPECT_LE(*std::ranges::max_element(groups), 6) << "no solid stretch of outline";
  }
}

TEST(Style19Test, BlackLettersInARedGlowOnBlack) {
  const std::int32_t state = 31337;
  const Drawing d = Draw(19, "K3P9X", state);
  EXPECT_TRUE(std::ranges::all_of(d.pixels, [](std::uint32_t p) { return (p >> 24) == 0xFF && (p & 0xFFFF) == 0; }))
      << "opaque shades of red and black only";
  const RectF rect = TextRect(state, RectF(0.1f, 0.1f, 0.8f, 0.7f), RectF(0.2f, 0.2f, 0.6f, 0.6f));
  EXPECT_FLOAT_EQ(rect.GetBottom(), 40.0f);
  // The glow comes through a 37 x 7 bitmap: one of its pixels spreads over about 7 pixels.
  const Box glow = Find(d, [](std::uint32_t p, int, int) { return ((p >> 16) & 0xFF) > 60; });
  ExpectWithin(glow, rect, 9);
  EXPECT_GT(glow.count, 1500);
  EXPECT_GT(Find(d, [](std::uint32_t p, int, int) { return ((p >> 16) & 0xFF) > 200; }).count, 200);
  // Black both far from the letters and inside them, over the glow.
  EXPECT_EQ(d.Pixel(0, 0), kBlack);
  EXPECT_EQ(d.Pixel(249, 49), kBlack);
  EXPECT_GT(Find(d, [&](std::uint32_t p, int x, int y) { return p == kBlack && x > rect.X && x < rect.GetRight() && y > rect.Y && y < rect.GetBottom(); }).count, 300);
}

TEST(Style19Test, TooSmallForTheGlowDrawsOnlyTheLetters) {
  const Drawing d = Draw(19, "K3P9X", 5, 6, 60);  // 6 x 0.15 truncates to a zero-wide bitmap
  EXPECT_TRUE(std::ranges::all_of(d.pixels, [](std::uint32_t p) { return (p & 0xFFFFFF) == 0; }));
  EXPECT_GT(std::ranges::count(d.pixels, 0u), 0) << "untouched pixels stay";
  EXPECT_GT(std::ranges::count_if(d.pixels, [](std::uint32_t p) { return p != 0; }), 0) << "the letters";
}

// ---- letters placed one by one -------------------------------------------------------------

// The colour of letter i of an n-letter code, replayed after `before` draws (rectangle and
// background): per letter family, y, angle, colour.
Color LetterColour(std::int32_t state, int before, int i, int high) {
  const DrawingRandomizer r = Replay(state, before + i * 6 + 3);
  return r.RandomColorInRange(0, high, 0, high, 0, high);
}

struct RotatedCase {
  int style;
  int before;  // draws ahead of the letters
  int high;
};

class RotatedLettersTest : public ::testing::TestWithParam<RotatedCase> {};

TEST_P(RotatedLettersTest, EveryLetterInItsOwnPredictedDarkColourOnLightYellow) {
  const RotatedCase& c = GetParam();
  for (std::int32_t state : {2, 90210, 123456}) {
    const Drawing d = Draw(c.style, "K3P9X", state, 400, 120);
    EXPECT_EQ(MostCommon(d), 0xFFFFFFE0u);
    const RectF rect = TextRect(state, kFull, RectF(0.2f, 0.2f, 0.6f, 0.6f), 400, 120);
    for (int i = 0; i < 5; ++i) {
      const Color colour = LetterColour(state, c.before, i, c.high);
      EXPECT_LT(std::max({colour.GetR(), colour.GetG(), colour.GetB()}), c.high);
      const Box letter = Find(d, [&](std::uint32_t p, int, int) { return p == colour.GetValue(); });
      EXPECT_GT(letter.count, 20) << "letter " << i << " state " << state;
      // Shifted and turned, but still near its slot of T.
      ExpectWithin(letter, rect, rect.Height * 0.6f);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Styles, RotatedLettersTest,
                         // 400 x 120: 6 vertical and 5 horizontal lines; 336 decoys
                         ::testing::Values(RotatedCase{13, 4 + 11 * 4, 150}, RotatedCase{14, 4 + 336 * 10, 120}),
                         [](const auto& info) { return "Style" + std::to_string(info.param.style); });

TEST(Style14Test, DecoysArePaleAndEverywhere) {
  const Drawing d = Draw(14, "     ", 77);  // blank letters: only the decoys on light yellow
  const Box decoys = Find(d, [](std::uint32_t p, int, int) { return p != 0xFFFFFFE0u; });
  EXPECT_GT(decoys.count, 1500);
  EXPECT_LE(decoys.left, 10);
  EXPECT_GE(decoys.right, 240);
  for (auto p : d.pixels) {
    const Color c(p);
    ASSERT_GE(std::min({c.GetR(), c.GetG(), c.GetB()}), 170) << std::hex << p << " (unsmoothed, pale)";
  }
}

class OverlapTest : public ::testing::TestWithParam<int> {};

// The slot of every letter has the same width s = (1 + O[0] + ... + O[n-2]) x T.Width / n;
// letter i starts where letter i - 1 started plus s - O[i-1] x T.Width.
TEST_P(OverlapTest, SlotsFollowTheOverlapsAndTheRowEndsOnTheRectangle) {
  const int style = GetParam();
  for (std::int32_t state : {8, 1999, 65535}) {
    const RectF rect = TextRect(state, kFull, RectF(0.1f, 0.1f, 0.5f, 0.5f));
    const DrawingRandomizer r = Replay(state, 5);
    const float o0 = r.RandomFloat(0.03f, 0.13f);
    const float slot = (1 + o0) * rect.Width / 2;
    const auto ink = [](const Drawing& d) { return Find(d, [](std::uint32_t p, int, int) { return (p & 0xFF) < 128; }); };

    // A blank second letter leaves the first one alone in its slot; a blank first letter
    // shows where the second slot starts.
    const Box first = ink(Draw(style, "W ", state));
    EXPECT_NEAR(first.left, rect.X, 1.0);
    EXPECT_NEAR(first.right + 1, rect.X + slot, 1.0);
    EXPECT_NEAR(first.top, rect.Y, 1.0);
    EXPECT_NEAR(first.bottom + 1, rect.GetBottom(), 1.0);
    const Box second = ink(Draw(style, " W", state));
    EXPECT_NEAR(second.left, rect.X + slot - o0 * rect.Width, 1.0);
    EXPECT_NEAR(second.right + 1, rect.GetRight(), 1.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Styles, OverlapTest, ::testing::Values(16, 17, 18));

TEST(OverlapTest, OneLetterFillsTheRectangleSolidOrHollow) {
  const std::int32_t state = 4040;
  const RectF rect = TextRect(state, kFull, RectF(0.1f, 0.1f, 0.5f, 0.5f));
  const int cx = static_cast<int>(rect.X + rect.Width / 2), cy = static_cast<int>(rect.Y + rect.Height / 2);
  const Drawing solid = Draw(16, "I", state);
  const Drawing hollow = Draw(17, "I", state);
  EXPECT_EQ(solid.Pixel(cx, cy), kBlack);
  EXPECT_EQ(hollow.Pixel(cx, cy), kWhite) << "the stem is wider than its 2-pixel band";
  EXPECT_EQ(MostCommon(solid), kWhite);
  EXPECT_LT(std::ranges::count(hollow.pixels, kBlack), std::ranges::count(solid.pixels, kBlack) / 2);
  // Style 18 draws style 17's picture: the same five families, the same steps.
  EXPECT_EQ(Draw(18, "K3P9X", state).pixels, Draw(17, "K3P9X", state).pixels);
}

}  // namespace
}  // namespace quillgate
