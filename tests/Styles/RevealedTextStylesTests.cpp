// The styles that show the code only through what they draw over it (7, 11, 12, 15: marks
// clipped to the letters; 20 to 24: stripes, rays and rings), drawn from fixed states of the
// random source.
#include "StyleDrawing.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Drawing/DrawingRandomizer.h"
#include "Drawing/TextPath.h"
#include "Styles/StripeLines.h"
#include "Styles/StyleHelpers.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;

constexpr const char* kCode = "K7XW2";

using testing::Drawing;

using testing::Draw;

// Where the letters lie, replayed from the state: the text rectangle's 4 draws come first,
// then the font family's one (every style here uses the inner rectangle 0.2, 0.2, 0.6, 0.6).
// `family` overrides the replayed family.
graphics::Region Letters(std::int32_t state, int style, graphics::INT fontStyle, const std::u16string* family = nullptr,
                         int width = 250, int height = 50) {
  testing::SetRandomState(state);
  const DrawingRandomizer r;
  const auto w = static_cast<float>(width), h = static_cast<float>(height);
  const RectF rect = r.RandomRectBetween(RectF(0, 0, w, h), RectF(0.2f * w, 0.2f * h, 0.6f * w, 0.6f * h));
  const std::u16string replayed = r.RandomFontFamily(style);
  graphics::GraphicsPath path;
  FitTextPathToRect(u"K7XW2", PathFont(family != nullptr ? *family : replayed, fontStyle), rect, path);
  return graphics::Region(&path);
}

// Share of the pixels, inside and outside the letters, for which `isInk` holds.
template <typename IsInk>
std::pair<double, double> InkShares(const Drawing& d, const graphics::Region& letters, IsInk isInk) {
  int inside = 0, insideInk = 0, outside = 0, outsideInk = 0;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      const bool ink = isInk(d.At(x, y));
      if (letters.IsVisible(x, y)) {
        ++inside, insideInk += ink;
      } else {
        ++outside, outsideInk += ink;
      }
    }
  }
  return {inside ? double(insideInk) / inside : 0.0, outside ? double(outsideInk) / outside : 0.0};
}

// Whether every channel of `c` lies between `ink` and `paper` (a blend of the two). One level
// beyond is allowed: blending a colour over itself rounds it one level down now and then.
bool Between(Color c, Color ink, Color paper) {
  auto in = [](int v, int a, int b) { return v >= std::min(a, b) - 1 && v <= std::max(a, b) + 1; };
  return in(c.GetR(), ink.GetR(), paper.GetR()) && in(c.GetG(), ink.GetG(), paper.GetG()) &&
         in(c.GetB(), ink.GetB(), paper.GetB());
}

struct DrawCountCase {
  int style;
  int width;
  int height;
  std::uint64_t draws;
};

class RevealedDrawCountTest : public ::testing::TestWithParam<DrawCountCase> {};

TEST_P(RevealedDrawCountTest, DrawsExactlyItsRandomValues) {
  const DrawCountCase c = GetParam();
  EXPECT_EQ(Draw(c.style, kCode, 4711, c.width, c.height).draws, c.draws);
  // The marks are scattered whether or not there are letters to show them.
  EXPECT_EQ(Draw(c.style, "", 4711, c.width, c.height).draws, c.draws);
}

