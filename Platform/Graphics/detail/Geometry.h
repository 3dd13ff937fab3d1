#pragma once
// Geometry shared by paths, regions and drawing: flattening to polylines, exact bounds,
// scan conversion to pixel spans, and taming of absurd coordinates.

#include "Platform/Graphics/GraphicsTypes.h"

#include <limits>
#include <span>
#include <vector>

namespace quillgate::graphics {
class Matrix;
}

namespace quillgate::graphics::detail {

// Coordinates beyond this are clamped before rasterising: the fixed-point rasterisers and
// the region code work well inside it, and nothing drawn on a real bitmap lies further out.
inline constexpr double kCoordinateLimit = 4194304.0;  // 2^22

struct Pt {
  double x = 0;
  double y = 0;
};

struct Polyline {
  std::vector<Pt> points;
  bool closed = false;
};

// Curves become line segments no further than `tolerance` from them (tolerance clamped to
// at least 0.01; a curve gives at most a bounded number of segments). `matrix` may be null.
// Figures with non-finite points are dropped; coordinates are clamped to the limit.
std::vector<Polyline> FlattenFigures(std::span<const PointF> points, std::span<const BYTE> types,
                                     const Matrix* matrix, double tolerance);

// Exact bounds of lines and cubic curves. False for an empty path.
bool CurveBounds(std::span<const PointF> points, std::span<const BYTE> types, const Matrix* matrix,
                 double& minX, double& minY, double& maxX, double& maxY);

// Half-open pixel spans [x0, x1) of row y.
struct Span {
  int x0;
  int x1;
};

// Pixel rectangles (banded, rows with equal spans merged) covering the pixels whose sample
// point (c + 0.03, r + 0.03) lies inside the polylines (all treated as closed) under the
// fill mode. Appends to `out` as x, y, width, height.
struct PixelRect {
  int x, y, width, height;
};
// Where a pixel is sampled and which rows are wanted. Regions sample just right of and below
// the pixel's corner; aliased fills sample the pixel's centre (0.5) and only need the rows
// of the bitmap.
struct ScanWindow {
  double sampleOffset = 0.03;
  int firstRow = std::numeric_limits<int>::min();
  int lastRow = std::numeric_limits<int>::max();
};
void ScanConvert(const std::vector<Polyline>& figures, FillMode fillMode, std::vector<PixelRect>& out,
                 const ScanWindow& window = {});

// Whether the point lies inside the polylines under the fill mode.
bool PointInside(const std::vector<Polyline>& figures, FillMode fillMode, double x, double y);

// First pixel column (or row) whose sample point is at or after coordinate v.
int SampleEdge(double v);

inline double Clamp(double v) {
  return v < -kCoordinateLimit ? -kCoordinateLimit : (v > kCoordinateLimit ? kCoordinateLimit : v);
}

}  // namespace quillgate::graphics::detail
