// The stretched-text styles shown by rings or as a scan-line mosaic (25, 28, 29; 26's offset
// copy, 27's colours and the mosaics' strips are left to their reference pictures), drawn
// from fixed states of the random source. The tests replay the style's opening with the
// same state to know where the letters are, then check the picture.
#include "Drawing/Geometry.h"
#include "StyleDrawing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;
using testing::Drawing;
using testing::Letters;

constexpr std::int32_t kState = 777;
constexpr const char* kCode = "W4ZK8";

Drawing Draw(int style, std::int32_t state, int width = 250, int height = 50) {
  return testing::Draw(style, kCode, state, width, height);
}

// The style's stretched letters, replayed from the same state (its first 5 draws).
Letters Stretched(std::int32_t state, const RectF& outer, const RectF& inner, int style,
                  graphics::INT fontStyle, int width = 250, int height = 50) {
  return testing::StretchedLetters(state, kCode, outer, inner, style, fontStyle, width, height);
}

// The mosaics' letters: the text rectangle's right and bottom edges fixed at 0.9 W and 0.9 H.
Letters Mosaic(int style, int width = 250, int height = 50) {
  return Stretched(kState, {0.1f, 0.1f, 0.8f, 0.8f}, {0.2f, 0.2f, 0.7f, 0.7f}, style,
                   graphics::FontStyleBold, width, height);
}

std::vector<RectF> Scans(const Letters& letters) {
  std::vector<RectF> scans;
  GetRegionRects(letters.region, scans);
  return scans;
}

constexpr std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

TEST(StretchedTextStyles, MosaicsDrawPerStripAsTheirScansSay) {
  for (const auto& [width, height] : {std::pair{250, 50}, std::pair{400, 120}}) {
    const std::uint64_t strips = Scans(Mosaic(28, width, height)).size();
    ASSERT_GT(strips, 40u);
    // Style 28: opening (5), background (3), a colour every 30 strips, jitter (2) on even strips.
    EXPECT_EQ(Draw(28, kState, width, height).draws,
              8 + 3 * CeilDiv(strips, 30) + 2 * CeilDiv(strips, 2));
    // Style 29: opening, a colour every 40 strips.
    EXPECT_EQ(Draw(29, kState, width, height).draws,
              5 + 3 * CeilDiv(Scans(Mosaic(29, width, height)).size(), 40));
  }
}

TEST(Style25, RingsShowOnlyInsideTheLettersOnWhite) {
  const Drawing d = Draw(25, kState);
  const Letters letters =
      Stretched(kState, {0, 0, 1, 1}, {0.2f, 0.2f, 0.6f, 0.6f}, 25, graphics::FontStyleRegular);
  const Color ring = testing::ReplayColour(kState, 5, 1, 180);
  const testing::Box outside = testing::Find(d, [&](Color c, int x, int y) {
    return c.GetValue() != testing::kWhite && letters.Deep(x, y, false);
  });
  EXPECT_EQ(outside.count, 0) << "from " << outside.left << ", " << outside.top;
  // (Rings are thin and smoothed: only where one runs along a pixel centre is a pixel
  // exactly its colour.)
  const auto ringIn = [&](Color c, int x, int y) { return c == ring && letters.Deep(x, y, true); };
  EXPECT_GT(testing::Find(d, ringIn).count, 30) << "rings of the drawn colour cross the letters";
}

}  // namespace
}  // namespace quillgate
