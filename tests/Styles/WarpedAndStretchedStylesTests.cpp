// The styles that show the code through rings, crossing lines, spots, stipple or a blurred
// copy of warped or stretched letters (33, 36, 37, 40 to 43, 45 to 49), drawn from fixed
// states of the random source and held to their rules about which colours lie inside and
// outside the replayed letters. (The envelope outlines, 30 to 32, 38, 39 and 44, are left to
// their reference pictures and the draw-count table; 35's letters invert the checkerboard
// floor of style 9, whose test holds the floor to its rules.)
#include "StyleDrawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::PointF;
using graphics::RectF;
using testing::Between;
using testing::Count;
using testing::Draw;
using testing::Drawing;
using testing::Letters;

constexpr const char* kCode = "K7XW2";
constexpr std::int32_t kWarpedState = 5150;  // 33, 36 and 37
const Color kWhite(testing::kWhite);

Letters Stretched(std::int32_t state, int style, float outer) {
  return testing::StretchedLetters(state, kCode, RectF(outer, outer, 1 - 2 * outer, 1 - 2 * outer),
                                   RectF(0.2f, 0.2f, 0.6f, 0.6f), style, graphics::FontStyleBold);
}

Letters Warped(std::int32_t state, int style, RectF inner, graphics::INT fontStyle) {
  return testing::WarpedLetters(state, kCode, inner, style, fontStyle);
}

// ---- rings through warped letters (37; 34 is with 24, its rings in the fitted letters) -----

TEST(Style37, BlackRingsOnGreyInsideWhiteRingsOnTheUntouchedBitmapOutside) {
  const Drawing d = Draw(37, kCode, kWarpedState);
  const Letters letters =
      Warped(kWarpedState, 37, RectF(0.10f, 0.10f, 0.75f, 0.70f), graphics::FontStyleBold);
  const auto grey = [](Color c) {
    return c.GetA() == 255 && c.GetR() == c.GetG() && c.GetG() == c.GetB() && c.GetR() <= 0x80;
  };
  const testing::Census all = Count(d, letters, [](Color) { return true; });
  EXPECT_EQ(Count(d, letters, grey).inside, all.inside) << "inside: only black-to-grey";
  EXPECT_GT(Count(d, letters, [](Color c) { return c == Color(0xFF000000); }).inside, 30)
      << "the 3-pixel rings' cores";
  // Outside: the bitmap's initial transparent black, or white rings over it.
  const int untouched = Count(d, letters, [](Color c) { return c.GetValue() == 0; }).outside;
  const int whiteRings = Count(d, letters, [](Color c) {
                           return c.GetA() != 0 && c.GetR() >= 250 && c.GetG() >= 250 &&
                                  c.GetB() >= 250;
                         }).outside;
  EXPECT_GT(untouched, 1000);
  EXPECT_GT(whiteRings, 1000);
  EXPECT_EQ(untouched + whiteRings, all.outside);
}

// ---- stipple and a blurred copy of warped letters (33, 36) -----------------------------------

TEST(Style33, TheLettersAreFarDenserThanTheNoiseAroundThem) {
  const Drawing d = Draw(33, kCode, kWarpedState);
  const Letters letters =
      Warped(kWarpedState, 33, RectF(0.10f, 0.10f, 0.85f, 0.80f), graphics::FontStyleRegular);
  double inkInside = 0, inside = 0, inkOutside = 0, outside = 0;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      const double ink = 255 - d.At(x, y).GetB();
      if (letters.Deep(x, y, true, 1)) inkInside += ink, ++inside;
      if (letters.Deep(x, y, false, 4)) inkOutside += ink, ++outside;
    }
  }
  ASSERT_GT(inside, 100);
  ASSERT_GT(outside, 1000);
  EXPECT_GT(inkInside / inside, 4 * (inkOutside / outside));
  EXPECT_GT(inkOutside, 0) << "salt and pepper reaches beyond the letters";
}

