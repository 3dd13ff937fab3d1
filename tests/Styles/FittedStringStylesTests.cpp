// The size-fitted string styles, drawn from fixed states of the random source: the rules that
// hold at any size (5) or state (3, 6). Styles 0, 1 and 2 draw nothing at random and 4 only
// moves its corners, so their reference pictures hold them whole (and the degenerate-input
// suite draws 2 at sizes too small for a grid line).
#include "CommonUtilities/RandomSource.h"
#include "StyleDrawing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>

namespace quillgate {
namespace {

using graphics::Color;
using testing::Draw;
using testing::Drawing;
using testing::kBlack;
using testing::kWhite;

constexpr std::uint32_t kLightGrey = 0xFFD3D3D3;

// The pixels of a cloud of `count` points drawn from `state`, y before x.
std::set<std::pair<int, int>> ReplayCloud(std::int32_t state, std::int64_t count) {
  testing::SetRandomState(state);
  std::set<std::pair<int, int>> cloud;
  for (std::int64_t i = 0; i < count; ++i) {
    const int y = RandomInt(50);
    cloud.emplace(RandomInt(250), y);
  }
  return cloud;
}

TEST(Style3Test, WhiteCodeOverTheReplayedPixelCloud) {
  const std::int32_t state = 31337;
  const Drawing d = Draw(3, "K7XW2", state);
  const auto cloud = ReplayCloud(state, 250 * 50);
  // Black comes only from the cloud, and off the cloud only the confetti background or the
  // white text shows.
  const auto darkOff = [&](Color c, int x, int y) {
    return c.GetR() < 128 && !cloud.contains({x, y});
  };
  EXPECT_EQ(testing::Find(d, darkOff).count, 0) << "dark pixels off the cloud";
  EXPECT_GT(d.Count(kBlack), static_cast<int>(cloud.size()) / 2) << "most of the cloud shows";
  const auto whiteOn = [&](Color c, int x, int y) {
    return c.GetValue() == kWhite && cloud.contains({x, y});
  };
  EXPECT_GT(testing::Find(d, whiteOn).count, 300) << "the white text covers the cloud";
  EXPECT_GT(d.Count(kLightGrey), 100) << "large confetti";
}

TEST(Style5Test, TilesOnAStrideWithWhiteGaps) {
  // 250 x 50: gap 5, stride 18, tile 13; 50 x 10: gap 1, stride 3, tile 2; 250 x 9: no gap.
  struct Case {
    int width, height, stride, tile;
  };
  for (const Case c : {Case{250, 50, 18, 13}, Case{50, 10, 3, 2}, Case{250, 9, 3, 3}}) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    const auto inkInGap = [&](Color p, int x, int y) {
      const bool gap = x % c.stride >= c.tile || y % c.stride >= c.tile || y >= c.stride * 3;
      return gap && p.GetValue() != kWhite;
    };
    EXPECT_EQ(testing::Find(Draw(5, "K7XW2", 1, c.width, c.height), inkInGap).count, 0);
  }
}

// (Where each letter hangs is one draw per letter, which the draw-count table pins; the
// height it comes to is the reference picture's.)
TEST(Style6Test, LowerCaseLettersOverTheReplayedCloud) {
  const std::int32_t state = 777;
  const Drawing d = Draw(6, "K7XW2", state);
  EXPECT_EQ(d.pixels, Draw(6, "k7xw2", state).pixels) << "letters drawn in lower case";
  const auto cloud = ReplayCloud(state, 250 * 50 / 7);
  for (const auto& [x, y] : cloud) ASSERT_EQ(d.Pixel(x, y), kBlack) << x << ", " << y;
}

}  // namespace
}  // namespace quillgate
