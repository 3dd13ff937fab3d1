// The styles that show the code only through what they draw over it (7, 11, 12, 15: marks
// clipped to the letters; 20 to 25 and 34: stripes, rays and rings), drawn from fixed states
// of the random source.
#include "Drawing/TextPath.h"
#include "StyleDrawing.h"
#include "Styles/StripeLines.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;
using testing::Between;
using testing::Count;
using testing::Draw;
using testing::Drawing;
using testing::Letters;

constexpr const char* kCode = "K7XW2";

// Where the letters lie: the text rectangle's 4 draws come first (every style here uses the
// inner rectangle 0.2, 0.2, 0.6, 0.6), then the font family's one unless `family` is given.
Letters LettersOf(std::int32_t state, int style, graphics::INT fontStyle,
                  const std::u16string* family = nullptr) {
  const RectF rect = testing::TextRect(state, RectF(0, 0, 1, 1), RectF(0.2f, 0.2f, 0.6f, 0.6f));
  const std::u16string replayed = DrawingRandomizer().RandomFontFamily(style);
  graphics::GraphicsPath path;
  FitTextPathToRect(u"K7XW2", PathFont(family != nullptr ? *family : replayed, fontStyle), rect,
                    path);
  return {rect, graphics::Region(&path)};
}

// Share of the pixels, inside and outside the letters, for which `isInk` holds.
template <typename IsInk>
std::pair<double, double> InkShares(const Drawing& d, const Letters& letters, IsInk isInk) {
  const testing::Census all = Count(d, letters, [](Color) { return true; });
  const testing::Census ink = Count(d, letters, isInk);
  return {all.inside ? double(ink.inside) / all.inside : 0.0,
          all.outside ? double(ink.outside) / all.outside : 0.0};
}

// The marks of styles 7, 11, 12 and 15 keep to their two colours and gather in the letters
// of the replayed rectangle and family, and only there: the replayed family must fit the
// picture better than every other family, which fails when the family is drawn at another
// place in the order.
TEST(MarkedStylesTest, MarksOfTheirTwoColoursDenseInTheReplayedLettersOnly) {
  // Curls blend their ink into the background; the double arcs are not smoothed at all.
  const struct {
    int style;
    graphics::INT fontStyle;
    Color ink, paper;
    bool smoothed = true;
  } cases[] = {{11, graphics::FontStyleRegular, Color(0xFFFF4500), Color(0xFFC0C0C0)},
               {12, graphics::FontStyleBold, Color(0xFF008000), Color(0xFFFFFFE0)},
               {15, graphics::FontStyleRegular, Color(0xFF000000), Color(0xFFFFFFFF)},
               {7, graphics::FontStyleBold, Color(0xFF000000), Color(0xFFF5F5F5), false}};
  for (const auto& c : cases) {
    for (const std::int32_t state : {31, 4242, 777777}) {
      SCOPED_TRACE(::testing::Message() << "style " << c.style << " state " << state);
      const Drawing d = Draw(c.style, kCode, state);
      const auto stray = [&](Color p) {
        return c.smoothed ? !Between(p, c.ink, c.paper) : p != c.ink && p != c.paper;
      };
      EXPECT_EQ(d.Count(stray), 0) << "only the ink, the paper and blends of the two";
      // One-pixel dots are smoothed and never quite black: any touched pixel counts.
      auto isInk = [&](Color p) { return c.style == 15 ? p != c.paper : p == c.ink; };
      const auto [inside, outside] = InkShares(d, LettersOf(state, c.style, c.fontStyle), isInk);
      EXPECT_GT(inside, 3 * outside);
      for (const std::u16string family :
           {u"Arial", u"Verdana", u"Times New Roman", u"Tahoma", u"Courier New"}) {
        const Letters other = LettersOf(state, c.style, c.fontStyle, &family);
        EXPECT_LE(InkShares(d, other, isInk).first, inside) << "the replayed family fits best";
      }
    }
  }
}

