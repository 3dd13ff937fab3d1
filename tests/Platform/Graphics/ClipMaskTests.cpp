// Shapes drawn under a clip of many pixel rectangles (the letters of a text, a slanted
// shape): nothing may leak across the clip's edges, and inside the clip a shape paints what
// it paints without one.
#include "Platform/Graphics/Gdiplus.h"
#include "Platform/Graphics/detail/ClipMask.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace quillgate::graphics {
namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 48;
constexpr std::uint32_t kBackground = 0xFF405060;

// A clip with slanted and curved edges in both directions: a rhombus and a ring.
GraphicsPath ClipShape() {
  GraphicsPath path(FillModeAlternate);
  const PointF rhombus[] = {{30, 2}, {58, 24}, {30, 46}, {2, 24}};
  path.AddPolygon(rhombus, 4);
  path.AddEllipse(RectF(64, 3, 52, 42));
  path.AddEllipse(RectF(78, 14, 24, 20));
  return path;
}

// Equal but for rounding: the glyphs' finer smoothing can give a fully covered pixel 254
// of 255 when drawn straight, 255 through the clip's mask, so a channel may be one off.
bool Near(std::uint32_t a, std::uint32_t b) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int ca = static_cast<int>((a >> shift) & 0xFF), cb = static_cast<int>((b >> shift) & 0xFF);
    if (ca - cb > 1 || cb - ca > 1) return false;
  }
  return true;
}

std::vector<std::uint32_t> Draw(const std::function<void(Graphics&)>& shapes, SmoothingMode smoothing,
                                bool clipped) {
  testing::Canvas canvas(kWidth, kHeight, smoothing);
  canvas.g.Clear(Color(kBackground));
  const GraphicsPath clip = ClipShape();
  if (clipped) canvas.g.SetClip(&clip, CombineModeReplace);
  shapes(canvas.g);
  return canvas.bitmap.CopyArgb();
}

TEST(ClippedShapes, KeepExactlyToTheClipAndPaintInsideAsUnclipped) {
  const auto lines = [](Graphics& g) {
    for (int x = -60; x < 180; x += 3) {
      const Pen pen(Color(0xFFF0E0D0), 2.5f);
      g.DrawLine(&pen, PointF(static_cast<REAL>(x), 48), PointF(x + 47.3f, 0));
    }
  };
  const auto rings = [](Graphics& g) {
    const Pen pen(Color(0x80FF2010), 1.5f);
    for (float r = 0; r < 90; r += 2.5f) g.DrawEllipse(&pen, 40.3f - r, 20.6f - r, 2 * r, 2 * r);
  };
  const auto fills = [](Graphics& g) {
    const SolidBrush brush(Color(0xFF20F040));
    g.FillEllipse(&brush, RectF(10.5f, 5.2f, 97.1f, 38.3f));
    const HatchBrush hatch(HatchStyleLargeConfetti, Color(0xFF000000), Color(0xFFFFFFFF));
    g.FillRectangle(&hatch, RectF(50.5f, 10.5f, 30, 30));
    const FontFamily family(u"Arial");
    const Font font(&family, 30, FontStyleBold, UnitPixel);
    g.DrawString(u"Wq", &font, RectF(20, 0, 100, 48), nullptr, &brush);
  };
  const Region clip(ClipShape().Clone().get());
  const struct {
    std::string name;
    std::function<void(Graphics&)> shapes;
  } cases[] = {{"lines", lines}, {"rings", rings}, {"fills", fills}};
  for (const auto& c : cases) {
    for (const SmoothingMode smoothing : {SmoothingModeAntiAlias, SmoothingModeNone}) {
      const auto clipped = Draw(c.shapes, smoothing, true);
      const auto unclipped = Draw(c.shapes, smoothing, false);
      int inside = 0, changed = 0;
      for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
          const auto i = static_cast<std::size_t>(y * kWidth + x);
          if (clip.IsVisible(x, y)) {
            ++inside;
            changed += clipped[i] != kBackground;
            ASSERT_TRUE(Near(clipped[i], unclipped[i])) << c.name << " inside at " << x << ", " << y;
          } else {
            ASSERT_EQ(clipped[i], kBackground) << c.name << " leaked to " << x << ", " << y;
          }
        }
      }
      EXPECT_GT(changed, inside / 10) << c.name;
    }
  }
}

