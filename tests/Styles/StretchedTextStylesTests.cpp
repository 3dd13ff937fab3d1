// The stretched-text styles shown by rings, by an offset copy, or as a scan-line mosaic
// (25 to 29), drawn from fixed states of the random source. The tests replay the style's
// opening with the same state to know where the letters are, then check the picture.
#include "StyleDrawing.h"
#include "CommonUtilities/RandomSourceTesting.h"
#include "Drawing/DrawingRandomizer.h"
#include "Drawing/Geometry.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::RectF;

constexpr std::int32_t kState = 777;
constexpr const char* kCode = "W4ZK8";

using testing::Drawing;

Drawing Draw(int style, std::int32_t state, int width = 250, int height = 50, const std::string& code = kCode) {
  return testing::Draw(style, code, state, width, height);
}

// The style's stretched letters, replayed from the same state (its first 5 draws).
struct Replay {
  graphics::Region letters;
  RectF rect;
  DrawingRandomizer randomizer;  // positioned right after the opening
};

Replay ReplayOpening(std::int32_t state, const RectF& outerFraction, const RectF& innerFraction, int family,
                     graphics::INT fontStyle, int width = 250, int height = 50) {
  graphics::Bitmap bitmap(width, height);
  const StyleCanvas canvas(kCode, bitmap, graphics::SmoothingModeAntiAlias);
  testing::SetRandomState(state);
  const DrawingRandomizer randomizer;
  const auto fraction = [&](const RectF& f) { return canvas.Fraction(f.X, f.Y, f.Width, f.Height); };
  StretchedText text = MakeStretchedText(canvas, randomizer, fraction(outerFraction), fraction(innerFraction),
                                         family, fontStyle);
  return {graphics::Region(&text.path), text.rect, randomizer};
}

// A pixel whose 3 x 3 neighbourhood lies wholly inside (or wholly outside) a region, so that
// the anti-aliased edge of a clip or a fill cannot decide its colour.
bool DeepIn(const graphics::Region& region, int x, int y, bool inside) {
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      if (region.IsVisible(x + dx, y + dy) != inside) return false;
    }
  }
  return true;
}

std::size_t ScanCount(const graphics::Region& region) {
  std::vector<RectF> scans;
  GetRegionRects(region, scans);
  return scans.size();
}

constexpr std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

TEST(StretchedTextStyles, DrawTheirRandomValuesAndNoMore) {
  const struct {
    int style;
    int width;
    int height;
    std::uint64_t draws;
  } cases[] = {
      {25, 250, 50, 10}, {25, 31, 17, 10},  // rectangle, family, colour, centre
      {26, 250, 50, 5},  {26, 400, 120, 5},  // rectangle, family
      {27, 250, 50, 8},  {27, 400, 120, 8},  // and the colour
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Draw(c.style, kState, c.width, c.height).draws, c.draws) << c.style << " at " << c.width;
  }
}

TEST(StretchedTextStyles, MosaicsDrawPerStripAsTheirScansSay) {
  for (const auto& [width, height] : {std::pair{250, 50}, std::pair{400, 120}}) {
    const Replay replay = ReplayOpening(kState, {0.1f, 0.1f, 0.8f, 0.8f}, {0.2f, 0.2f, 0.7f, 0.7f}, 28,
                                        graphics::FontStyleBold, width, height);
    const std::uint64_t strips = ScanCount(replay.letters);
    ASSERT_GT(strips, 40u);
    // Style 28: opening (5), background (3), a colour every 30 strips, jitter (2) on even strips.
    EXPECT_EQ(Draw(28, kState, width, height).draws, 8 + 3 * CeilDiv(strips, 30) + 2 * CeilDiv(strips, 2));
    // The text rectangle's right and bottom edges are fixed at 0.9 W and 0.9 H.
    EXPECT_FLOAT_EQ(replay.rect.GetRight(), 0.9f * static_cast<float>(width));
    EXPECT_FLOAT_EQ(replay.rect.GetBottom(), 0.9f * static_cast<float>(height));

    const Replay replay29 = ReplayOpening(kState, {0.1f, 0.1f, 0.8f, 0.8f}, {0.2f, 0.2f, 0.7f, 0.7f}, 29,
                                          graphics::FontStyleBold, width, height);
    EXPECT_EQ(Draw(29, kState, width, height).draws, 5 + 3 * CeilDiv(ScanCount(replay29.letters), 40));
  }
}

TEST(StretchedTextStyles, SameStateSamePictureOtherStateOtherPicture) {
  for (const int style : {25, 26, 27, 28, 29}) {
    const auto first = Draw(style, kState).pixels;
    EXPECT_EQ(first, Draw(style, kState).pixels) << style;
    EXPECT_NE(first, Draw(style, kState + 1).pixels) << style;
  }
}

