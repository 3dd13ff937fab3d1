// The styles that show the code through rings, crossing lines or spots (34, 37, 40 to 43, 45
// to 49), drawn from fixed states of the random source, and the shared pieces they are built
// from. The letter masks come from replaying the style's first draws: a pixel belongs to the
// letters when the region of the replayed text path holds it (clips are pixel-aligned).
#include "StyleDrawing.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Drawing/DrawingRandomizer.h"
#include "Drawing/Geometry.h"
#include "Styles/AreaCount.h"
#include "Styles/CrossingLines.h"
#include "Styles/Rings.h"
#include "Styles/Spots.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleRenderer.h"
#include "Styles/WarpedText.h"

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
using graphics::PointF;
using graphics::RectF;

constexpr const char* kCode = "K7XW2";

using testing::Drawing;

using testing::Draw;

// Replays a style's draws from the same state: the style's own first steps, then the rest.
struct Replay {
  explicit Replay(std::int32_t state) { testing::SetRandomState(state); }
  void Skip(int draws) const {
    for (int i = 0; i < draws; ++i) (void)r.RandomInteger(0, 2);
  }
  DrawingRandomizer r;
};

// The letters of a 250 x 50 drawing: the region of the style's text path, replayed.
struct Letters {
  RectF rect;
  graphics::Region region;
  [[nodiscard]] bool Inside(int x, int y) const { return region.IsVisible(x, y); }
};

Letters StretchedLetters(std::int32_t state, int style, float outer) {
  graphics::Bitmap bitmap(250, 50);
  const StyleCanvas canvas(kCode, bitmap, graphics::SmoothingModeAntiAlias);
  testing::SetRandomState(state);
  const StretchedText text = MakeStretchedText(canvas, DrawingRandomizer(),
                                               canvas.Fraction(outer, outer, 1 - 2 * outer, 1 - 2 * outer),
                                               canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), style, graphics::FontStyleBold);
  return {text.rect, graphics::Region(&text.path)};
}

// `inner` in fractions of the image.
Letters WarpedLetters(std::int32_t state, int style, const RectF& inner, graphics::INT fontStyle) {
  graphics::Bitmap bitmap(250, 50);
  StyleCanvas canvas(kCode, bitmap, graphics::SmoothingModeAntiAlias);
  testing::SetRandomState(state);
  const RectF innerRect = canvas.Fraction(inner.X, inner.Y, inner.Width, inner.Height);
  const WarpedText text = MakeWarpedText(canvas, DrawingRandomizer(), innerRect, style, fontStyle);
  return {text.rect, graphics::Region(text.path.get())};
}

// Each channel of `c` lies between those of `a` and `b` (a blend of the two, as smoothing makes).
bool Between(Color c, Color a, Color b) {
  const auto in = [](int v, int p, int q) { return v >= std::min(p, q) - 1 && v <= std::max(p, q) + 1; };
  return c.GetA() == 255 && in(c.GetR(), a.GetR(), b.GetR()) && in(c.GetG(), a.GetG(), b.GetG()) &&
         in(c.GetB(), a.GetB(), b.GetB());
}

Color Inverse(Color c) { return Color(255 - c.GetR(), 255 - c.GetG(), 255 - c.GetB()); }

Color MostCommon(const Drawing& d) {
  std::map<std::uint32_t, int> counts;
  for (auto p : d.pixels) ++counts[p];
  return Color(std::ranges::max_element(counts, {}, [](const auto& e) { return e.second; })->first);
}

struct Census {
  int inside = 0;   // pixels inside the letters with the colour asked for
  int outside = 0;  // ... and outside
};

template <typename Is>
Census Count(const Drawing& d, const Letters& letters, Is is) {
  Census census;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      if (!is(d.At(x, y))) continue;
      (letters.Inside(x, y) ? census.inside : census.outside)++;
    }
  }
  return census;
}

