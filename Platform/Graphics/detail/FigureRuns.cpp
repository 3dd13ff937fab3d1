#include "Platform/Graphics/detail/FigureRuns.h"

#include "Platform/Graphics/detail/ClipMask.h"
#include "Platform/Graphics/detail/Geometry.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quillgate::graphics::detail {

namespace {

int ToPixel(double v) { return static_cast<int>(std::clamp(v, -kCoordinateLimit, kCoordinateLimit)); }

bool Empty(const PixelBox& b) { return b.x0 >= b.x1 || b.y0 >= b.y1; }

}  // namespace

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

void OverlapLayers::Start(int width, int height) {
  // Boxes reach one pixel beyond the target on each side.
  const int columns = (width + 2 + kCell - 1) / kCell, rows = (height + 2 + kCell - 1) / kCell;
  if (columns != columns_ || rows != rows_ || epoch_ == 0xFFFFFFFFu) {
    columns_ = columns, rows_ = rows, epoch_ = 0;
    cells_.assign(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), 0);
    stamps_.assign(cells_.size(), 0);
    masks_.assign(cells_.size(), 0);
  }
  ++epoch_;
}

void OverlapLayers::NewBlock() {
  if (epoch_ == 0xFFFFFFFFu) {
    epoch_ = 0;
    std::fill(cells_.begin(), cells_.end(), 0);
    std::fill(stamps_.begin(), stamps_.end(), 0);
  }
  ++epoch_;
}

std::uint64_t OverlapLayers::Occupied(const PixelBox& box) const {
  std::uint64_t occupied = 0;
  for (int cy = (box.y0 + 1) / kCell; cy <= box.y1 / kCell; ++cy) {
    const std::size_t row = static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns_);
    for (int cx = (box.x0 + 1) / kCell; cx <= box.x1 / kCell; ++cx) {
      if (stamps_[row + static_cast<std::size_t>(cx)] == epoch_) occupied |= masks_[row + static_cast<std::size_t>(cx)];
    }
  }
  return occupied;
}

void OverlapLayers::Occupy(const PixelBox& box, int runInBlock) {
  const std::uint64_t bit = std::uint64_t{1} << runInBlock;
  for (int cy = (box.y0 + 1) / kCell; cy <= box.y1 / kCell; ++cy) {
    const std::size_t row = static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns_);
    for (int cx = (box.x0 + 1) / kCell; cx <= box.x1 / kCell; ++cx) {
      const std::size_t i = row + static_cast<std::size_t>(cx);
      if (stamps_[i] != epoch_) stamps_[i] = epoch_, masks_[i] = 0;
      masks_[i] |= bit;
    }
  }
}

std::size_t OverlapLayers::EarliestRun(const PixelBox& box) const {
  std::size_t earliest = 0;
  for (int cy = (box.y0 + 1) / kCell; cy <= box.y1 / kCell; ++cy) {
    const std::uint64_t* row = cells_.data() + static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns_);
    for (int cx = (box.x0 + 1) / kCell; cx <= box.x1 / kCell; ++cx) {
      const std::uint64_t cell = row[cx];
      if ((cell >> 32) == epoch_) earliest = std::max<std::size_t>(earliest, cell & 0xFFFFFFFFu);
    }
  }
  return earliest;
}

void OverlapLayers::Place(const PixelBox& box, std::size_t run) {
  const std::uint64_t value = static_cast<std::uint64_t>(epoch_) << 32 | static_cast<std::uint64_t>(run + 1);
  for (int cy = (box.y0 + 1) / kCell; cy <= box.y1 / kCell; ++cy) {
    std::uint64_t* row = cells_.data() + static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns_);
    for (int cx = (box.x0 + 1) / kCell; cx <= box.x1 / kCell; ++cx) row[cx] = value;
  }
}

namespace {

// Pieces no larger than this (in pixels, each way) cover a stroke closely enough.
constexpr double kPiece = 8.0;

struct Cover {
  const StrokeShape& shape;
  double reach;
  int width, height;
  std::vector<PixelBox>& boxes;

