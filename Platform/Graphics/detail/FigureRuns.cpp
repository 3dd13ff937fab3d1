#include "Platform/Graphics/detail/FigureRuns.h"

#include "Platform/Graphics/detail/Geometry.h"

#include <algorithm>
#include <cmath>

namespace quillgate::graphics::detail {

namespace {

bool Meets(const PixelBox& a, const PixelBox& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

// End of the figure that starts at `begin`, as AppendPath in Graphics.cpp walks it.
std::size_t FigureEnd(std::span<const BYTE> types, std::size_t begin, std::size_t n, bool& closed, std::size_t& segments) {
  std::size_t i = begin + 1;
  closed = (types[begin] & PathPointTypeCloseSubpath) != 0;
  segments = 0;
  while (i < n && !closed && (types[i] & PathPointTypePathTypeMask) != PathPointTypeStart) {
    closed = (types[i] & PathPointTypeCloseSubpath) != 0;
    ++i;
    ++segments;
  }
  return i;
}

int ToPixel(double v) { return static_cast<int>(std::clamp(v, -kCoordinateLimit, kCoordinateLimit)); }

}  // namespace

FigureRuns GroupFigureRuns(std::span<const PointF> points, std::span<const BYTE> types, const StrokeShape& shape,
                           std::size_t maxFigures, int width, int height) {
  const std::size_t n = std::min(points.size(), types.size());
  FigureRuns result;
  std::size_t figuresInRun = 0;
  const double half = shape.width / 2;

  std::size_t i = 0;
  while (i < n) {
    bool closed = false;
    std::size_t segments = 0;
    const std::size_t begin = i;
    i = FigureEnd(types, begin, n, closed, segments);

    // The ink lies within the control polygon grown by the pen: half a width with flat,
    // square or round ends and the smooth joins inside a curve, up to the miter limit where
    // straight pieces meet; plus the pixels smoothing reaches and rounding. A line or one
    // cubic (up to three points after its start) has no joins.
    const bool joins = closed || segments > 3;
    const double reach = half * (joins && shape.miterJoins ? std::max(shape.miterLimit, 1.5) : 1.5) + 2.0;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    bool finite = true;
    for (std::size_t k = begin; k < i && finite; ++k) {
      const PointF& p = points[k];
      finite = std::isfinite(p.X) && std::isfinite(p.Y);
      const double x = Clamp(p.X), y = Clamp(p.Y);
      if (k == begin) {
        minX = maxX = x, minY = maxY = y;
      } else {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
    }
    if (!finite) continue;  // left out when the path is handed over, so it draws nothing
    const PixelBox box{std::max(ToPixel(std::floor(minX - reach)), 0), std::max(ToPixel(std::floor(minY - reach)), 0),
                       std::min(ToPixel(std::ceil(maxX + reach)), width),
                       std::min(ToPixel(std::ceil(maxY + reach)), height)};

    bool joinsRun = !result.runs.empty() && figuresInRun < maxFigures;
    if (joinsRun && !shape.mayOverlap) {
      const auto first = result.boxes.begin() + static_cast<std::ptrdiff_t>(result.runs.back().boxBegin);
      joinsRun = std::none_of(first, result.boxes.end(), [&](const PixelBox& b) { return Meets(b, box); });
    }
    if (!joinsRun) {
      result.runs.push_back({begin, begin, result.boxes.size(), result.boxes.size()});
      figuresInRun = 0;
    }
    FigureRun& run = result.runs.back();
    // Figures left out in between are harmless: AppendPath skips them too.
    run.end = i;
    ++figuresInRun;
    if (box.x0 < box.x1 && box.y0 < box.y1) result.boxes.push_back(box);
    run.boxEnd = result.boxes.size();
  }
  return result;
}

}  // namespace quillgate::graphics::detail