TEST(Style36, SharpBlackLettersOverARedFringeOnBlack) {
  const Drawing d = Draw(36, kCode, kWarpedState);
  const Letters letters =
      Warped(kWarpedState, 36, RectF(0.00f, -0.10f, 0.85f, 0.80f), graphics::FontStyleRegular);
  const auto blackOrRed = [](Color c) {
    return (c.GetValue() & 0xFF00FFFFu) == testing::kBlack;
  };
  EXPECT_EQ(d.Count(blackOrRed), d.width * d.height) << "only black and shades of red";
  // Two pixels in from the outline, so that no anti-aliased edge pixel counts.
  const testing::Box inside = testing::Find(d, [&](Color c, int x, int y) {
    return c.GetValue() != testing::kBlack && letters.Deep(x, y, true, 2);
  });
  EXPECT_EQ(inside.count, 0) << "not black inside, from " << inside.left << ", " << inside.top;
  EXPECT_GT(d.Count([](Color c) { return c.GetR() > 128; }), 200)
      << "the blurred copy shows around the letters";
}

// ---- lines and rings through warped letters (46, 47) -----------------------------------------

TEST(Styles46And47, LightLinesAndRingsOnlyInsideTheDarkLetters) {
  const struct {
    int style;
    std::int32_t state;
  } cases[] = {{46, 31}, {47, 31}, {47, 86420}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    const Drawing d = Draw(c.style, kCode, c.state);
    const Letters letters =
        Warped(c.state, c.style, RectF(0, 0, 0.90f, 0.90f), graphics::FontStyleBold);
    // 47's colour comes after the rectangle, the family and the 28 lines.
    const Color dark =
        c.style == 46 ? Color(0xFF000096) : testing::ReplayColour(c.state, 5 + 4 * 28, 0, 100);
    const Color light = InverseColor(dark);
    // Away from the letters one flat colour (slivers of the letters thinner than a pixel can
    // tint a pixel next to the region); inside, the dark fill cut by light lines and rings.
    const testing::Box away = testing::Find(
        d, [&](Color p, int x, int y) { return p != light && letters.Deep(x, y, false, 2); });
    EXPECT_EQ(away.count, 0) << "from " << away.left << ", " << away.top;
    EXPECT_EQ(d.Count([&](Color p) { return !Between(p, dark, light); }), 0);
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == dark; }).inside, 200);
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == light; }).inside, 20);
  }
}

// ---- crossing lines through stretched letters (40 to 43) ---------------------------------------

// Along the segment from `a` to `b`, the pixels whose centre lies on it (within 0.2) and that
// the letters hold together with their neighbours: a pen of 2.5 pixels or more covers such a
// pixel fully, and no letter edge smooths it.
std::vector<std::pair<int, int>> PixelsAlong(const PointF& a, const PointF& b,
                                             const Letters& letters) {
  std::vector<std::pair<int, int>> pixels;
  const double length = std::hypot(b.X - a.X, b.Y - a.Y);
  for (int i = 0; length > 0 && i <= 1000; ++i) {
    const double t = i / 1000.0;
    if (t * length < 3 || (1 - t) * length < 3) continue;  // the flat ends cover less
    // Smoothed lines have their pixel centres on whole coordinates.
    const int x = static_cast<int>(std::lround(a.X + (b.X - a.X) * t));
    const int y = static_cast<int>(std::lround(a.Y + (b.Y - a.Y) * t));
    const double distance = std::abs((b.X - a.X) * (a.Y - y) - (a.X - x) * (b.Y - a.Y)) / length;
    if (distance > 0.2 || (!pixels.empty() && pixels.back() == std::pair{x, y})) continue;
    if (letters.Deep(x, y, true)) pixels.emplace_back(x, y);
  }
  return pixels;
}

// The lines of a style (start, end), replayed after its rectangle and font family.
std::vector<std::pair<PointF, PointF>> ReplayLines(std::int32_t state, int count) {
  const DrawingRandomizer r = testing::ReplayAfter(state, 5);
  std::vector<std::pair<PointF, PointF>> lines;
  for (int i = 0; i < count; ++i) {
    const PointF start = r.RandomPointInRect(RectF(0, 45, 250, 5));
    lines.emplace_back(start, r.RandomPointInRect(RectF(0, 0, 250, 5)));
  }
  return lines;
}