const int kStyles[] = {34, 37, 40, 41, 42, 43, 45, 46, 47, 48, 49};

// ---- draws -------------------------------------------------------------------------------

// ln(250 x 50) = 9.43, ln(100 x 30) = 8.01, ln(1 x 10) = 2.30. Every style: rectangle (4) and
// family (1); lines trunc(density x ln) of 4 draws (7 with 42's colours); spots trunc(factor
// x ln) of 3 draws (4 for 45's ovals); colours 3, ring centres 2. The same for any code.
TEST(CrossingStyles, DrawExactlyTheirRandomValues) {
  const struct {
    int style;
    std::uint64_t at250x50, at100x30, at1x10;
  } cases[] = {
      {34, 5 + 3 + 2, 10, 10},                                   // colour, centre
      {37, 5 + 2, 7, 7},                                         // centre
      {46, 5 + 4 * 28 + 2, 5 + 4 * 24 + 2, 5 + 4 * 6 + 2},       // lines, centre
      {47, 5 + 4 * 28 + 3 + 2, 5 + 4 * 24 + 5, 5 + 4 * 6 + 5},   // lines, colour, centre
      {40, 5 + 4 * 19, 5 + 4 * 16, 5 + 4 * 4},                   // lines
      {41, 5 + 4 * 33 + 2, 5 + 4 * 28 + 2, 5 + 4 * 8 + 2},       // lines, centre
      {42, 5 + 7 * 397, 5 + 7 * 337, 5 + 7 * 96},                // coloured lines
      {43, 5 + 4 * 10 + 3, 5 + 4 * 8 + 3, 5 + 4 * 2 + 3},        // lines, colour
      {45, 5 + 4 * 113, 5 + 4 * 96, 5 + 4 * 27},                 // ovals
      {48, 5 + 3 * 75, 5 + 3 * 64, 5 + 3 * 18},                  // round spots
      {49, 5 + 3 + 3 * 75, 5 + 3 + 3 * 64, 5 + 3 + 3 * 18}};     // colour, round spots
  for (const auto& c : cases) {
    EXPECT_EQ(Draw(c.style, kCode, 4711).draws, c.at250x50) << c.style;
    EXPECT_EQ(Draw(c.style, "", 4711, 100, 30).draws, c.at100x30) << c.style;
    EXPECT_EQ(Draw(c.style, "A", 4711, 1, 10).draws, c.at1x10) << c.style;
  }
}

class EachCrossingStyle : public ::testing::TestWithParam<int> {};

TEST_P(EachCrossingStyle, SameStateSameImage) {
  const Drawing first = Draw(GetParam(), kCode, 20240601);
  EXPECT_EQ(first.pixels, Draw(GetParam(), kCode, 20240601).pixels);
  EXPECT_NE(first.pixels, Draw(GetParam(), kCode, 99).pixels);
}

