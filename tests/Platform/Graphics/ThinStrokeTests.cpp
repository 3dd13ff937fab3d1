// One-pixel opaque strokes along small figures are rasterised straight into the pixels
// rather than by Cairo. They must keep the pen's width, end square at open ends, close
// without gaps, and agree with Cairo's strokes in how much ink they lay down.
#include "Platform/Graphics/Gdiplus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace quillgate::graphics {
namespace {

constexpr int kW = 48;
constexpr int kH = 40;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

struct Picture {
  std::vector<std::uint32_t> pixels;
  [[nodiscard]] std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * kW + x)]; }
  // Ink in pixels' worth: how far each pixel's green channel fell from white.
  [[nodiscard]] double Ink() const {
    double sum = 0;
    for (const std::uint32_t p : pixels) sum += (255.0 - static_cast<double>((p >> 8) & 0xFF)) / 255.0;
    return sum;
  }
  [[nodiscard]] int Touched() const {
    int n = 0;
    for (const std::uint32_t p : pixels) n += p != kWhite ? 1 : 0;
    return n;
  }
};

void DrawBezier(Graphics& g, const Pen& pen, PointF a, PointF b, PointF c, PointF d) {
  GraphicsPath path;
  path.AddBezier(a, b, c, d);
  g.DrawPath(&pen, &path);
}

Picture Draw(SmoothingMode mode, const std::function<void(Graphics&)>& draw) {
  testing::Canvas canvas(kW, kH, mode);
  canvas.g.Clear(Color(kWhite));
  draw(canvas.g);
  return {canvas.bitmap.CopyArgb()};
}

TEST(ThinStroke, ClosedFiguresHaveNoGapsAndNoCaps) {
  const Pen black(Color(0xFF000000), 1.0f);
  for (const SmoothingMode mode : {SmoothingModeAntiAlias, SmoothingModeNone}) {
    // Smoothed drawing has pixel centres on whole coordinates, aliased drawing at halves: the
    // square is placed for the aliased grid, moved by this much when smoothing.
    const float s = mode == SmoothingModeAntiAlias ? -0.5f : 0.0f;
    const Picture p = Draw(mode, [&](Graphics& g) {
      GraphicsPath square;
      square.AddRectangle(RectF(5.5f + s, 5.5f + s, 10.0f, 10.0f));
      g.DrawPath(&black, &square);
    });
    for (int y = 4; y <= 16; ++y) {
      for (int x = 4; x <= 16; ++x) {
        const bool border = (x >= 5 && x <= 15 && (y == 5 || y == 15)) || (y >= 5 && y <= 15 && (x == 5 || x == 15));
        EXPECT_EQ(p.At(x, y), border ? 0xFF000000u : kWhite) << "mode " << mode << " at " << x << "," << y;
      }
    }
  }
}

TEST(ThinStroke, LaysDownAboutTheInkOfCairosStrokes) {
  // A pen one level short of opaque goes through Cairo; the opaque one does not.
  const Pen opaque(Color(0xFF000000), 1.0f), cairo(Color(0xFE000000), 1.0f);
  const PointF curls[][4] = {{{3, 30}, {9, 2}, {20, 38}, {30, 8}},
                             {{4.3f, 7.7f}, {31.2f, 7.9f}, {2.2f, 21.4f}, {25.6f, 33.1f}},
                             {{10, 10}, {12, 11}, {13, 10.5f}, {15, 12}}};
  for (const SmoothingMode mode : {SmoothingModeAntiAlias, SmoothingModeNone}) {
    for (const auto& c : curls) {
      const Picture ours = Draw(mode, [&](Graphics& g) { DrawBezier(g, opaque, c[0], c[1], c[2], c[3]); });
      const Picture theirs = Draw(mode, [&](Graphics& g) { DrawBezier(g, cairo, c[0], c[1], c[2], c[3]); });
      EXPECT_NEAR(ours.Ink(), theirs.Ink(), 0.12 * theirs.Ink() + 1.0) << "mode " << mode << " from " << c[0].X;
    }
    // Marks go this way however large: a curl across the whole picture, in pieces the
    // clip partly hides.
    const PointF large[] = {{-20, 35}, {30, -40}, {10, 90}, {70, 2}};
    const Picture ours = Draw(mode, [&](Graphics& g) {
      g.SetClip(RectF(0, 0, 30, kH));
      g.DrawBezierMarks(&opaque, large);
    });
    const Picture theirs = Draw(mode, [&](Graphics& g) {
      g.SetClip(RectF(0, 0, 30, kH));
      DrawBezier(g, cairo, large[0], large[1], large[2], large[3]);
    });
    EXPECT_GT(theirs.Ink(), 20.0);
    EXPECT_NEAR(ours.Ink(), theirs.Ink(), 0.12 * theirs.Ink() + 1.0) << "mode " << mode << " a large mark";
  }
}

TEST(ThinStroke, MarksOffTheBitmapOrOfNoLengthDrawNothing) {
  const Pen black(Color(0xFF000000), 1.0f);
  const Picture p = Draw(SmoothingModeAntiAlias, [&](Graphics& g) {
    g.DrawLine(&black, -20.0f, 5.0f, -2.0f, 9.0f);
    g.DrawLine(&black, 60.0f, 5.0f, 70.0f, 9.0f);
    g.DrawLine(&black, 10.0f, 10.0f, 10.0f, 10.0f);
    DrawBezier(g, black, {1e30f, 1e30f}, {1e30f, 1e30f}, {1e30f, 1e30f}, {1e30f, 1e30f});
    g.DrawLine(&black, -1e30f, 5.0f, -1e30f, 9.0f);
  });
  EXPECT_EQ(p.Touched(), 0);
  // A mark across the edge keeps its part on the bitmap.
  const Picture edge = Draw(SmoothingModeAntiAlias, [&](Graphics& g) { g.DrawLine(&black, -5.0f, 3.0f, 4.5f, 3.0f); });
  EXPECT_EQ(edge.Touched(), 5);
}

}  // namespace
}  // namespace quillgate::graphics
