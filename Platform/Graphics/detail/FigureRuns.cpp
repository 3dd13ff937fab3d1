#include "Platform/Graphics/detail/FigureRuns.h"

#include "Platform/Graphics/detail/Geometry.h"

#include <algorithm>
#include <cmath>

namespace quillgate::graphics::detail {

namespace {

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

bool Empty(const PixelBox& b) { return b.x0 >= b.x1 || b.y0 >= b.y1; }

}  // namespace

void OverlapLayers::Start(int width, int height) {
  const int columns = (width + kCell - 1) / kCell, rows = (height + kCell - 1) / kCell;
  if (columns != columns_ || rows != rows_ || epoch_ == 0xFFFFFFFFu) {
    columns_ = columns, rows_ = rows, epoch_ = 0;
    cells_.assign(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), 0);
  }
  ++epoch_;
}

std::size_t OverlapLayers::EarliestRun(const PixelBox& box) const {
  std::size_t earliest = 0;
  for (int cy = box.y0 / kCell; cy <= (box.y1 - 1) / kCell; ++cy) {
    const std::uint64_t* row = cells_.data() + static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns_);
    for (int cx = box.x0 / kCell; cx <= (box.x1 - 1) / kCell; ++cx) {
      const std::uint64_t cell = row[cx];
      if ((cell >> 32) == epoch_) earliest = std::max<std::size_t>(earliest, cell & 0xFFFFFFFFu);
    }
  }
  return earliest;
}

void OverlapLayers::Place(const PixelBox& box, std::size_t run) {
  const std::uint64_t value = static_cast<std::uint64_t>(epoch_) << 32 | static_cast<std::uint64_t>(run + 1);
  for (int cy = box.y0 / kCell; cy <= (box.y1 - 1) / kCell; ++cy) {
    std::uint64_t* row = cells_.data() + static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns_);
    for (int cx = box.x0 / kCell; cx <= (box.x1 - 1) / kCell; ++cx) row[cx] = value;
  }
}

FigureRuns GroupFigureRuns(std::span<const PointF> points, std::span<const BYTE> types, const StrokeShape& shape,
                           RunGrouping grouping, std::size_t maxFigures, int width, int height, OverlapLayers& layers) {
  const std::size_t n = std::min(points.size(), types.size());
  FigureRuns result;
  const double half = shape.width / 2;
  if (grouping == RunGrouping::kDisjoint) layers.Start(width, height);

  std::size_t i = 0;
  while (i < n) {
    bool closed = false;
    std::size_t segments = 0;
    const std::size_t begin = i;
    i = FigureEnd(types, begin, n, closed, segments);

    // The ink lies within the control polygon grown by the pen: half a width with flat,
    // square or round ends and the smooth joins inside a curve, up to the miter limit where
    // straight pieces meet; plus the pixel that smoothing and rounding reach. A line or one
    // cubic (up to three points after its start) has no joins.
    const bool joins = closed || segments > 3;
    const double reach = half * (joins && shape.miterJoins ? std::max(shape.miterLimit, 1.5) : 1.5) + 1.0;
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
    if (Empty(box)) continue;  // wholly off the target: nothing to paint
    const std::size_t index = result.figures.size();
    result.figures.push_back({begin, i, box});

    std::size_t run = 0;
    switch (grouping) {
      case RunGrouping::kOneShape: run = 0; break;
      case RunGrouping::kOneByOne: run = result.runs.size(); break;
      case RunGrouping::kDisjoint:
        run = layers.EarliestRun(box);
        while (run < result.runs.size() && result.runs[run].figures.size() >= maxFigures) ++run;
        layers.Place(box, run);
        break;
    }
    if (run >= result.runs.size()) result.runs.resize(run + 1);
    result.runs[run].figures.push_back(index);
  }
  return result;
}

}  // namespace quillgate::graphics::detail
