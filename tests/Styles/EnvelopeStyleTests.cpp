// The envelope-warped outline styles (30, 31, 32, 38, 39, 44), drawn from fixed states of the
// random source.
#include "StyleDrawing.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Drawing/DrawingRandomizer.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;

using testing::Drawing;

using testing::Draw;

// The text rectangle a style draws into, replayed from the same state: it is the style's
// first use of the random source.
RectF TextRect(std::int32_t state, const RectF& inner, int width = 250, int height = 50) {
  testing::SetRandomState(state);
  return DrawingRandomizer().RandomRectBetween(
      RectF(0, 0, static_cast<float>(width), static_cast<float>(height)), inner);
}

// The colour a style draws right after its rectangle and font family (5 draws).
Color ColourAfterRectAndFamily(std::int32_t state, int rMin, int rMax) {
  testing::SetRandomState(state);
  const DrawingRandomizer r;
  (void)r.RandomRectBetween(RectF(0, 0, 1, 1), RectF(0, 0, 1, 1));
  (void)r.RandomFontFamily(0);
  return r.RandomColorInRange(rMin, rMax, rMin, rMax, rMin, rMax);
}

struct InkBox {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  int count = 0;
};

template <typename IsInk>
InkBox FindInk(const Drawing& d, IsInk isInk) {
  InkBox box;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      if (!isInk(d.At(x, y))) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
      ++box.count;
    }
  }
  return box;
}

// Ink must stay within the text rectangle, grown by half the pen and a pixel of smoothing.
void ExpectInkInside(const InkBox& ink, const RectF& rect, float margin) {
  ASSERT_GT(ink.count, 0);
  EXPECT_GE(ink.left, static_cast<int>(rect.X - margin));
  EXPECT_LE(ink.right, static_cast<int>(rect.GetRight() + margin));
  EXPECT_GE(ink.top, static_cast<int>(rect.Y - margin));
  EXPECT_LE(ink.bottom, static_cast<int>(rect.GetBottom() + margin));
  // And it spreads over most of the rectangle: the envelope stretches the text across it.
  EXPECT_GT(ink.right - ink.left, static_cast<int>(rect.Width * 0.8f));
  EXPECT_GT(ink.bottom - ink.top, static_cast<int>(rect.Height * 0.5f));
}

bool Opaque(const Drawing& d) {
  return std::ranges::all_of(d.pixels, [](std::uint32_t p) { return (p >> 24) == 0xFF; });
}

Color MostCommon(const Drawing& d) {
  std::map<std::uint32_t, int> counts;
  for (auto p : d.pixels) ++counts[p];
  return Color(std::ranges::max_element(counts, {}, [](const auto& e) { return e.second; })->first);
}

bool Near(Color a, Color b, int tolerance) {
  return std::abs(a.GetR() - b.GetR()) <= tolerance && std::abs(a.GetG() - b.GetG()) <= tolerance &&
         std::abs(a.GetB() - b.GetB()) <= tolerance;
}

TEST(StyleFactoryTest, OnlyIndicesOfDrawnStylesGiveRenderers) {
  EXPECT_FALSE(CreateStyleRenderer(50));
  EXPECT_FALSE(CreateStyleRenderer(-1));
  EXPECT_FALSE(CreateStyleRenderer(1000));
  for (int style : {30, 31, 32, 38, 39, 44}) {
    const auto first = CreateStyleRenderer(style);
    const auto second = CreateStyleRenderer(style);
    ASSERT_TRUE(first && second) << style;
    EXPECT_NE(first.get(), second.get()) << "a new renderer per call";
  }
}

struct DrawCountCase {
  int style;
  int width;
  int height;
  std::uint64_t draws;
};

class StyleDrawCountTest : public ::testing::TestWithParam<DrawCountCase> {};

TEST_P(StyleDrawCountTest, DrawsExactlyItsRandomValues) {
  const DrawCountCase c = GetParam();
  EXPECT_EQ(Draw(c.style, "K7XW2", 4711, c.width, c.height).draws, c.draws);
  // The count depends on the image only, not on the code.
  EXPECT_EQ(Draw(c.style, "", 4711, c.width, c.height).draws, c.draws);
}