TEST_P(EachCrossingStyle, DegenerateInputsDrawWithoutFailing) {
  for (const std::string code : {"", " ", "A", "\x01\xff", "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"}) {
    for (const auto& [w, h] : {std::pair{1, 10}, std::pair{3, 10}, std::pair{250, 50}}) {
      EXPECT_EQ(Draw(GetParam(), code, 12, w, h).pixels.size(), static_cast<std::size_t>(w * h));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ClipsLinesSpots, EachCrossingStyle, ::testing::ValuesIn(kStyles));

// ---- rings through warped letters (34, 37) ---------------------------------------------------

TEST(Style34, DarkRingsOnlyInsideTheLettersLightOnlyOutsideOnWhite) {
  for (std::int32_t state : {3, 777, 20240601}) {
    const Drawing d = Draw(34, kCode, state);
    const Letters letters = WarpedLetters(state, 34, RectF(0.10f, 0.10f, 0.75f, 0.70f), graphics::FontStyleRegular);
    const Replay replay(state);
    (void)replay.r.RandomRectBetween(RectF(0, 0, 1, 1), RectF(0, 0, 1, 1));
    (void)replay.r.RandomFontFamily(34);
    const Color dark = replay.r.RandomColorInRange(0, 120, 0, 120, 0, 120);
    const Color light = Inverse(dark);
    const Color white(0xFFFFFFFF);

    EXPECT_EQ(MostCommon(d), white) << "white between the rings";
    const Census darkRings = Count(d, letters, [&](Color c) { return c == dark; });
    EXPECT_GT(darkRings.inside, 30) << "the 2-pixel rings' cores";
    EXPECT_EQ(darkRings.outside, 0);
    const Census lightRings = Count(d, letters, [&](Color c) { return c == light; });
    EXPECT_GT(lightRings.outside, 100);
    EXPECT_EQ(lightRings.inside, 0);
    // Inside only blends of the dark colour and white, outside only of the light one.
    EXPECT_EQ(Count(d, letters, [&](Color c) { return !Between(c, dark, white); }).inside,
              0);
    EXPECT_EQ(Count(d, letters, [&](Color c) { return !Between(c, light, white); }).outside, 0);
  }
}

TEST(Style37, BlackRingsOnGreyInsideWhiteRingsOnTheUntouchedBitmapOutside) {
  const std::int32_t state = 5150;
  const Drawing d = Draw(37, kCode, state);
  const Letters letters = WarpedLetters(state, 37, RectF(0.10f, 0.10f, 0.75f, 0.70f), graphics::FontStyleBold);
  const auto grey = [](Color c) {
    return c.GetA() == 255 && c.GetR() == c.GetG() && c.GetG() == c.GetB() && c.GetR() <= 0x80;
  };
  const Census insideGrey = Count(d, letters, grey);
  const Census all = Count(d, letters, [](Color) { return true; });
  EXPECT_EQ(insideGrey.inside, all.inside) << "inside: only black-to-grey";
  EXPECT_GT(Count(d, letters, [](Color c) { return c == Color(0xFF808080); }).inside, 30);
  EXPECT_GT(Count(d, letters, [](Color c) { return c == Color(0xFF000000); }).inside, 30);
  // Outside: the bitmap's initial transparent black, or white rings over it.
  const Census untouched = Count(d, letters, [](Color c) { return c.GetValue() == 0; });
  const Census whiteRings = Count(d, letters, [](Color c) {
    return c.GetA() != 0 && c.GetR() >= 250 && c.GetG() >= 250 && c.GetB() >= 250;
  });
  EXPECT_GT(untouched.outside, 1000);
  EXPECT_GT(whiteRings.outside, 1000);
  EXPECT_EQ(untouched.outside + whiteRings.outside, all.outside);
}

// ---- lines and rings through warped letters (46, 47) -----------------------------------------

TEST(Styles46And47, LightLinesAndRingsOnlyInsideTheDarkLetters) {
  const struct {
    int style;
    std::int32_t state;
  } cases[] = {{46, 31}, {47, 31}, {47, 86420}};
  for (const auto& c : cases) {
    const Drawing d = Draw(c.style, kCode, c.state);
    const Letters letters = WarpedLetters(c.state, c.style, RectF(0, 0, 0.90f, 0.90f), graphics::FontStyleBold);
    Color dark(0xFF000096);
    if (c.style == 47) {
      // The colour comes after the rectangle, the family and the 28 lines.
      const Replay replay(c.state);
      replay.Skip(5 + 4 * 28);
      dark = replay.r.RandomColorInRange(0, 100, 0, 100, 0, 100);
    }
    const Color light = Inverse(dark);
    if (c.style == 46) {
      EXPECT_EQ(light, Color(0xFFFFFF69));
    }
    // Outside the letters one flat colour, but for the smoothed edge of their fill; inside,
    // the dark fill cut by light lines and rings.
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        // (Slivers of the letters thinner than a pixel can tint a pixel next to the region.)
        bool nearLetters = false;
        for (int dy = -2; dy <= 2; ++dy) {
          for (int dx = -2; dx <= 2; ++dx) nearLetters = nearLetters || letters.Inside(x + dx, y + dy);
        }
        if (!nearLetters) {
          ASSERT_EQ(d.At(x, y), light) << c.style << " at " << x << ", " << y;
        }
      }
    }
    EXPECT_EQ(Count(d, letters, [&](Color p) { return !Between(p, dark, light); }).outside, 0) << c.style;
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == dark; }).inside, 200) << c.style;
    EXPECT_GT(Count(d, letters, [&](Color p) { return p == light; }).inside, 20) << c.style;
    const Census strays = Count(d, letters, [&](Color p) { return !Between(p, dark, light); });
    EXPECT_EQ(strays.inside, 0) << c.style;
  }
}

