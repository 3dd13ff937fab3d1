// Aliased marks of one pen are passed over where every pixel they could set already has
// their colour or lies outside the clip. A tile taken for settled one pixel too soon leaves
// a pixel of the wrong colour, so the pictures must be exactly those that drawing every
// mark gives, however deep the marks pile up.
#include "Platform/Graphics/Gdiplus.h"
#include "Platform/Graphics/detail/SettledTiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace quillgate::graphics {
namespace {

TEST(SettledTiles, SettledOnlyWhereEveryPixelHasTheColourOrIsClippedAway) {
  // Tiles of 8 x 8: three columns (the last 4 wide) and two rows (the last 4 high).
  constexpr int kW = 20, kH = 12;
  constexpr std::uint32_t kInk = 0xFF102030u, kPaper = 0xFFFFFFFFu;
  struct Case {
    const char* what;
    int x, y;  // the one pixel that is paper
    bool clipped;
    bool useClip;
    detail::PixelBox box;
    bool settled;
  };
  const Case cases[] = {
      {"a paper pixel at a tile's last row and column", 7, 7, false, true, {0, 0, 8, 8}, false},
      {"the tile beside it", 7, 7, false, true, {8, 0, 16, 8}, true},
      {"the paper pixel clipped away", 7, 7, true, true, {0, 0, 8, 8}, true},
      {"no clip at all", 7, 7, true, false, {0, 0, 8, 8}, false},
      {"the last, partial tile", 19, 11, false, true, {16, 8, 20, 12}, false},
      {"a box reaching off the bitmap", 0, 0, false, true, {-5, -5, 3, 3}, false},
      {"a box wholly off the bitmap", 0, 0, false, true, {-9, -9, -1, 30}, true},
      {"a box of no pixels", 0, 0, false, true, {0, 0, 0, 8}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint32_t> pixels(kW * kH, kInk);
    std::vector<std::uint8_t> clip(kW * kH, 255);
    pixels[static_cast<std::size_t>(c.y * kW + c.x)] = kPaper;
    if (c.clipped) clip[static_cast<std::size_t>(c.y * kW + c.x)] = 0;
    detail::SettledTiles tiles;
    tiles.Reset({pixels.data(), kW, kW, kH, c.useClip ? clip.data() : nullptr, kW}, kInk);
    EXPECT_EQ(tiles.Settled(c.box.x0, c.box.y0, c.box.x1, c.box.y1), c.settled);
  }
}

struct Lcg {
  std::uint32_t seed;
  float Next(float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(seed >> 8) / static_cast<float>(1u << 24);
  }
};

// Layers of small dark marks, then of light ones, each colour in several calls, so that
// each call finds more tiles settled (for its colour or for the last), drawn in calls of
// many marks and mark by mark, under a clip of holes and edges that cut tiles.
TEST(SettledTiles, MarksPiledDeepPaintWhatEveryMarkDrawnPaints) {
  constexpr int kW = 96, kH = 48;
  Region clip(RectF(0, 0, kW, kH));
  clip.Exclude(RectF(13, 5, 30, 17));
  clip.Exclude(RectF(60, 21, 5, 40));
  Lcg r{7};
  Bitmap fast(kW, kH), reference(kW, kH);
  Graphics f(&fast), g(&reference);
  for (Graphics* each : {&f, &g}) {
    each->Clear(Color(0xFF808080u));
    each->SetSmoothingMode(SmoothingModeNone);
    each->SetClip(&clip);
  }
  std::vector<std::pair<ARGB, int>> layers(4, {0xFF000000u, 1000});  // colour, marks
  layers.insert(layers.end(), 8, {0xFFF5F5F5u, 400});
  for (const auto& [colour, marks] : layers) {
    const Pen pen{Color(colour), 1.0f};
    std::vector<PointF> points;
    for (int i = 0; i < marks; ++i) {
      const float x = r.Next(-4, kW + 4), y = r.Next(-4, kH + 4);
      for (int k = 0; k < 4; ++k) points.emplace_back(x + r.Next(-5, 5), y + r.Next(-5, 5));
    }
    ASSERT_EQ(f.DrawBezierMarks(&pen, points), Ok);
    const std::vector<BYTE> types = {PathPointTypeStart, PathPointTypeBezier, PathPointTypeBezier,
                                     PathPointTypeBezier};
    const std::span<const PointF> all(points);
    for (std::size_t i = 0; i < all.size(); i += 4) {
      const GraphicsPath mark(all.subspan(i, 4), types, FillModeAlternate);
      ASSERT_EQ(g.DrawPath(&pen, &mark), Ok);
    }
  }
  const auto got = fast.CopyArgb(), want = reference.CopyArgb();
  int light = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * kW + x);
      ASSERT_EQ(got[i], want[i]) << "pixel " << x << "," << y;
      light += got[i] == 0xFFF5F5F5u ? 1 : 0;
    }
  }
  EXPECT_GT(light, kW * kH / 2) << "the light layers must cover most of the picture";
}

}  // namespace
}  // namespace quillgate::graphics