TEST(StripeStyleTest, ThickReplayedStripesInsideThinOutside) {
  for (const int style : {20, 21}) {
    const std::int32_t state = 2024;
    // Replay: rectangle, then the stripes, then the family (for the letters below).
    const DrawingRandomizer r = testing::ReplayAfter(state, 4);
    const StripeLines lines =
        MakeStripeLines(r, 250, 50, style == 20 ? StripeColors::kOneHue : StripeColors::kBright);
    const std::u16string family = r.RandomFontFamily(style);
    std::set<std::uint32_t> colours;
    for (const auto* list : {&lines.vertical, &lines.horizontal}) {
      for (const Stripe& s : *list) colours.insert(s.color.GetValue());
    }
    const Drawing d = Draw(style, kCode, state);
    const auto striped = [&](Color p) { return colours.contains(p.GetValue()); };
    // Whole pixels of the stripes' own colours lie in the letters, where the 4-pixel stripes
    // cover whole pixels, and hardly outside, where a 1-pixel stripe mostly straddles two.
    const auto [inside, outside] =
        InkShares(d, LettersOf(state, style, graphics::FontStyleRegular, &family), striped);
    EXPECT_GT(inside, 0.3) << style;
    EXPECT_LT(outside, 0.1) << style;
  }
}

TEST(RayStylesTest, RaysOnlyInsideTheLettersOverAnUntouchedBackground) {
  const std::int32_t state = 3456;
  // The ray colour comes right after the family, the background is its inverse; nothing
  // is drawn outside the letters.
  const Color dark = testing::ReplayColour(state, 5, 0, 100);
  const struct {
    int style;
    Color ink, paper;
  } rays[] = {{22, Color(0xFFFF0000), Color(0xFFADFF2F)}, {23, dark, InverseColor(dark)}};
  for (const auto& c : rays) {
    const Drawing d = Draw(c.style, kCode, state);
    const Letters letters = LettersOf(state, c.style, graphics::FontStyleRegular);
    const auto stray = [&](Color p) { return !Between(p, c.ink, c.paper); };
    EXPECT_EQ(Count(d, letters, stray).inside, 0) << c.style;
    EXPECT_EQ(Count(d, letters, [&](Color p) { return p != c.paper; }).outside, 0);
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == c.ink; }).inside, 50);
  }
}

// Rings of a replayed colour inside the letters, over white: 24 through the fitted letters,
// 25 through the stretched ones and 34 through the warped ones. Outside them 24 and 34 draw
// rings of the inverse colour, 25 nothing at all.
TEST(RingStylesTest, TheColourInsideTheLettersItsInverseOrNothingOutsideOverWhite) {
  const Color white(testing::kWhite);
  const struct {
    int style;
    std::int32_t state;
    int low, high;  // the ring colour's channels lie in [low, high)
  } cases[] = {{24, 3456, 0, 190}, {25, 777, 1, 180}, {34, 777, 0, 120}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    const Drawing d = Draw(c.style, kCode, c.state);
    const graphics::INT regular = graphics::FontStyleRegular;
    const Letters letters =
        c.style == 24   ? LettersOf(c.state, 24, regular)
        : c.style == 25 ? testing::StretchedLetters(c.state, kCode, RectF(0, 0, 1, 1),
                                                    RectF(0.2f, 0.2f, 0.6f, 0.6f), 25, regular)
                        : testing::WarpedLetters(c.state, kCode, RectF(0.10f, 0.10f, 0.75f, 0.70f),
                                                 34, regular);
    const Color ring = testing::ReplayColour(c.state, 5, c.low, c.high);
    const Color outside = c.style == 25 ? white : InverseColor(ring);
    EXPECT_EQ(d.MostCommon(), testing::kWhite) << "white between the rings";
    EXPECT_EQ(Count(d, letters, [&](Color p) { return !Between(p, ring, white); }).inside, 0);
    EXPECT_EQ(Count(d, letters, [&](Color p) { return !Between(p, outside, white); }).outside, 0);
    // Where a ring runs along pixel centres, its core shows its colour exactly.
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == ring; }).inside, 30);
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == outside; }).outside, 100);
  }
}

}  // namespace
}  // namespace quillgate