TEST(Style25, RingsShowOnlyInsideTheLettersOnWhite) {
  const Drawing d = Draw(25, kState);
  const Replay replay = ReplayOpening(kState, {0, 0, 1, 1}, {0.2f, 0.2f, 0.6f, 0.6f}, 25, graphics::FontStyleRegular);
  const Color ringColor = replay.randomizer.RandomColorInRange(1, 180, 1, 180, 1, 180);
  int inked = 0;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      if (DeepIn(replay.letters, x, y, false)) {
        EXPECT_EQ(d.Pixel(x, y), 0xFFFFFFFFu) << x << ", " << y;
      }
      if (DeepIn(replay.letters, x, y, true) && d.Pixel(x, y) == ringColor.GetValue()) ++inked;
    }
  }
  // (Rings are thin and smoothed: only where one runs along a pixel centre is a pixel
  // exactly its colour.)
  EXPECT_GT(inked, 30) << "rings of the drawn colour cross the letters";
}

TEST(Style26, OverlapShowsTheBackgroundAndTheCopyIsLightGreen) {
  const Drawing d = Draw(26, kState);
  const Replay replay = ReplayOpening(kState, {0, 0, 0.9f, 0.9f}, {0.2f, 0.2f, 0.6f, 0.6f}, 26, graphics::FontStyleBold);
  graphics::Region shifted = replay.letters;
  shifted.Translate(10.0f, 2.0f);  // 4 % of 250 x 50
  int overlap = 0, copyOnly = 0, lettersOnly = 0;
  for (int y = 1; y < d.height - 1; ++y) {
    for (int x = 1; x < d.width - 1; ++x) {
      const bool inLetters = DeepIn(replay.letters, x, y, true);
      const bool inCopy = DeepIn(shifted, x, y, true);
      const bool outLetters = DeepIn(replay.letters, x, y, false);
      const bool outCopy = DeepIn(shifted, x, y, false);
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

TEST(Style27, BackgroundIs256MinusTheLettersAndTheCopyIsBrighter) {
  for (const std::int32_t state : {kState, 4242, 99}) {
    const Drawing d = Draw(27, state);
    const Replay replay = ReplayOpening(state, {0, 0, 0.9f, 0.9f}, {0.2f, 0.2f, 0.6f, 0.6f}, 27, graphics::FontStyleBold);
    const Color c = replay.randomizer.RandomColorInRange(1, 136, 1, 136, 1, 136);
    const Color background(static_cast<graphics::BYTE>(256 - c.GetR()), static_cast<graphics::BYTE>(256 - c.GetG()),
                           static_cast<graphics::BYTE>(256 - c.GetB()));
    EXPECT_EQ(d.Pixel(d.width - 1, d.height - 1), background.GetValue()) << "the corner is background";
    const Color copy(static_cast<graphics::BYTE>(c.GetR() * 1.5), static_cast<graphics::BYTE>(c.GetG() * 1.5),
                     static_cast<graphics::BYTE>(c.GetB() * 1.5));
    int letterPixels = 0, copyPixels = 0;
    for (const std::uint32_t p : d.pixels) {
      letterPixels += p == c.GetValue();
      copyPixels += p == copy.GetValue();
    }
    EXPECT_GT(letterPixels, 20) << state;
    EXPECT_GT(copyPixels, 20) << state;
  }
}

TEST(Style29, EveryStripGrowsByOneAndAHalfPixelsOnEachSide) {
  const Drawing d = Draw(29, kState);
  const Replay replay = ReplayOpening(kState, {0.1f, 0.1f, 0.8f, 0.8f}, {0.2f, 0.2f, 0.7f, 0.7f}, 29, graphics::FontStyleBold);
  std::vector<RectF> scans;
  GetRegionRects(replay.letters, scans);
  std::vector<bool> covered(d.pixels.size(), false);
  for (const RectF& scan : scans) {
    // Smoothed fills have pixel centres on whole coordinates: a strip reaches half into the
    // pixels on its right and bottom edges, one more each way than its own pixels.
    const graphics::Rect grown = ToRect(RectF(scan.X - 1.5f, scan.Y - 1.5f, scan.Width + 4, scan.Height + 4));
    for (int y = std::max(grown.Y, 0); y < std::min(grown.GetBottom(), d.height); ++y) {
      for (int x = std::max(grown.X, 0); x < std::min(grown.GetRight(), d.width); ++x) {
        covered[static_cast<std::size_t>(y * d.width + x)] = true;
      }
    }
  }
  int strayed = 0;
  for (std::size_t i = 0; i < d.pixels.size(); ++i) {
    // Pixel-aligned fills: a covered pixel is exactly a strip colour, any other stays white.
    if (!covered[i] && d.pixels[i] != 0xFFFFFFFFu) ++strayed;
  }
  EXPECT_EQ(strayed, 0);
}

}  // namespace
}  // namespace quillgate