TEST(Styles40To43, LinesCutTheFilledLettersWhereTheyCross) {
  const struct {
    int style;
    int lines;
    Color background;
    Color letters;  // 43: replayed
    bool wide;      // a pen of 2.5 pixels or more
  } cases[] = {{40, 19, Color(0xFF008000), Color(0xFFFF0000), true},
               {41, 33, Color(0xFFFFFFE0), Color(0xFF0000FF), false},
               {43, 10, Color(), Color(), true}};
  const std::int32_t state = 8;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    const Drawing d = Draw(c.style, kCode, state);
    const Letters letters = Stretched(state, c.style, 0.0f);
    const Color text =
        c.style == 43 ? testing::ReplayColour(state, 5 + 4 * c.lines, 0, 100) : c.letters;
    const Color background = c.style == 43 ? InverseColor(text) : c.background;
    EXPECT_EQ(d.MostCommon(), background.GetValue());
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == text; }).inside, 300);
    // Wherever a line runs deep inside a letter, its core has the background colour.
    int crossings = 0;
    for (const auto& [start, end] : ReplayLines(state, c.lines)) {
      for (const auto& [x, y] : PixelsAlong(start, end, letters)) {
        ++crossings;
        // (Full coverage may round to 254 of 255: a channel can be one off.)
        if (c.wide) {
          ASSERT_TRUE(Between(d.At(x, y), background, background)) << x << ", " << y;
        }
      }
    }
    EXPECT_GT(crossings, 10);
  }
}

// (Each line's colour, drawn before its points, is the reference picture's.)
TEST(Style42, LettersMadeOnlyOfLinePiecesOnWhite) {
  const std::int32_t state = 12;
  const Drawing d = Draw(42, kCode, state);
  const testing::Census ink =
      Count(d, Stretched(state, 42, 0.05f), [&](Color p) { return p != kWhite; });
  EXPECT_EQ(ink.outside, 0) << "lines only inside";
  EXPECT_GT(ink.inside, 300);
}

// ---- spots (45, 48, 49) ------------------------------------------------------------------------

TEST(Styles45To49, SpotsOfTheirColourOverTheStretchedText) {
  const struct {
    int style;
    Color text;
    Color background;
    bool blobs;
  } cases[] = {{45, Color(0xFFADFF2F), Color(0xFFFF6347), true},
               {48, Color(0xFFFF0000), Color(0xFF008000), false},
               {49, Color(), Color(), false}};
  const std::int32_t state = 5;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    const Drawing d = Draw(c.style, kCode, state);
    const Letters letters = Stretched(state, c.style, 0.1f);
    const Color text = c.style == 49 ? testing::ReplayColour(state, 5, 0, 100) : c.text;
    const Color background = c.style == 49 ? InverseColor(text) : c.background;
    EXPECT_EQ(d.MostCommon(), background.GetValue());
    // Replay the spots (point y, x, then the size(s)): the centre of every spot of 3 or
    // more pixels has the spot colour; spots never start outside the text rectangle.
    const DrawingRandomizer r = testing::ReplayAfter(state, c.style == 49 ? 8 : 5);
    int checked = 0;
    for (int i = 0; i < (c.blobs ? 113 : 75); ++i) {
      const PointF p = r.RandomPointInRect(letters.rect);
      const int w = r.RandomInteger(0, 7);
      const int h = c.blobs ? r.RandomInteger(0, 7) : w;
      if (w < 3 || h < 3) continue;
      ++checked;
      const int x = static_cast<int>(p.X) + w / 2, y = static_cast<int>(p.Y) + h / 2;
      EXPECT_EQ(d.At(x, y), c.blobs ? text : background) << "spot " << i << " at " << x << ", "
                                                          << y;
    }
    EXPECT_GT(checked, 10);
    // The text itself: its colour fills most of the letters.
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == text; }).inside, 500);
  }
}

}  // namespace
}  // namespace quillgate
