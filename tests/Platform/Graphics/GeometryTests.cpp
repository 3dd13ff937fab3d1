// The geometry under paths, regions and aliased fills: curves flattened within tolerance,
// exact bounds, far or broken coordinates tamed, and spans that hold exactly the pixels
// whose sample point lies inside.
#include "Platform/Graphics/detail/Geometry.h"

#include "Platform/Graphics/Matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace quillgate::graphics::detail {
namespace {

constexpr BYTE kS = PathPointTypeStart, kL = PathPointTypeLine, kB = PathPointTypeBezier;
constexpr BYTE kC = PathPointTypeCloseSubpath;
constexpr BYTE kCubic[] = {kS, kB, kB, kB};
// An S doubling back past both its ends, a loop, a straight one with its handles on its ends, a wide arc.
constexpr PointF kCurves[][4] = {{{0, 0}, {200, 30}, {-150, 60}, {50, 90}},
                                 {{10, 10}, {90, 80}, {-10, 80}, {70, 10}},
                                 {{0, 0}, {0, 0}, {50, 50}, {50, 50}},
                                 {{5, 5}, {400, 5}, {400, 300}, {5, 300}}};

Pt On(const PointF (&c)[4], double t) {
  const double s = 1 - t, a = s * s * s, b = 3 * s * s * t, d = 3 * s * t * t, e = t * t * t;
  return {a * c[0].X + b * c[1].X + d * c[2].X + e * c[3].X, a * c[0].Y + b * c[1].Y + d * c[2].Y + e * c[3].Y};
}

double Distance(Pt p, const std::vector<Pt>& line) {
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    const Pt a = line[i], b = line[i + 1];
    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
  }
  return best;
}

TEST(Geometry, CurvesFlattenWithinTheToleranceAndHaveExactBounds) {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  EXPECT_FALSE(CurveBounds({}, {}, nullptr, x0, y0, x1, y1));
  for (const auto& curve : kCurves) {
    std::vector<Pt> on;
    for (int k = 0; k <= 20000; ++k) on.push_back(On(curve, k / 20000.0));
    for (const double tolerance : {0.05, 0.25, 1.0, 4.0}) {
      const std::vector<Pt> points = FlattenFigures(curve, kCubic, nullptr, tolerance).at(0).points;
      EXPECT_TRUE(points.front().x == curve[0].X && points.back().y == curve[3].Y);
      double worst = 0;
      for (std::size_t k = 0; k < on.size(); k += 5) worst = std::max(worst, Distance(on[k], points));
      EXPECT_LE(worst, tolerance) << curve[1].X << " at tolerance " << tolerance;
    }
    ASSERT_TRUE(CurveBounds(curve, kCubic, nullptr, x0, y0, x1, y1));
    const auto [left, right] = std::ranges::minmax(on, {}, &Pt::x);
    const auto [top, bottom] = std::ranges::minmax(on, {}, &Pt::y);
    EXPECT_LT(std::max({x0 - left.x, y0 - top.y, right.x - x1, bottom.y - y1}), 1e-6) << curve[1].X;   // holds it
    EXPECT_GT(std::min({x0 - left.x, y0 - top.y, right.x - x1, bottom.y - y1}), -1e-4) << curve[1].X;  // tightly
  }
  // Tolerances below the least (or none) flatten as the least does; a huge curve at the
  // finest still gives a bounded number of points.
  const auto finest = FlattenFigures(kCurves[3], kCubic, nullptr, 0.01).at(0).points.size();
  for (const double tolerance : {0.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(FlattenFigures(kCurves[3], kCubic, nullptr, tolerance).at(0).points.size(), finest) << tolerance;
  }
  const PointF huge[] = {{0, 0}, {4e6f, 0}, {4e6f, 4e6f}, {0, 4e6f}};
  EXPECT_LE(FlattenFigures(huge, kCubic, nullptr, 0).at(0).points.size(), 1024u);
}

TEST(Geometry, BrokenFiguresAreDroppedAndFarOnesClamped) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
  constexpr double kMax = kCoordinateLimit;
  const Matrix scale(1e4f, 0, 0, 1e4f, 0, 0);
  const struct {
    std::vector<PointF> points;
    std::vector<BYTE> types;
    const Matrix* matrix;
    std::vector<double> kept;  // x, y of each point kept, then 1 for a closed figure, 0 for an open one
  } cases[] = {
      {{{0, 0}, {kNaN, 1}, {2, 2}, {5, 5}, {6, 6}}, {kS, kL, kL, kS, kL | kC}, nullptr, {5, 5, 6, 6, 1}},
      {{{1, 1}, {kInf, 0}, {3, 3}, {4, 4}, {4, 4}, {7, 8}}, {kS, kB, kB, kB, kS, kL}, nullptr, {4, 4, 7, 8, 0}},
      {{{1e9f, -1e9f}, {3, 4}}, {kS, kL}, nullptr, {kMax, -kMax, 3, 4, 0}},
      {{{1000, -2}, {0.5f, 0}}, {kS, kL | kC}, &scale, {kMax, -20000, 5000, 0, 1}},
  };
  for (const auto& c : cases) {
    std::vector<double> kept;
    for (const Polyline& line : FlattenFigures(c.points, c.types, c.matrix, 1.0)) {
      for (const Pt& p : line.points) kept.insert(kept.end(), {p.x, p.y});
      kept.push_back(line.closed ? 1 : 0);
    }
    EXPECT_EQ(kept, c.kept) << "case at " << c.points[0].X;
  }
}

// Each pixel whose sample point lies inside is in one rectangle, no other pixel is in any,
// whatever the fill rule and the window of rows.
TEST(Geometry, ScanConversionHoldsExactlyThePixelsSampledInside) {
  constexpr int kW = 40, kH = 32;
  const std::vector<Polyline> shapes[] = {
      {{{{20, 2}, {27.3, 24.1}, {8.2, 10.4}, {31.7, 10.4}, {12.6, 24.1}}, true}},  // a star crossing itself
      {{{{2.5, 2.5}, {30.2, 2.5}, {30.2, 20.7}, {2.5, 20.7}}, true},               // a rectangle holding one
       {{{10.4, 6.6}, {22.9, 6.6}, {22.9, 14.3}, {10.4, 14.3}}, false}},           // the same way round
  };
  for (const auto& shape : shapes) {
    for (const FillMode mode : {FillModeAlternate, FillModeWinding}) {
      for (const ScanWindow window : {ScanWindow{}, ScanWindow{0.5, 5, 12}}) {
        std::vector<PixelRect> rects;
        ScanConvert(shape, mode, rects, window);
        std::vector<int> count(kW * kH);
        for (const PixelRect& r : rects) {
          ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.width <= kW && r.y + r.height <= kH);
          for (int y = r.y; y < r.y + r.height; ++y) {
            for (int x = r.x; x < r.x + r.width; ++x) ++count[y * kW + x];
          }
        }
        for (int i = 0; i < kW * kH; ++i) {
          const double x = i % kW + window.sampleOffset, y = i / kW + window.sampleOffset;
          const bool inRows = i / kW >= window.firstRow && i / kW <= window.lastRow;
          ASSERT_EQ(count[i], inRows && PointInside(shape, mode, x, y) ? 1 : 0) << mode << " at " << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillgate::graphics::detail
