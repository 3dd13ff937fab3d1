// The styles that use the envelope-warped code as a shape of its own (33, 35, 36): stippled
// letters, letters inverting a checkerboard floor, and sharp letters over a blurred copy. The tests replay the opening from the same
// state to know where the letters are.
#include "StyleDrawing.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Styles/StyleRenderer.h"
#include "Styles/WarpedText.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quillgate {
namespace {

constexpr std::int32_t kState = 5150;
constexpr const char* kCode = "HX4QM";

using testing::Drawing;

Drawing Draw(int style, int width = 250, int height = 50, const char* code = kCode) {
  return testing::Draw(style, code, kState, width, height);
}

graphics::Region Letters(const graphics::RectF& innerFraction, int family, int width = 250, int height = 50) {
  graphics::Bitmap bitmap(width, height);
  StyleCanvas canvas(kCode, bitmap, graphics::SmoothingModeAntiAlias);
  testing::SetRandomState(kState);
  const WarpedText text = MakeWarpedText(
      canvas, DrawingRandomizer(),
      canvas.Fraction(innerFraction.X, innerFraction.Y, innerFraction.Width, innerFraction.Height), family,
      graphics::FontStyleRegular);
  return graphics::Region(text.path.get());
}

// Inside (or outside) the region by at least `margin` pixels in every direction.
bool Deep(const graphics::Region& region, int x, int y, bool inside, int margin) {
  for (int dy = -margin; dy <= margin; ++dy) {
    for (int dx = -margin; dx <= margin; ++dx) {
      if (region.IsVisible(x + dx, y + dy) != inside) return false;
    }
  }
  return true;
}

TEST(Style33, DrawsTwoValuesPerDotOfEveryLayer) {
  // n = W x H x 0.4 dots inside, n/10 white inside, n/2 and n/7 on the edges, n/10 and n/7
  // anywhere; and the rectangle (4) and family (1) first.
  const auto dots = [](std::uint64_t n) { return n + n / 10 + n / 2 + n / 7 + n / 10 + n / 7; };
  EXPECT_EQ(Draw(33).draws, 5 + 2 * dots(5000));
  EXPECT_EQ(dots(5000), 9928u);
  EXPECT_EQ(Draw(33, 400, 120).draws, 5 + 2 * dots(19200));
}

TEST(Style33, TheLettersAreFarDenserThanTheNoiseAroundThem) {
  const Drawing d = Draw(33);
  const graphics::Region letters = Letters({0.10f, 0.10f, 0.85f, 0.80f}, 33);
  double inkInside = 0, inside = 0, inkOutside = 0, outside = 0;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      const double ink = 255 - (d.pixels[static_cast<std::size_t>(y * d.width + x)] & 0xFF);
      if (Deep(letters, x, y, true, 1)) inkInside += ink, ++inside;
      if (Deep(letters, x, y, false, 4)) inkOutside += ink, ++outside;
    }
  }
  ASSERT_GT(inside, 100);
  ASSERT_GT(outside, 1000);
  EXPECT_GT(inkInside / inside, 4 * (inkOutside / outside));
  EXPECT_GT(inkOutside, 0) << "salt and pepper reaches beyond the letters";
}

TEST(Style35, TheLettersInvertTheFloorAndTakeNoRandomFont) {
  for (const auto& [w, h] : {std::pair{250, 50}, std::pair{60, 40}}) {
    // The rectangle (4) and the floor's corners (4): the font is always the default family.
    const Drawing text = Draw(35, w, h);
    EXPECT_EQ(text.draws, 8u);
    const Drawing floor = Draw(35, w, h, "");
    int black = 0, flipped = 0;
    for (std::size_t i = 0; i < text.pixels.size(); ++i) {
      const std::uint32_t p = text.pixels[i];
      ASSERT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu) << "pixel-aligned black and white only, at " << i;
      black += p == 0xFF000000u;
      flipped += p != floor.pixels[i];  // the same floor: where they differ, the letters invert it
    }
    EXPECT_GT(black, w * h / 5);
    EXPECT_LT(black, w * h * 4 / 5);
    EXPECT_GT(flipped, w * h / 20) << "letters over both kinds of square";
  }
}

TEST(Style36, SharpBlackLettersOverARedFringeOnBlack) {
  EXPECT_EQ(Draw(36).draws, 5u);  // rectangle and family
  const Drawing d = Draw(36);
  const graphics::Region letters = Letters({0.00f, -0.10f, 0.85f, 0.80f}, 36);
  int red = 0;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      const std::uint32_t p = d.pixels[static_cast<std::size_t>(y * d.width + x)];
      ASSERT_EQ(p & 0xFF00FFFFu, 0xFF000000u) << "only black and shades of red, at " << x << ", " << y;
      // Two pixels in from the outline, so that no anti-aliased edge pixel counts.
      if (Deep(letters, x, y, true, 2)) {
        EXPECT_EQ(p, 0xFF000000u) << x << ", " << y;
      }
      if ((p >> 16 & 0xFF) > 128) ++red;
    }
  }
  EXPECT_GT(red, 200) << "the blurred copy shows around the letters";
}

}  // namespace
}  // namespace quillgate
