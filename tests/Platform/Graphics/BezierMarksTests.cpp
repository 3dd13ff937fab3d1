// DrawBezierMarks draws the marks of one-pixel pens straight into the pixels, in stretches,
// passing over pieces the clip hides, and hands the others to Cairo many at once, blending
// their coverage through the clip's pixels. It must give exactly the pixels that the same
// marks give drawn one call each without a clip, kept where the clip takes the pixel in
// and untouched elsewhere.
#include "Platform/Graphics/Gdiplus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace quillgate::graphics {
namespace {

constexpr int kW = 80;
constexpr int kH = 40;

// Opaque and translucent pixels of many values, so that every blend is exercised.
void Paint(Bitmap& b) {
  const int w = static_cast<int>(b.GetWidth()), h = static_cast<int>(b.GetHeight());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const auto a = static_cast<ARGB>(x < 50 ? 255 : 60 + 4 * y % 196);
      b.SetPixel(x, y, Color(a << 24 | static_cast<ARGB>(x * 3 % 256) << 16 | static_cast<ARGB>(y * 6 % 256) << 8 | 0x5A));
    }
  }
}

struct Lcg {
  std::uint32_t seed;
  float Next(float lo, float hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(seed >> 8) / static_cast<float>(1u << 24);
  }
};

// Marks of four points each (start, two controls, end): small curls, curls too large to
// draw straight into the pixels, straight lines reaching far off the bitmap, and one with a
// point that is not a number.
std::vector<PointF> Marks(std::uint32_t seed, int count) {
  Lcg r{seed};
  std::vector<PointF> points;
  for (int i = 0; i < count; ++i) {
    const float x = r.Next(-5, kW + 5), y = r.Next(-5, kH + 5);
    if (i % 4 == 2) {  // a straight line: controls on it
      const float a = r.Next(0, 6.28f), dx = 888 * std::cos(a), dy = 888 * std::sin(a);
      for (const float t : {0.0f, 1.0f / 3, 2.0f / 3, 1.0f}) points.emplace_back(x + t * dx, y + t * dy);
      continue;
    }
    const float reach = i % 7 == 0 ? 60.0f : 5.0f;
    PointF p[4] = {PointF(x, y), PointF(x + r.Next(-reach, reach), y + r.Next(-3, 3)),
                   PointF(x + r.Next(-reach, reach), y + r.Next(-3, 3)), PointF(x + r.Next(-reach, reach), y)};
    if (i == 50) p[2].X = std::nanf("");
    points.insert(points.end(), p, p + 4);
  }
  return points;
}

// A clip of many rectangles: a checkerboard of 3 x 2 cells with holes.
Region ManyRectangles() {
  Region region;
  region.MakeEmpty();
  for (int y = 0; y < kH; y += 2) {
    for (int x = (y / 2) % 2 * 3; x < kW; x += 6) region.Union(RectF(static_cast<float>(x), static_cast<float>(y), 3, 2));
  }
  region.Exclude(RectF(30, 10, 12, 9));
  return region;
}

using Drawer = std::function<void(Graphics&)>;

// `fast` drawn under `clip` against `reference` drawn without a clip, kept only inside, on
// a bitmap w x h.
void ExpectSamePixels(const Drawer& fast, const Drawer& reference, const Region* clip, SmoothingMode mode,
                      int w = kW, int h = kH) {
  Bitmap original(w, h);
  testing::Canvas expected(w, h, mode), actual(w, h, mode);
  for (Bitmap* bitmap : {&original, &expected.bitmap, &actual.bitmap}) Paint(*bitmap);
  reference(expected.g);
  if (clip != nullptr) actual.g.SetClip(clip);
  fast(actual.g);
  const auto before = original.CopyArgb();
  const auto want = expected.bitmap.CopyArgb(), got = actual.bitmap.CopyArgb();
  int changed = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * w + x);
      const bool inside = clip == nullptr || clip->IsVisible(x, y);
      ASSERT_EQ(got[i], inside ? want[i] : before[i]) << "pixel " << x << "," << y << (inside ? " inside" : " outside");
      changed += got[i] != before[i];
    }
  }
  EXPECT_GT(changed, 20) << "the case must draw something";
}

// The marks drawn in one call, without a clip and under `clip`, against each drawn alone.
void ExpectMarksPaintWhatOneByOnePaints(const std::vector<PointF>& points, const Pen& pen,
                                        const Region& clip, SmoothingMode mode, int w = kW,
                                        int h = kH) {
  const Drawer marks = [&](Graphics& g) { ASSERT_EQ(g.DrawBezierMarks(&pen, points), Ok); };
  const Drawer oneByOne = [&](Graphics& g) {
    for (std::size_t i = 0; i < points.size(); i += 4) {
      g.DrawBezierMarks(&pen, std::span(points).subspan(i, 4));
    }
  };
  ExpectSamePixels(marks, oneByOne, nullptr, mode, w, h);
  ExpectSamePixels(marks, oneByOne, &clip, mode, w, h);
}

TEST(BezierMarks, ManyMarksAtOncePaintWhatOneByOnePaints) {
  const Region clip = ManyRectangles();
  for (const SmoothingMode mode : {SmoothingModeAntiAlias, SmoothingModeNone}) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      const std::vector<PointF> points = Marks(seed, 60 + 20 * static_cast<int>(seed % 5));
      const Pen pen(Color(0xFF000000u | seed * 0x3A5F17u), seed % 2 ? 1.0f : 2.0f);
      SCOPED_TRACE(::testing::Message() << "mode " << mode << " seed " << seed);
      ExpectMarksPaintWhatOneByOnePaints(points, pen, clip, mode);
    }
  }
}

// Without smoothing the marks of a plain pen are drawn in order of place, not in the order
// given, which only their union may show: over a picture wider than the strips the marks
// are put in, and over one so tall that the marks share bands of rows, with marks wholly
// inside the clip, wholly outside it and across its edge.
TEST(BezierMarks, WithoutSmoothingMarksInAnyOrderPaintTheirUnion) {
  struct Case {
    int width, height, marks;
  };
  for (const Case c : {Case{1300, 30, 600}, Case{700, 900, 40}}) {
    const auto w = static_cast<float>(c.width), h = static_cast<float>(c.height);
    Region clip(RectF(0, 0, w, h));
    for (int x = 100; x < c.width; x += 150) clip.Exclude(RectF(static_cast<float>(x), 5, 40, 12));
    Lcg r{99};
    std::vector<PointF> points;
    for (int i = 0; i < c.marks; ++i) {
      const float x = r.Next(-20, w + 20), y = r.Next(-4, h + 4);
      const float reach = i % 9 == 0 ? 70.0f : 6.0f;
      for (int k = 0; k < 4; ++k) points.emplace_back(x + r.Next(-reach, reach), y + r.Next(-4, 4));
    }
    for (const float width : {1.0f, 3.0f}) {
      SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", pen width " << width);
      const Pen pen(Color(0xFF1F3F5Fu), width);
      ExpectMarksPaintWhatOneByOnePaints(points, pen, clip, SmoothingModeNone, c.width, c.height);
    }
  }
}

}  // namespace
}  // namespace quillgate::graphics
