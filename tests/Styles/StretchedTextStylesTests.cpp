// The stretched-text styles shown by rings, by an offset copy, or as a scan-line mosaic
// (25, 26, 28, 29; 27's colours are left to its reference picture), drawn from fixed
// states of the random source. The tests replay the style's opening with the same state to
// know where the letters are, then check the picture.
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

TEST(Style26, OverlapShowsTheBackgroundAndTheCopyIsLightGreen) {
  const Drawing d = Draw(26, kState);
  const Letters letters =
      Stretched(kState, {0, 0, 0.9f, 0.9f}, {0.2f, 0.2f, 0.6f, 0.6f}, 26, graphics::FontStyleBold);
  Letters copy{letters.rect, letters.region};
  copy.region.Translate(10.0f, 2.0f);  // 4 % of 250 x 50
  int overlap = 0, copyOnly = 0, lettersOnly = 0;
  for (int y = 1; y < d.height - 1; ++y) {
    for (int x = 1; x < d.width - 1; ++x) {
      const bool inLetters = letters.Deep(x, y, true), outLetters = letters.Deep(x, y, false);
      const bool inCopy = copy.Deep(x, y, true), outCopy = copy.Deep(x, y, false);
      // Which of the letters and their shifted copy cover the pixel decides its colour.
      std::uint32_t expected = 0;
      if (inLetters && inCopy) expected = 0xFFFF0000u, ++overlap;
      if (inCopy && outLetters) expected = 0xFF90EE90u, ++copyOnly;
      if (inLetters && outCopy) expected = 0xFF008000u, ++lettersOnly;
      if (outLetters && outCopy) expected = 0xFFFF0000u;
      if (expected != 0) {
        EXPECT_EQ(d.Pixel(x, y), expected) << x << ", " << y;
      }
    }
  }
  EXPECT_GT(overlap, 20);
  EXPECT_GT(copyOnly, 20);
  EXPECT_GT(lettersOnly, 20);
}

TEST(Style29, EveryStripGrowsByOneAndAHalfPixelsOnEachSide) {
  const Drawing d = Draw(29, kState);
  std::vector<bool> covered(d.pixels.size(), false);
  for (const RectF& scan : Scans(Mosaic(29))) {
    // Smoothed fills have pixel centres on whole coordinates: a strip reaches half into the
    // pixels on its right and bottom edges, one more each way than its own pixels.
    const graphics::Rect grown =
        ToRect(RectF(scan.X - 1.5f, scan.Y - 1.5f, scan.Width + 4, scan.Height + 4));
    for (int y = std::max(grown.Y, 0); y < std::min(grown.GetBottom(), d.height); ++y) {
      for (int x = std::max(grown.X, 0); x < std::min(grown.GetRight(), d.width); ++x) {
        covered[static_cast<std::size_t>(y * d.width + x)] = true;
      }
    }
  }
  int strayed = 0;
  for (std::size_t i = 0; i < d.pixels.size(); ++i) {
    // Pixel-aligned fills: a covered pixel is exactly a strip colour, any other stays white.
    strayed += !covered[i] && d.pixels[i] != testing::kWhite;
  }
  EXPECT_EQ(strayed, 0);
}

}  // namespace
}  // namespace quillgate