// rectangle 4 + family 1, then per mark: curl 10, double arc 16, dot 2.
INSTANTIATE_TEST_SUITE_P(
    Revealed, RevealedDrawCountTest,
    ::testing::Values(
        // count 3125: 3125 + 312 inside, ceil(2500) + 6250 outside
        DrawCountCase{7, 250, 50, 5 + 16 * 12187}, DrawCountCase{7, 100, 30, 5 + 16 * (750 + 75 + 600 + 1500)},
        // count 2500: 2500 + 250, band 2500, 250 + 1250
        DrawCountCase{11, 250, 50, 5 + 10 * 6750}, DrawCountCase{11, 100, 30, 5 + 10 * (600 + 60 + 600 + 60 + 300)},
        // fewer than 5 pixels: no curls at all
        DrawCountCase{11, 2, 2, 5},
        // count 875: 1750 + 87, band 87, 43 + 218
        DrawCountCase{12, 250, 50, 5 + 10 * 2185}, DrawCountCase{12, 100, 30, 5 + 10 * (420 + 21 + 21 + 10 + 52)},
        // count 5000: 5000 + 500, band 500 + 714, 500 + 714
        DrawCountCase{15, 250, 50, 5 + 2 * 7928}, DrawCountCase{15, 100, 30, 5 + 2 * (1200 + 120 + 120 + 171 + 120 + 171)},
        // hue 1, 22 + 16 positions, 3 per colour, family 1
        DrawCountCase{20, 250, 50, 4 + 1 + 38 + 3 * 38 + 1}, DrawCountCase{20, 1, 50, 4 + 1 + 16 + 3 * 16 + 1},
        DrawCountCase{21, 250, 50, 4 + 38 + 3 * 38 + 1}, DrawCountCase{21, 250, 1, 4 + 22 + 3 * 22 + 1},
        // centre 2 (and the ray or ring colour 3)
        DrawCountCase{22, 250, 50, 7}, DrawCountCase{22, 4000, 800, 7}, DrawCountCase{23, 250, 50, 10},
        DrawCountCase{24, 250, 50, 10}, DrawCountCase{24, 13, 10, 10}),
    [](const auto& info) {
      return "Style" + std::to_string(info.param.style) + "_" + std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

class RevealedStyleTest : public ::testing::TestWithParam<int> {};

TEST_P(RevealedStyleTest, SameStateSamePictureOtherStateOtherPicture) {
  const int style = GetParam();
  const Drawing first = Draw(style, kCode, 99);
  EXPECT_EQ(first.pixels, Draw(style, kCode, 99).pixels);
  EXPECT_NE(first.pixels, Draw(style, kCode, 100).pixels);
  // Every pixel is painted, opaque.
  EXPECT_TRUE(std::ranges::all_of(first.pixels, [](std::uint32_t p) { return (p >> 24) == 0xFF; }));
}

TEST_P(RevealedStyleTest, SmallestAndOddInputsDraw) {
  const int style = GetParam();
  for (const auto& [code, width, height] :
       {std::tuple{std::string(kCode), 1, 10}, std::tuple{std::string("Q"), 3, 10}, std::tuple{std::string("~ \x01"), 60, 10}}) {
    const Drawing d = Draw(style, code, 5, width, height);
    EXPECT_EQ(d.pixels.size(), static_cast<std::size_t>(width * height));
  }
}

INSTANTIATE_TEST_SUITE_P(Revealed, RevealedStyleTest, ::testing::Values(7, 11, 12, 15, 20, 21, 22, 23, 24));

// The marks of styles 11, 12 and 15 gather in the letters of the replayed rectangle and
// family, and only there: the replayed family must fit the picture better than every other
// family, which fails when the family is drawn at another place in the order.
struct DensityCase {
  int style;
  graphics::INT fontStyle;
  Color ink;
  bool exact = true;
};

class MarkDensityTest : public ::testing::TestWithParam<DensityCase> {};

TEST_P(MarkDensityTest, MarksAreDenseInTheReplayedLettersOnly) {
  const DensityCase c = GetParam();
  for (const std::int32_t state : {31, 4242, 777777}) {
    const Drawing d = Draw(c.style, kCode, state);
    // One-pixel dots are smoothed and never quite black: any touched pixel counts.
    auto isInk = [&](Color p) {
      return c.exact ? p.GetValue() == c.ink.GetValue() : p.GetValue() != 0xFFFFFFFF;
    };
    const auto [inside, outside] = InkShares(d, Letters(state, c.style, c.fontStyle), isInk);
    EXPECT_GT(inside, 3 * outside) << "state " << state;
    for (const char16_t* other : {u"Arial", u"Verdana", u"Times New Roman", u"Tahoma", u"Courier New"}) {
      const std::u16string family(other);
      const double otherInside = InkShares(d, Letters(state, c.style, c.fontStyle, &family), isInk).first;
      EXPECT_LE(otherInside, inside) << "state " << state;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Revealed, MarkDensityTest,
                         ::testing::Values(DensityCase{11, graphics::FontStyleRegular, Color(0xFFFF4500)},
                                           DensityCase{12, graphics::FontStyleBold, Color(0xFF008000)},
                                           DensityCase{15, graphics::FontStyleRegular, Color(0xFF000000), false},
                                           DensityCase{7, graphics::FontStyleBold, Color(0xFF000000)}));

TEST(RevealedStyleColoursTest, MarksUseOnlyTheirTwoColours) {
  // Curls blend their ink into the background; the double arcs are not smoothed at all.
  const struct {
    int style;
    Color ink, paper;
    bool exact;
  } cases[] = {{11, Color(0xFFFF4500), Color(0xFFC0C0C0), false},
               {12, Color(0xFF008000), Color(0xFFFFFFE0), false},
               {15, Color(0xFF000000), Color(0xFFFFFFFF), false},
               {7, Color(0xFF000000), Color(0xFFF5F5F5), true}};
  for (const auto& c : cases) {
    const Drawing d = Draw(c.style, kCode, 8080);
    for (const std::uint32_t p : d.pixels) {
      if (c.exact) {
        ASSERT_TRUE(p == c.ink.GetValue() || p == c.paper.GetValue()) << c.style << " " << std::hex << p;
      } else {
        ASSERT_TRUE(Between(Color(p), c.ink, c.paper)) << c.style << " " << std::hex << p;
      }
    }
  }
}

TEST(StripeLinesTest, OneHueOrBrightColoursAtJitteredEvenSpacing) {
  for (const std::int32_t state : {1, 77, 3030}) {
    testing::SetRandomState(state);
    const StripeLines one = MakeStripeLines(DrawingRandomizer(), 250, 50, StripeColors::kOneHue);
    ASSERT_EQ(one.vertical.size(), 22u);
    ASSERT_EQ(one.horizontal.size(), 16u);
    // The same single channel carries every stripe, at 100..254.
    std::set<int> channels;
    for (const auto* list : {&one.vertical, &one.horizontal}) {
      for (const Stripe& s : *list) {
        const int values[] = {s.color.GetR(), s.color.GetG(), s.color.GetB()};
        for (int ch = 0; ch < 3; ++ch) {
          if (values[ch] != 0) {
            channels.insert(ch);
            EXPECT_GE(values[ch], 100);
            EXPECT_LE(values[ch], 254);
          }
        }
      }
    }
    EXPECT_EQ(channels.size(), 1u);
    // Running positions: steps of 0.7 to 1.3 times W / 22.
    float previous = 0;
    for (const Stripe& s : one.vertical) {
      EXPECT_GE(s.position - previous, 0.7f * 250 / 22 - 1e-3f);
      EXPECT_LE(s.position - previous, 1.3f * 250 / 22 + 1e-3f);
      previous = s.position;
    }

    testing::SetRandomState(state);
    const StripeLines bright = MakeStripeLines(DrawingRandomizer(), 250, 50, StripeColors::kBright);
    for (const Stripe& s : bright.horizontal) {
      for (const int v : {s.color.GetR(), s.color.GetG(), s.color.GetB()}) {
        EXPECT_GE(v, 50);
        EXPECT_LE(v, 254);
      }
    }
  }
}

TEST(StripeStyleTest, ThickReplayedStripesInsideThinOutside) {
  for (const int style : {20, 21}) {
    const std::int32_t state = 2024;
    // Replay: rectangle, then the stripes, then the family (used for the letters below).
    testing::SetRandomState(state);
    const DrawingRandomizer r;
    (void)r.RandomRectBetween(RectF(0, 0, 250, 50), RectF(50, 10, 150, 30));
    const StripeLines lines =
        MakeStripeLines(r, 250, 50, style == 20 ? StripeColors::kOneHue : StripeColors::kBright);
    std::set<std::uint32_t> colours;
    for (const auto* list : {&lines.vertical, &lines.horizontal}) {
      for (const Stripe& s : *list) colours.insert(s.color.GetValue());
    }
    const Drawing d = Draw(style, kCode, state);
    // The 4-pixel stripes cover whole pixels in exactly their colours.
    const int exact = static_cast<int>(std::ranges::count_if(d.pixels, [&](std::uint32_t p) { return colours.contains(p); }));
    EXPECT_GT(exact, 100) << style;
    // Whole pixels of the stripes' own colours lie in the letters, where the stripes are
    // thick, and hardly outside, where a 1-pixel stripe mostly straddles two pixels. (The
    // family's draw comes after the stripes' 152 or 153.)
    testing::SetRandomState(state);
    (void)r.RandomRectBetween(RectF(0, 0, 1, 1), RectF(0, 0, 1, 1));
    (void)MakeStripeLines(r, 250, 50, style == 20 ? StripeColors::kOneHue : StripeColors::kBright);
    const std::u16string family = r.RandomFontFamily(style);
    const auto [inside, outside] =
        InkShares(d, Letters(state, style, graphics::FontStyleRegular, &family),
                  [&](Color p) { return colours.contains(p.GetValue()); });
    EXPECT_GT(inside, 0.3) << style;
    EXPECT_LT(outside, 0.1) << style;
  }
}

TEST(RayAndRingStylesTest, ColoursAndUntouchedBackground) {
  for (const std::int32_t state : {12, 3456, 99999}) {
    // The ray colour comes right after the family, the background is its inverse; nothing
    // is drawn outside the letters.
    testing::SetRandomState(state);
    const DrawingRandomizer r;
    (void)r.RandomRectBetween(RectF(0, 0, 1, 1), RectF(0, 0, 1, 1));
    (void)r.RandomFontFamily(23);
    const Color dark = r.RandomColorInRange(0, 100, 0, 100, 0, 100);
    const Color paper = InverseColor(dark);

    const struct {
      int style;
      Color ink, paper;
    } rays[] = {{22, Color(0xFFFF0000), Color(0xFFADFF2F)}, {23, dark, paper}};
    for (const auto& c : rays) {
      const Drawing d = Draw(c.style, kCode, state);
      const graphics::Region letters = Letters(state, c.style, graphics::FontStyleRegular);
      int inkInside = 0;
      for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
          const Color p = d.At(x, y);
          if (!letters.IsVisible(x, y)) {
            ASSERT_EQ(p.GetValue(), c.paper.GetValue()) << c.style << " at " << x << "," << y;
          } else {
            ASSERT_TRUE(Between(p, c.ink, c.paper)) << c.style;
            inkInside += p.GetValue() == c.ink.GetValue();
          }
        }
      }
      EXPECT_GT(inkInside, 50) << c.style;
    }

    // Rings: the colour inside the letters, its inverse outside, both over white.
    testing::SetRandomState(state);
    (void)r.RandomRectBetween(RectF(0, 0, 1, 1), RectF(0, 0, 1, 1));
    (void)r.RandomFontFamily(24);
    const Color c24 = r.RandomColorInRange(0, 190, 0, 190, 0, 190);
    const Drawing d = Draw(24, kCode, state);
    const graphics::Region letters = Letters(state, 24, graphics::FontStyleRegular);
    int exactInside = 0, ringOutside = 0;
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        const Color p = d.At(x, y);
        const bool inside = letters.IsVisible(x, y);
        ASSERT_TRUE(Between(p, inside ? c24 : InverseColor(c24), Color(0xFFFFFFFF))) << x << "," << y;
        exactInside += inside && p.GetValue() == c24.GetValue();
        ringOutside += !inside && p.GetValue() != 0xFFFFFFFF;
      }
    }
    EXPECT_GT(exactInside, 50);
    EXPECT_GT(ringOutside, 1000);
  }
}

}  // namespace
}  // namespace quillgate