// ---- crossing lines through stretched letters (40 to 43) ---------------------------------------

// Along the segment from `a` to `b`, the pixels whose centre lies on it (within 0.2) and that
// the letters hold together with their neighbours: a pen of 2.5 pixels or more covers such a
// pixel fully, and no letter edge smooths it.
std::vector<std::pair<int, int>> PixelsAlong(const PointF& a, const PointF& b, const Letters& letters) {
  std::vector<std::pair<int, int>> pixels;
  const double length = std::hypot(b.X - a.X, b.Y - a.Y);
  if (length == 0) return pixels;
  for (int i = 0; i <= 1000; ++i) {
    const double t = i / 1000.0;
    if (t * length < 3 || (1 - t) * length < 3) continue;  // the flat ends cover less
    // Smoothed lines have their pixel centres on whole coordinates.
    const int x = static_cast<int>(std::lround(a.X + (b.X - a.X) * t));
    const int y = static_cast<int>(std::lround(a.Y + (b.Y - a.Y) * t));
    const double distance = std::abs((b.X - a.X) * (a.Y - y) - (a.X - x) * (b.Y - a.Y)) / length;
    if (distance > 0.2 || (!pixels.empty() && pixels.back() == std::pair{x, y})) continue;
    bool deep = true;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) deep = deep && letters.Inside(x + dx, y + dy);
    }
    if (deep) pixels.emplace_back(x, y);
  }
  return pixels;
}

struct Line {
  Color color;
  PointF start, end;
};

// The lines of a style, replayed after its rectangle and font family.
std::vector<Line> ReplayLines(std::int32_t state, int count, bool coloured) {
  const Replay replay(state);
  replay.Skip(5);
  std::vector<Line> lines;
  for (int i = 0; i < count; ++i) {
    Line line{Color(0xFFFFFFFF), {}, {}};
    if (coloured) line.color = replay.r.RandomColorInRange(50, 255, 50, 255, 50, 255);
    line.start = replay.r.RandomPointInRect(RectF(0, 45, 250, 5));
    line.end = replay.r.RandomPointInRect(RectF(0, 0, 250, 5));
    lines.push_back(line);
  }
  return lines;
}

