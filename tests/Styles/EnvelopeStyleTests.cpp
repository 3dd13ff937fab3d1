// The envelope-warped styles that show the code as a shape of its own, drawn from fixed
// states of the random source: stippled letters (33), and sharp letters over a blurred copy
// (36). The outlines (30, 31, 32, 38, 39, 44: pens, colours, dots and glow) are left to their
// reference pictures and the draw-count table. (Style 35's letters invert the checkerboard
// floor of style 9, whose test holds the floor to its rules.)
#include "StyleDrawing.h"

#include <gtest/gtest.h>

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
