// The rules every style keeps, checked for each of the fifty: exactly its own number of
// random values (whatever is drawn next starts where the style leaves the source), one
// picture per state, and any code at any size drawn without failing.
#include "Drawing/Geometry.h"
#include "StyleDrawing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quillgate {
namespace {

using testing::Draw;
using testing::Drawing;

constexpr const char* kCode = "K7XW2";

struct DrawCount {
  int style;
  std::uint64_t draws;             // for a five-character code
  std::uint64_t perCharacter = 0;  // fewer for the empty code
  int width = 250;
  int height = 50;
};

// Most styles open with the text rectangle (4 draws) and the font family (1). Style 10's
// count depends on its replayed circles (its own test), 28's and 29's on the letters' scans
// (the next test).
TEST(EveryStyleTest, DrawsExactlyItsRandomValues) {
  const DrawCount cases[] = {
      // 0, 1, 2, 5: none at all; 3: y and x per pixel; 4: four corners (y, x), then x, y,
      // w, h per spot for trunc(W x H / 30) spots; 6: y and x per point of W x H / 7, then
      // one height per letter.
      {0, 0}, {1, 0}, {2, 0}, {5, 0}, {3, 2 * 12500}, {3, 2 * 851, 0, 37, 23}, {4, 8 + 4 * 416},
      {4, 8 + 4 * 28, 0, 37, 23}, {6, 2 * 1785 + 5, 1}, {6, 2 * 121 + 5, 1, 37, 23},
      // Marks clipped to the letters, after rectangle and family: curl 10, double arc 16,
      // dot 2 per mark. 7: count 3125, 3125 + 312 inside, ceil(2500) + 6250 outside; 11:
      // count 2500: 2500 + 250, band 2500, 250 + 1250, none below 5 pixels; 12: count 875:
      // 1750 + 87, band 87, 43 + 218; 15: count 5000: 5000 + 500, band 500 + 714, 500 + 714.
      {7, 5 + 16 * 12187}, {7, 5 + 16 * (750 + 75 + 600 + 1500), 0, 100, 30}, {11, 5 + 10 * 6750},
      {11, 5, 0, 2, 2}, {12, 5 + 10 * 2185}, {15, 5 + 2 * 7928},
      // 8, 19: rectangle and family (19's glow too small for a bitmap at 6 wide); 9: and the
      // four corners of the floor.
      {8, 5}, {19, 5}, {19, 5, 0, 6, 50}, {9, 9},
      // 13: rectangle, 6 + 4 line positions (6 + 5 at 400 x 120) and their colours (3 each),
      // 6 per letter; 14: rectangle, 10 per decoy, 6 per letter; 16 to 18: rectangle,
      // family, one overlap per letter.
      {13, 4 + 10 * 4 + 5 * 6, 6}, {13, 4 + 11 * 4 + 5 * 6, 6, 400, 120},
      {14, 4 + 87 * 10 + 5 * 6, 6}, {14, 4 + 28 * 10 + 5 * 6, 6, 100, 40},
      {16, 10, 1}, {17, 10, 1}, {18, 10, 1, 90, 10},
      // Stripes: rectangle, (20: a hue,) 22 + 16 positions, 3 per colour, family; none of
      // the vertical ones 1 pixel wide, none of the horizontal ones 1 pixel high.
      {20, 4 + 1 + 38 + 3 * 38 + 1}, {20, 4 + 1 + 16 + 3 * 16 + 1, 0, 1, 50},
      {21, 4 + 38 + 3 * 38 + 1}, {21, 4 + 22 + 3 * 22 + 1, 0, 250, 1},
      // 22 to 24: the centre (2) and the ray or ring colour (3); 25: a colour and a centre;
      // 27: a colour.
      {22, 7}, {23, 10}, {24, 10}, {25, 10}, {26, 5}, {27, 8},
      // Envelope outlines; 32 and 44 a colour, 38 and 39 two per noise dot for W x H / 2
      // dots, before the family.
      {30, 5}, {31, 5}, {32, 8}, {44, 8}, {38, 4 + 2 * 6250 + 1}, {39, 4 + 2 * 6250 + 1},
      {38, 4 + 2 * 425 + 1, 0, 37, 23}, {39, 5, 0, 1, 1},
      // 33: n = W x H x 0.4 dots inside, n/10 white inside, n/2 and n/7 on the edges, n/10
      // and n/7 anywhere, two draws each; 35: the floor's corners and no random family.
      {33, 5 + 2 * (5000 + 500 + 2500 + 714 + 500 + 714)}, {35, 8}, {36, 5},
      // Crossings: lines trunc(density x ln(W x H)) of 4 draws (7 with 42's colours); spots
      // trunc(factor x ln(W x H)) of 3 draws (4 for 45's ovals); colours 3, ring centres 2.
      {34, 5 + 3 + 2}, {37, 5 + 2}, {40, 5 + 4 * 19}, {41, 5 + 4 * 33 + 2}, {42, 5 + 7 * 397},
      {43, 5 + 4 * 10 + 3}, {45, 5 + 4 * 113}, {46, 5 + 4 * 28 + 2}, {47, 5 + 4 * 28 + 3 + 2},
      {48, 5 + 3 * 75}, {49, 5 + 3 + 3 * 75}, {42, 5 + 7 * 96, 0, 1, 10},
      {49, 5 + 3 + 3 * 18, 0, 1, 10}};
  for (const DrawCount& c : cases) {
    SCOPED_TRACE("style " + std::to_string(c.style) + " at " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    EXPECT_EQ(Draw(c.style, kCode, 4711, c.width, c.height).draws, c.draws);
    EXPECT_EQ(Draw(c.style, "", 4711, c.width, c.height).draws, c.draws - 5 * c.perCharacter);
  }
}

// The mosaics' draws follow the strips of their letters' scans. The letters are stretched
// onto a rectangle whose right and bottom edges are fixed at 0.9 W and 0.9 H.
TEST(EveryStyleTest, MosaicsDrawPerStripAsTheirScansSay) {
  const auto ceilDiv = [](std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; };
  for (const auto& [width, height] : {std::pair{250, 50}, std::pair{400, 120}}) {
    const auto strips = [&](int style) {
      const testing::Letters letters = testing::StretchedLetters(
          4711, kCode, {0.1f, 0.1f, 0.8f, 0.8f}, {0.2f, 0.2f, 0.7f, 0.7f}, style,
          graphics::FontStyleBold, width, height);
      std::vector<graphics::RectF> scans;
      GetRegionRects(letters.region, scans);
      return static_cast<std::uint64_t>(scans.size());
    };
    ASSERT_GT(strips(28), 40u);
    // Style 28: opening (5), background (3), a colour every 30 strips, jitter (2) on even strips.
    EXPECT_EQ(Draw(28, kCode, 4711, width, height).draws,
              8 + 3 * ceilDiv(strips(28), 30) + 2 * ceilDiv(strips(28), 2));
    // Style 29: opening, a colour every 40 strips.
    EXPECT_EQ(Draw(29, kCode, 4711, width, height).draws, 5 + 3 * ceilDiv(strips(29), 40));
  }
}

class EachStyle : public ::testing::TestWithParam<int> {};

TEST_P(EachStyle, SameStateSameImageAndOnlyRandomStylesVary) {
  const int style = GetParam();
  // (That the same state gives the same picture is the next test's, at every size.)
  const Drawing first = Draw(style, kCode, 20240601);
  const bool random = !std::set<int>{0, 1, 2, 5}.contains(style);
  EXPECT_EQ(first.pixels != Draw(style, kCode, 99).pixels, random);
  EXPECT_NE(first.pixels, Draw(style, "K7XW3", 20240601).pixels) << "the code shows";
  // Every style paints each pixel but those that leave the untouched bitmap showing.
  const bool leavesBitmap = std::set<int>{0, 2, 30, 31, 37}.contains(style);
  EXPECT_NE(first.Count([](graphics::Color c) { return c.GetA() == 255; }) == 250 * 50,
            leavesBitmap);
}

TEST_P(EachStyle, DegenerateInputsDrawWithoutFailing) {
  for (const std::string& code : {std::string(), std::string(" "), std::string("A"),
                                  std::string("\xE9\x01~"), std::string(30, 'W')}) {
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 10}, {3, 10}, {6, 10}, {29, 24}, {250, 50}};
    for (const auto& [w, h] : sizes) {
      // Fitting a long code into a sliver takes the same shrinking path as one letter does,
      // only longer: the long code is drawn where its letters still take some room.
      if (code.size() > 3 && w < 29) continue;
      SCOPED_TRACE('"' + code + "\" at " + std::to_string(w) + "x" + std::to_string(h));
      const Drawing d = Draw(GetParam(), code, 12, w, h);
      // One state, one picture even here: no uninitialised or non-finite value leaks in.
      EXPECT_EQ(d.pixels, Draw(GetParam(), code, 12, w, h).pixels);
      if (w == 250 && code.find_first_not_of(' ') != std::string::npos) {
        EXPECT_NE(d.Count(0u), w * h) << "visible code leaves ink";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryStyle, EachStyle, ::testing::Range(0, 50),
                         [](const auto& info) { return "Style" + std::to_string(info.param); });

}  // namespace
}  // namespace quillgate