// Marks scattered over a large picture are left out when their box cannot meet the clip,
// and drawn as if unclipped when it lies wholly inside. Either answer may be the cautious
// one (a box that only comes near the clip may meet it; one that is in fact inside need not
// be known to be), never the wrong one, wherever the box lies (off the bitmap too) and
// however small it is.
TEST(ClipMask, RulesBoxesOutOrInOnlyWhenTheyAreSo) {
  constexpr int kW = 61, kH = 37;  // not multiples of the cells' size
  const cairo_rectangle_int_t rects[] = {{3, 2, 1, 1}, {20, 9, 9, 3}, {40, 30, 21, 7}, {8, 24, 2, 13}, {0, 8, 17, 16}};
  cairo_region_t* region = cairo_region_create_rectangles(rects, 5);
  const detail::ClipMask mask(region, kW, kH);
  ASSERT_TRUE(mask.IsValid());
  const auto inClip = [&](int x, int y) { return cairo_region_contains_point(region, x, y) != 0; };
  std::mt19937 random(7);
  std::uniform_int_distribution<int> corner(-12, 70), size(0, 14);
  int ruledOut = 0, ruledIn = 0;
  for (int i = 0; i < 20000; ++i) {
    const int x0 = corner(random), y0 = corner(random), x1 = x0 + size(random), y1 = y0 + size(random);
    bool meets = false, inside = true;
    for (int y = std::max(y0, 0); y < std::min(y1, kH); ++y) {
      for (int x = std::max(x0, 0); x < std::min(x1, kW); ++x) (inClip(x, y) ? meets : inside) = inClip(x, y);
    }
    const detail::ClipMask::Share share = mask.ShareOf(x0, y0, x1, y1);
    ASSERT_EQ(mask.MayMeet(x0, y0, x1, y1), share != detail::ClipMask::Share::kNone);
    const bool may = share != detail::ClipMask::Share::kNone, holds = share == detail::ClipMask::Share::kAll;
    ASSERT_TRUE(!meets || may) << x0 << "," << y0 << " to " << x1 << "," << y1 << " meets the clip";
    ASSERT_TRUE(inside || !holds) << x0 << "," << y0 << " to " << x1 << "," << y1 << " has a pixel outside";
    ruledOut += may ? 0 : 1;
    ruledIn += holds && meets ? 1 : 0;
  }
  EXPECT_GT(ruledOut, 10000) << "the test must rule out most boxes, or it shows nothing";
  EXPECT_GT(ruledIn, 50) << "the test must rule some boxes in, or it shows nothing";
  using Share = detail::ClipMask::Share;
  EXPECT_EQ(mask.ShareOf(30, 20, 38, 28), Share::kNone);   // a whole cell of nothing
  EXPECT_EQ(mask.ShareOf(3, 2, 4, 3), Share::kSome);       // the single pixel, in a cell not full
  EXPECT_EQ(mask.ShareOf(1, 9, 15, 23), Share::kAll);      // within whole cells inside the large rectangle
  EXPECT_EQ(mask.ShareOf(56, 32, 70, 45), Share::kAll);    // the part on the bitmap is inside
  EXPECT_EQ(mask.ShareOf(3, 2, 5, 3), Share::kSome);       // one pixel in, one out
  EXPECT_EQ(mask.ShareOf(62, 10, 70, 20), Share::kNone);   // no pixel on the bitmap
  cairo_region_destroy(region);
}
}  // namespace
}  // namespace quillgate::graphics