TEST(Styles40To43, LinesCutTheFilledLettersWhereTheyCross) {
  const struct {
    int style;
    int lines;
    Color background;
    Color letters;  // 43: replayed
    float lineWidth;
  } cases[] = {{40, 19, Color(0xFF008000), Color(0xFFFF0000), 2.5f},
               {41, 33, Color(0xFFFFFFE0), Color(0xFF0000FF), 1.0f},
               {43, 10, Color(), Color(), 3.1f}};
  for (const auto& c : cases) {
    for (std::int32_t state : {8, 424242}) {
      const Drawing d = Draw(c.style, kCode, state);
      const Letters letters = StretchedLetters(state, c.style, 0.0f);
      Color background = c.background;
      Color text = c.letters;
      if (c.style == 43) {
        const Replay replay(state);
        replay.Skip(5 + 4 * c.lines);
        text = replay.r.RandomColorInRange(0, 100, 0, 100, 0, 100);
        background = Inverse(text);
      }
      EXPECT_EQ(MostCommon(d), background) << c.style;
      EXPECT_GT(Count(d, letters, [&](Color p) { return p == text; }).inside, 300) << c.style;
      // Wherever a line runs deep inside a letter, its core has the background colour.
      int crossings = 0;
      for (const Line& line : ReplayLines(state, c.lines, false)) {
        for (const auto& [x, y] : PixelsAlong(line.start, line.end, letters)) {
          ++crossings;
          // (Full coverage may round to 254 of 255: a channel can be one off.)
          if (c.lineWidth >= 2.5f) {
            ASSERT_TRUE(Between(d.At(x, y), background, background)) << c.style << " at " << x << ", " << y;
          }
        }
      }
      EXPECT_GT(crossings, 10) << c.style;
    }
  }
}

TEST(Style42, LettersMadeOnlyOfColouredLinePiecesOnWhite) {
  for (std::int32_t state : {12, 99991}) {
    const Drawing d = Draw(42, kCode, state);
    const Letters letters = StretchedLetters(state, 42, 0.05f);
    const Color white(0xFFFFFFFF);
    EXPECT_EQ(Count(d, letters, [&](Color p) { return p != white; }).outside, 0) << "lines only inside";
    EXPECT_GT(Count(d, letters, [&](Color p) { return p != white; }).inside, 300);
    // The text rectangle keeps the 5 % margin.
    EXPECT_GE(letters.rect.X, 12.5f);
    EXPECT_GE(letters.rect.Y, 2.5f);
    EXPECT_LE(letters.rect.GetRight(), 237.5f);
    EXPECT_LE(letters.rect.GetBottom(), 47.5f);
    // Each record's colour is drawn before its points: the last line lies on top in its own
    // colour wherever it runs deep inside a letter, away from the ends of other lines.
    const std::vector<Line> lines = ReplayLines(state, 397, true);
    int matches = 0, tried = 0;
    for (const auto& [x, y] : PixelsAlong(lines.back().start, lines.back().end, letters)) {
      ++tried;
      matches += d.At(x, y) == lines.back().color;
    }
    if (tried > 0) {
      EXPECT_GT(matches * 10, tried * 9) << "the 5-pixel line's core shows its own colour";
    }
  }
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
  for (const auto& c : cases) {
    for (std::int32_t state : {5, 31337}) {
      const Drawing d = Draw(c.style, kCode, state);
      const Letters letters = StretchedLetters(state, c.style, 0.1f);
      const Replay replay(state);
      replay.Skip(5);
      Color text = c.text;
      Color background = c.background;
      if (c.style == 49) {
        text = replay.r.RandomColorInRange(0, 100, 0, 100, 0, 100);
        background = Inverse(text);
      }
      EXPECT_EQ(MostCommon(d), background) << c.style;
      const Color spot = c.blobs ? text : background;
      // Replay the spots (point y, x, then the size(s)): the centre of every spot of 3 or
      // more pixels has the spot colour; spots never start outside the text rectangle.
      const int count = c.blobs ? 113 : 75;
      int checked = 0;
      for (int i = 0; i < count; ++i) {
        const PointF p = replay.r.RandomPointInRect(letters.rect);
        const int w = replay.r.RandomInteger(0, 7);
        const int h = c.blobs ? replay.r.RandomInteger(0, 7) : w;
        if (w < 3 || h < 3) continue;
        const int x = static_cast<int>(p.X) + w / 2;
        const int y = static_cast<int>(p.Y) + h / 2;
        ++checked;
        EXPECT_EQ(d.At(x, y), spot) << c.style << " spot " << i << " at " << x << ", " << y;
      }
      EXPECT_GT(checked, 10);
      // The text itself: its colour fills most of the letters.
      EXPECT_GT(Count(d, letters, [&](Color p) { return p == text; }).inside, 500) << c.style;
      // Nothing but background far beyond the text rectangle and its spots.
      const RectF& t = letters.rect;
      for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
          if (x >= t.X - 1 && x <= t.GetRight() + 7 && y >= t.Y - 1 && y <= t.GetBottom() + 7) continue;
          ASSERT_EQ(d.At(x, y), background) << c.style << " at " << x << ", " << y;
        }
      }
    }
  }
}

