// The envelope-warped styles, drawn from fixed states of the random source: 31's outline
// (30's thinner pen, 32's pen on its complement, 38's and 39's outlines over green dots and
// 44's glow are left to their reference pictures and the draw-count table), and the warped
// code as a shape of its own (33, 36): stippled letters, and sharp letters over a blurred
// copy. (Style 35's letters invert the checkerboard floor of style 9, whose test holds the
// floor to its rules.)
#include "StyleDrawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;
using testing::Draw;
using testing::Drawing;
using testing::Letters;

// The letters of styles 33 and 36, replayed from the same state to know where they are.
constexpr std::int32_t kWarpedState = 5150;
constexpr const char* kWarpedCode = "HX4QM";

Letters Warped(const RectF& inner, int style) {
  return testing::WarpedLetters(kWarpedState, kWarpedCode, inner, style,
                                graphics::FontStyleRegular);
}

TEST(Style31Test, WhiteOutlineOnTheUntouchedBitmap) {
  const std::int32_t state = 5000;
  const Drawing d = Draw(31, "K7XW2", state);
  const auto offWhite = [](Color c) {
    return c.GetValue() != 0 && std::min({c.GetR(), c.GetG(), c.GetB()}) < 252;
  };
  EXPECT_EQ(d.Count(offWhite), 0) << "white strokes on the untouched bitmap";
  // Ink stays within the text rectangle, grown by the pen and a pixel of smoothing, and
  // spreads over most of it: the envelope stretches the text across the rectangle.
  const testing::Box ink = testing::Find(d, [](Color c, int, int) { return c.GetA() != 0; });
  const RectF rect = testing::TextRect(state, RectF(0, 0, 1, 1), RectF(0.10f, 0, 0.85f, 0.80f));
  testing::ExpectWithin(ink, rect, 2);
  EXPECT_GT(ink.right - ink.left, static_cast<int>(rect.Width * 0.8f));
  EXPECT_GT(ink.bottom - ink.top, static_cast<int>(rect.Height * 0.5f));
  EXPECT_EQ(Draw(31, "", 3).Count(0u), 250 * 50) << "no code, nothing drawn";
}

TEST(Style33, TheLettersAreFarDenserThanTheNoiseAroundThem) {
  const Drawing d = Draw(33, kWarpedCode, kWarpedState);
  const Letters letters = Warped({0.10f, 0.10f, 0.85f, 0.80f}, 33);
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
  const Drawing d = Draw(36, kWarpedCode, kWarpedState);
  const Letters letters = Warped({0.00f, -0.10f, 0.85f, 0.80f}, 36);
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

}  // namespace
}  // namespace quillgate
