// DrawFigures hands many separate figures to Cairo at once and blends their coverage
// through the clip's pixels. It must give exactly the pixels that Cairo gives for the same
// figures drawn one by one without a clip, kept where the clip takes the pixel in and
// untouched elsewhere.
#include "Platform/Graphics/Gdiplus.h"

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
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const auto a = static_cast<ARGB>(x < 50 ? 255 : 60 + 4 * y);
      b.SetPixel(x, y, Color(a << 24 | static_cast<ARGB>(x * 3) << 16 | static_cast<ARGB>(y * 6) << 8 | 0x5A));
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

// Small curls, long lines reaching far off the bitmap, and closed ellipses.
GraphicsPath Marks(std::uint32_t seed, int count) {
  Lcg r{seed};
  GraphicsPath path;
  for (int i = 0; i < count; ++i) {
    path.StartFigure();
    const float x = r.Next(-5, kW + 5), y = r.Next(-5, kH + 5);
    switch (i % 4) {
      case 0:
      case 1:
        path.AddBezier(PointF(x, y), PointF(x + r.Next(-4, 4), y + r.Next(-3, 3)),
                       PointF(x + r.Next(-4, 4), y + r.Next(-3, 3)), PointF(x + r.Next(-6, 6), y + r.Next(-2, 2)));
        break;
      case 2: {
        const float a = r.Next(0, 6.28f);
        path.AddLine(PointF(x, y), PointF(x + 888 * std::cos(a), y + 888 * std::sin(a)));
        break;
      }
      default: path.AddEllipse(RectF(x, y, r.Next(0, 9), r.Next(0, 9))); break;
    }
  }
  return path;
}

// Each figure as a path of its own.
std::vector<GraphicsPath> Figures(const GraphicsPath& path) {
  std::vector<GraphicsPath> figures;
  const auto points = path.Points();
  const auto types = path.Types();
  std::size_t begin = 0;
  for (std::size_t i = 1; i <= points.size(); ++i) {
    if (i == points.size() || (types[i] & PathPointTypePathTypeMask) == PathPointTypeStart) {
      figures.emplace_back(points.subspan(begin, i - begin), types.subspan(begin, i - begin));
      begin = i;
    }
  }
  return figures;
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

// `fast` drawn under `clip` against `reference` drawn without a clip, kept only inside.
void ExpectSamePixels(const Drawer& fast, const Drawer& reference, const Region* clip, SmoothingMode mode) {
  Bitmap original(kW, kH), expected(kW, kH), actual(kW, kH);
  Paint(original);
  Paint(expected);
  Paint(actual);
  {
    Graphics g(&expected);
    g.SetSmoothingMode(mode);
    reference(g);
  }
  {
    Graphics g(&actual);
    g.SetSmoothingMode(mode);
    if (clip != nullptr) g.SetClip(clip);
    fast(g);
  }
  const auto before = original.CopyArgb(), want = expected.CopyArgb(), got = actual.CopyArgb();
  int changed = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * kW + x);
      const bool inside = clip == nullptr || clip->IsVisible(x, y);
      ASSERT_EQ(got[i], inside ? want[i] : before[i]) << "pixel " << x << "," << y << (inside ? " inside" : " outside");
      changed += got[i] != before[i];
    }
  }
  EXPECT_GT(changed, 20) << "the case must draw something";
}

TEST(DrawFigures, ManyFiguresAtOncePaintWhatOneByOnePaints) {
  const Region clip = ManyRectangles();
  for (const SmoothingMode mode : {SmoothingModeAntiAlias, SmoothingModeNone}) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
      const GraphicsPath marks = Marks(seed, 60 + 20 * static_cast<int>(seed % 5));
      const Pen pen(Color(0xFF000000u | seed * 0x3A5F17u), seed % 2 ? 1.0f : 2.0f);
      const Drawer fast = [&](Graphics& g) { g.DrawFigures(&pen, &marks); };
      const Drawer oneByOne = [&](Graphics& g) {
        for (const GraphicsPath& figure : Figures(marks)) g.DrawPath(&pen, &figure);
      };
      SCOPED_TRACE(::testing::Message() << "mode " << mode << " seed " << seed);
      ExpectSamePixels(fast, oneByOne, nullptr, mode);
      ExpectSamePixels(fast, oneByOne, &clip, mode);
    }
  }
}

// Bezier marks handed over as bare points: small ones, ones too large to draw straight
// into the pixels, and one with a point that is not a number among them.
TEST(DrawFigures, BezierMarksPaintWhatTheirFiguresPaint) {
  const Region clip = ManyRectangles();
  for (const SmoothingMode mode : {SmoothingModeAntiAlias, SmoothingModeNone}) {
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
      Lcg r{seed};
      std::vector<PointF> points;
      GraphicsPath figures;
      for (int i = 0; i < 120; ++i) {
        const float reach = i % 7 == 0 ? 60.0f : 5.0f;
        const float x = r.Next(-5, kW + 5), y = r.Next(-5, kH + 5);
        PointF p[4] = {PointF(x, y), PointF(x + r.Next(-reach, reach), y + r.Next(-3, 3)),
                       PointF(x + r.Next(-reach, reach), y + r.Next(-3, 3)), PointF(x + r.Next(-reach, reach), y)};
        if (i == 50) p[2].X = std::nanf("");
        points.insert(points.end(), p, p + 4);
        figures.StartFigure();
        figures.AddBezier(p[0], p[1], p[2], p[3]);
      }
      const Pen pen(Color(0xFF000000u | seed * 0x3A5F17u), seed % 3 == 0 ? 2.0f : 1.0f);
      const Drawer marks = [&](Graphics& g) { ASSERT_EQ(g.DrawBezierMarks(&pen, points), Ok); };
      const Drawer asFigures = [&](Graphics& g) { g.DrawFigures(&pen, &figures); };
      SCOPED_TRACE(::testing::Message() << "mode " << mode << " seed " << seed);
      ExpectSamePixels(marks, asFigures, nullptr, mode);
      ExpectSamePixels(marks, asFigures, &clip, mode);
    }
  }
  Bitmap bitmap(4, 4);
  Graphics g(&bitmap);
  const Pen pen(Color(0xFF000000u), 1.0f);
  const std::vector<PointF> three(3);
  EXPECT_EQ(g.DrawBezierMarks(&pen, three), InvalidParameter) << "not a whole number of marks";
  EXPECT_EQ(g.DrawBezierMarks(nullptr, {}), InvalidParameter);
  EXPECT_EQ(g.DrawBezierMarks(&pen, {}), Ok);
}

}  // namespace
}  // namespace quillgate::graphics