// ---- shared pieces -----------------------------------------------------------------------------

TEST(MakeCrossingLines, AppendsLinesFromTheLowestToTheHighestTenth) {
  for (const LineColouring colouring : {LineColouring::kWhite, LineColouring::kRandomLight}) {
    const graphics::Bitmap bitmap(250, 50);
    std::vector<LineRecord> lines{{Color(1), {}, {}}};
    MakeCrossingLines(bitmap, 3.0f, lines, colouring);
    ASSERT_EQ(lines.size(), 1u + 28);
    EXPECT_EQ(lines.front().color, Color(1)) << "appended to, not replaced";
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const LineRecord& line = lines[i];
      EXPECT_TRUE(line.start.Y >= 45 && line.start.Y < 50 && line.end.Y >= 0 && line.end.Y < 5);
      EXPECT_TRUE(line.start.X >= 0 && line.start.X < 250 && line.end.X >= 0 && line.end.X < 250);
      const int low = colouring == LineColouring::kWhite ? 255 : 50;
      for (int channel : {line.color.GetR(), line.color.GetG(), line.color.GetB()}) {
        EXPECT_TRUE(channel >= low && channel <= 254 + (low == 255)) << channel;
      }
    }
  }
  EXPECT_EQ(CountForArea(3.0f, 0, 10), 0) << "an empty image has no logarithm";
}

TEST(DrawSpots, AnImageOfThreePixelsGetsOnlyEmptySpots) {
  graphics::Bitmap bitmap(1, 3);
  StyleCanvas canvas("", bitmap, graphics::SmoothingModeAntiAlias);
  testing::SetRandomState(5);
  const std::uint64_t before = testing::RandomDrawCount();
  DrawSpots(canvas, DrawingRandomizer(), canvas.Full(), 8.0f, SpotShape::kRound, Color(0xFF00FF00));
  // trunc(8 x ln 3) = 8 spots of 3 draws, every size limit 0.
  EXPECT_EQ(testing::RandomDrawCount() - before, 8u * 3);
  EXPECT_EQ(bitmap.CopyArgb(), std::vector<std::uint32_t>(3, 0u));
}

TEST(DrawRings, WholePixelCirclesSkippedOffTheBitmapKeepEveryPixel) {
  for (const PointF centre : {PointF(60.3f, 20.7f), PointF(-40.5f, 10.2f), PointF(119.9f, 39.9f)}) {
    std::vector<std::uint32_t> pictures[2];
    for (int skipping = 0; skipping < 2; ++skipping) {
      graphics::Bitmap bitmap(120, 40);
      graphics::Graphics graphics(&bitmap);
      graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
      const graphics::Pen pen(Color(0xFF102030), 0.5f);
      if (skipping) {
        DrawRings(graphics, centre, 5, pen, RectF(0, 0, 120, 40), RingRectangle::kWholePixels);
      } else {
        for (float r = 0; r < kRingRadiusLimit; r += 5) {
          graphics.DrawEllipse(&pen, ToRect(RectF(centre.X - r, centre.Y - r, 2 * r, 2 * r)));
        }
      }
      pictures[skipping] = bitmap.CopyArgb();
    }
    EXPECT_EQ(pictures[0], pictures[1]) << centre.X << ", " << centre.Y;
  }
}

}  // namespace
}  // namespace quillgate