INSTANTIATE_TEST_SUITE_P(
    Envelope, StyleDrawCountTest,
    ::testing::Values(
        // rectangle (4) and font family (1)
        DrawCountCase{30, 250, 50, 5}, DrawCountCase{31, 250, 50, 5}, DrawCountCase{31, 37, 23, 5},
        // ... and the pen colour (3)
        DrawCountCase{32, 250, 50, 8},
        // ... and the text colour (3)
        DrawCountCase{44, 250, 50, 8}, DrawCountCase{44, 100, 2, 8},
        // rectangle (4), two per dot for trunc(W x H / 2) dots, family (1)
        DrawCountCase{38, 250, 50, 4 + 2 * 6250 + 1}, DrawCountCase{39, 250, 50, 4 + 2 * 6250 + 1},
        DrawCountCase{38, 37, 23, 4 + 2 * 425 + 1}, DrawCountCase{39, 1, 1, 4 + 0 + 1}),
    [](const auto& info) {
      return "Style" + std::to_string(info.param.style) + "_" + std::to_string(info.param.width) +
             "x" + std::to_string(info.param.height);
    });

class EachEnvelopeStyleTest : public ::testing::TestWithParam<int> {};

TEST_P(EachEnvelopeStyleTest, SameStateSameImage) {
  const Drawing first = Draw(GetParam(), "K7XW2", 20240601);
  const Drawing again = Draw(GetParam(), "K7XW2", 20240601);
  const Drawing other = Draw(GetParam(), "K7XW2", 99);
  EXPECT_EQ(first.pixels, again.pixels);
  EXPECT_NE(first.pixels, other.pixels);
}