  void Add(double minX, double minY, double maxX, double maxY) {
    // Kept one pixel beyond the target on every side: figures that both run off the same
    // edge must not share a call either (Cairo cuts them at the edge, and the cut pieces
    // of overlapping figures set target pixels that neither sets alone).
    const PixelBox box{std::max(ToPixel(std::floor(minX - reach)), -1), std::max(ToPixel(std::floor(minY - reach)), -1),
                       std::min(ToPixel(std::ceil(maxX + reach)), width + 1),
                       std::min(ToPixel(std::ceil(maxY + reach)), height + 1)};
    if (!Empty(box) && box.x1 > 0 && box.y1 > 0 && box.x0 < width && box.y0 < height) boxes.push_back(box);
  }

  void Line(Pt a, Pt b) {
    const double length = std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y));
    const int pieces = static_cast<int>(std::min(std::ceil(length / kPiece), 4096.0));
    if (pieces <= 1) {
      Add(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
      return;
    }
    for (int k = 0; k < pieces; ++k) {
      const double t0 = static_cast<double>(k) / pieces, t1 = static_cast<double>(k + 1) / pieces;
      const Pt p{a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0}, q{a.x + (b.x - a.x) * t1, a.y + (b.y - a.y) * t1};
      Add(std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y));
    }
  }

  // The curve lies within the hull of its control points; halves of it within the hulls of
  // theirs (de Casteljau).
  void Curve(Pt p0, Pt p1, Pt p2, Pt p3, int depth) {
    const double minX = std::min({p0.x, p1.x, p2.x, p3.x}), maxX = std::max({p0.x, p1.x, p2.x, p3.x});
    const double minY = std::min({p0.y, p1.y, p2.y, p3.y}), maxY = std::max({p0.y, p1.y, p2.y, p3.y});
    if (depth == 0 || (maxX - minX <= kPiece && maxY - minY <= kPiece)) {
      Add(minX, minY, maxX, maxY);
      return;
    }
    auto mid = [](Pt a, Pt b) { return Pt{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
    const Pt a = mid(p0, p1), b = mid(p1, p2), c = mid(p2, p3), d = mid(a, b), e = mid(b, c), m = mid(d, e);
    Curve(p0, a, d, m, depth - 1);
    Curve(m, e, c, p3, depth - 1);
  }
};

}  // namespace