TEST_P(EachEnvelopeStyleTest, DegenerateInputsDrawWithoutFailing) {
  for (const std::string code : {"", " ", "A", "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"}) {
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{3, 10}, std::pair{250, 50}}) {
      const Drawing d = Draw(GetParam(), code, 12, w, h);
      // One state, one picture even here (no uninitialised or non-finite values leak in),
      // and visible text at the normal size leaves ink.
      EXPECT_EQ(d.pixels, Draw(GetParam(), code, 12, w, h).pixels) << '"' << code << "\" " << w << "x" << h;
      if (w == 250 && code.find_first_not_of(' ') != std::string::npos) {
        EXPECT_TRUE(std::ranges::any_of(d.pixels, [](std::uint32_t p) { return p != 0; })) << code;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Envelope, EachEnvelopeStyleTest, ::testing::Values(30, 31, 32, 38, 39, 44));

TEST(Style31Test, WhiteOutlineOnTheUntouchedBitmap) {
  for (std::int32_t state : {1, 5000, 1234567}) {
    const Drawing d = Draw(31, "K7XW2", state);
    const auto untouched = std::ranges::count(d.pixels, 0u);
    EXPECT_GT(untouched, static_cast<long>(d.pixels.size() / 2)) << "no background painted";
    for (auto p : d.pixels) {
      if (p != 0) {
        ASSERT_TRUE(Near(Color(p), Color(0xFFFFFFFF), 3)) << std::hex << p;
      }
    }
    // Fully covered stroke pixels exist: the pen is 2 pixels wide.
    EXPECT_GT(std::ranges::count(d.pixels, 0xFFFFFFFFu), 50);
    const RectF rect = TextRect(state, RectF(25, 0, 212.5f, 40));
    EXPECT_EQ(rect.Y, 0);
    EXPECT_GE(rect.GetBottom(), 40);
    EXPECT_LT(rect.GetBottom(), 50);
    ExpectInkInside(FindInk(d, [](Color c) { return c.GetA() != 0; }), rect, 2);
  }
}

TEST(Style31Test, EmptyCodeLeavesTheBitmapUntouched) {
  const Drawing d = Draw(31, "", 3);
  EXPECT_TRUE(std::ranges::all_of(d.pixels, [](std::uint32_t p) { return p == 0; }));
}

TEST(Style30Test, ThinYellowGreenOutlineOnTheUntouchedBitmap) {
  const std::int32_t state = 777;
  const Drawing d = Draw(30, "Q8M3P", state);
  EXPECT_GT(std::ranges::count(d.pixels, 0u), static_cast<long>(d.pixels.size() / 2));
  for (auto p : d.pixels) {
    const Color c(p);
    if (c.GetA() >= 128) {
      ASSERT_TRUE(Near(c, Color(0xFFADFF2F), 4)) << std::hex << p;
    }
  }
  const RectF rect = TextRect(state, RectF(2.5f, 0.5f, 237.5f, 40));
  EXPECT_LE(rect.X, 2.5f);
  EXPECT_LE(rect.Y, 0.5f);
  EXPECT_GE(rect.GetRight(), 240.0f);
  EXPECT_GE(rect.GetBottom(), 40.5f);
  ExpectInkInside(FindInk(d, [](Color c) { return c.GetA() != 0; }), rect, 1.5f);
}

TEST(Style32Test, DarkPenOnItsComplement) {
  for (std::int32_t state : {42, 8888, 31415926}) {
    const Drawing d = Draw(32, "H3N9T", state);
    const Color pen = ColourAfterRectAndFamily(state, 0, 120);
    const Color background = MostCommon(d);
    EXPECT_TRUE(Opaque(d));
    EXPECT_EQ(background.GetR(), 255 - pen.GetR());
    EXPECT_EQ(background.GetG(), 255 - pen.GetG());
    EXPECT_EQ(background.GetB(), 255 - pen.GetB());
    for (int channel : {background.GetR(), background.GetG(), background.GetB()}) {
      EXPECT_GT(channel, 135);
    }
    EXPECT_GT(std::ranges::count(d.pixels, pen.GetValue()), 50) << "the 3-pixel pen's core";
    EXPECT_TRUE(d.At(0, 49) == background || d.At(249, 0) == background);
  }
}

TEST(Style38Test, RedOutlineOverGreenDotsOnWhite) {
  const Drawing d = Draw(38, "R4D2X", 606);
  EXPECT_TRUE(Opaque(d));
  EXPECT_EQ(MostCommon(d), Color(0xFFFFFFFF));
  const auto greenish = FindInk(d, [](Color c) { return c.GetG() > c.GetR() + 20 && c.GetG() > c.GetB() + 20; });
  EXPECT_GT(greenish.count, 1000) << "specks all over the image";
  EXPECT_LE(greenish.left, 5);
  EXPECT_GE(greenish.right, 244);
  // Pure red exists: the outline lies over the dots.
  const auto red = FindInk(d, [](Color c) { return c == Color(0xFFFF0000); });
  EXPECT_GT(red.count, 50);
  EXPECT_EQ(std::ranges::count(d.pixels, 0xFF008000u), 0) << "no fill in style 38";
}

TEST(Style39Test, GreenFilledTextWithRedOutline) {
  const Drawing d = Draw(39, "R4D2X", 606);
  EXPECT_TRUE(Opaque(d));
  EXPECT_GT(std::ranges::count(d.pixels, 0xFF008000u), 200) << "the solid green fill";
  const auto red = FindInk(d, [](Color c) { return c.GetR() >= 200 && c.GetG() <= 60 && c.GetB() <= 60; });
  EXPECT_GT(red.count, 100) << "the outer half of the outline";
}

TEST(Style44Test, LightTextWithGlowOnTheDarkInverse) {
  for (std::int32_t state : {17, 2718281}) {
    const Drawing d = Draw(44, "B6ZQ9", state);
    const Color text = ColourAfterRectAndFamily(state, 170, 250);
    for (int channel : {text.GetR(), text.GetG(), text.GetB()}) {
      EXPECT_GE(channel, 170);
      EXPECT_LT(channel, 250);
    }
    const Color background(255 - text.GetR(), 255 - text.GetG(), 255 - text.GetB());
    EXPECT_TRUE(Opaque(d));
    EXPECT_EQ(MostCommon(d), background);
    // Glow passes i = 18 (widest) down to 1 for min(250, 50) / 2.7, each half a pixel
    // wider on both sides than the next: per channel text + ((background - text) / 18) * i.
    // The innermost pass covers the letters' cores, over the text's own fill.
    const auto channel = [](int t, int b, int i) { return static_cast<graphics::BYTE>(t + (b - t) / 18 * i); };
    const Color innermost(channel(text.GetR(), background.GetR(), 1), channel(text.GetG(), background.GetG(), 1),
                          channel(text.GetB(), background.GetB(), 1));
    EXPECT_GT(std::ranges::count(d.pixels, innermost.GetValue()), 30);
    // The glow: many pixels strictly between the background and the innermost pass.
    const int lo = std::min<int>(background.GetR(), innermost.GetR());
    const int hi = std::max<int>(background.GetR(), innermost.GetR());
    const auto glow = FindInk(d, [&](Color c) { return c.GetR() > lo + 4 && c.GetR() < hi - 4; });
    EXPECT_GT(glow.count, 1000);
  }
}

}  // namespace
}  // namespace quillgate