FigureRuns GroupFigureRuns(std::span<const PointF> points, std::span<const BYTE> types, const StrokeShape& shape,
                           RunGrouping grouping, std::size_t maxFigures, double shift, const ClipMask* clip,
                           int width, int height, OverlapLayers& layers) {
  const std::size_t n = std::min(points.size(), types.size());
  FigureRuns result;
  const double half = shape.width / 2;
  if (grouping == RunGrouping::kDisjoint || grouping == RunGrouping::kDisjointAnyOrder) layers.Start(width, height);
  // kDisjointAnyOrder: the current block of 64 runs starts at blockBase; runs of it that
  // take no more figures; figures that go alone, painted after all the others.
  std::size_t blockBase = 0;
  std::uint64_t blockClosed = 0;
  std::vector<std::size_t> alones;

  std::size_t i = 0;
  while (i < n) {
    bool closed = false;
    std::size_t segments = 0;
    const std::size_t begin = i;
    i = FigureEnd(types, begin, n, closed, segments);

    bool finite = true;
    for (std::size_t k = begin; k < i && finite; ++k) finite = std::isfinite(points[k].X) && std::isfinite(points[k].Y);
    if (!finite) continue;  // left out when the path is handed over, so it draws nothing

    // The ink lies within half a width of the lines and curves (flat, square or round ends
    // and the smooth joins inside a curve reach half a width, square ends and corners a
    // little more), up to the miter limit where straight pieces meet; plus the pixel that
    // smoothing and rounding reach (two, to be safe). Only a single line or a single cubic
    // has no joins: two or three straight pieces meet at corners as sharp as any.
    const bool singleCubic = segments == 3 && (types[begin + 1] & PathPointTypePathTypeMask) == PathPointTypeBezier;
    const bool joins = closed || (segments > 1 && !singleCubic);
    const double reach = half * (joins && shape.miterJoins ? std::max(shape.miterLimit, 1.5) : 1.5) + 2.0;
    const std::size_t boxBegin = result.boxes.size();
    Cover cover{shape, reach, width, height, result.boxes};
    auto at = [&](std::size_t k) { return Pt{Clamp(points[k].X) + shift, Clamp(points[k].Y) + shift}; };
    if (shape.width <= 0) {
      // A fill covers the inside of its figure: one box of all its points.
      double minX = at(begin).x, minY = at(begin).y, maxX = minX, maxY = minY;
      for (std::size_t k = begin + 1; k < i; ++k) {
        minX = std::min(minX, at(k).x), maxX = std::max(maxX, at(k).x);
        minY = std::min(minY, at(k).y), maxY = std::max(maxY, at(k).y);
      }
      cover.Add(minX, minY, maxX, maxY);
    } else {
      // Walk the figure as AppendPath hands it over: curves of three points, else lines.
      std::size_t k = begin + 1;
      if (k == i) cover.Line(at(begin), at(begin));
      while (k < i) {
        if ((types[k] & PathPointTypePathTypeMask) == PathPointTypeBezier && k + 2 < i) {
          cover.Curve(at(k - 1), at(k), at(k + 1), at(k + 2), 12);
          k += 3;
        } else {
          cover.Line(at(k - 1), at(k));
          ++k;
        }
      }
      if (closed) cover.Line(at(i - 1), at(begin));
    }
    if (result.boxes.size() == boxBegin) continue;  // wholly off the target: nothing to paint
    if (clip != nullptr && std::none_of(result.boxes.begin() + static_cast<std::ptrdiff_t>(boxBegin), result.boxes.end(),
                                        [&](const PixelBox& b) { return clip->MayMeet(b.x0, b.y0, b.x1, b.y1); })) {
      result.boxes.resize(boxBegin);  // wholly outside the clip: nothing shows
      continue;
    }
    const std::size_t index = result.figures.size();
    result.figures.push_back({begin, i, boxBegin, result.boxes.size()});
    const std::span<const PixelBox> boxes(result.boxes.data() + boxBegin, result.boxes.size() - boxBegin);

    const auto runsOffTarget = [&] {
      return std::any_of(boxes.begin(), boxes.end(),
                         [&](const PixelBox& b) { return b.x0 < 0 || b.y0 < 0 || b.x1 > width || b.y1 > height; });
    };
    std::size_t run = 0;
    switch (grouping) {
      case RunGrouping::kDisjointAnyOrder: {
        if (runsOffTarget()) {  // as for kDisjoint: such a figure goes alone
          alones.push_back(index);
          continue;
        }
        std::uint64_t taken = blockClosed;
        for (const PixelBox& box : boxes) taken |= layers.Occupied(box);
        if (taken == ~std::uint64_t{0}) {
          layers.NewBlock();
          blockBase = result.runs.size();
          blockClosed = 0;
          taken = 0;
        }
        const int slot = std::countr_one(taken);
        for (const PixelBox& box : boxes) layers.Occupy(box, slot);
        run = blockBase + static_cast<std::size_t>(slot);
        if (run >= result.runs.size()) result.runs.resize(run + 1);
        if (result.runs[run].figures.size() + 1 >= maxFigures) blockClosed |= std::uint64_t{1} << slot;
        break;
      }
      case RunGrouping::kOneShape: run = 0; break;
      case RunGrouping::kOneByOne: run = result.runs.size(); break;
      case RunGrouping::kDisjoint: {
        // A figure that runs off the target goes alone: Cairo's aliased rasteriser cuts
        // such figures at the edge and then sets edge pixels that one alone would not.
        const bool alone = runsOffTarget();
        for (const PixelBox& box : boxes) run = std::max(run, layers.EarliestRun(box));
        while (run < result.runs.size() &&
               (result.runs[run].alone || result.runs[run].figures.size() >= (alone ? 1 : maxFigures))) {
          ++run;
        }
        for (const PixelBox& box : boxes) layers.Place(box, run);
        if (run >= result.runs.size()) result.runs.resize(run + 1);
        result.runs[run].alone = alone;
        break;
      }
    }
    if (run >= result.runs.size()) result.runs.resize(run + 1);
    result.runs[run].figures.push_back(index);
  }
  for (const std::size_t index : alones) result.runs.push_back({{index}, true});
  return result;
}

}  // namespace quillgate::graphics::detail
