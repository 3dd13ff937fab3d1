#pragma once
// Grouping the figures of one path into runs that Cairo may paint in a single call, with
// exactly the pixels that painting every figure on its own, in order, would give.
//
// Scattering thousands of tiny strokes costs a Cairo round trip each (path, stroker, scan
// conversion, compositing). Strokes in one call paint the same pixels as separate calls
// when no pixel can be touched by two of them: each pixel's coverage then comes from one
// figure alone and is blended once. And only figures that share pixels need to keep their
// order, so a figure goes into the run right after the latest run holding a figure it may
// touch: runs grow large even where the marks are dense. (Overlapping figures may not share
// a call even without anti-aliasing: Cairo's aliased rasteriser then sets pixels that
// neither figure sets alone.)

#include "Platform/Graphics/GraphicsTypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quillgate::graphics::detail {

class ClipMask;

// Pixels [x0, x1) x [y0, y1) that a painted figure may change.
struct PixelBox {
  int x0, y0, x1, y1;
};

// A figure's point range [begin, end) and the boxes [boxBegin, boxEnd) of FigureRuns::boxes
// that together hold every pixel it may change (cut to one pixel beyond the target on each
// side; only those that meet the target are kept). A stroke is covered
// piece by piece along its lines and curves, so that a long thin line or a large ring
// costs its length, not its bounding box; a fill by one box.
struct Figure {
  std::size_t begin;
  std::size_t end;
  std::size_t boxBegin;
  std::size_t boxEnd;
};

// Figures (indices into FigureRuns::figures, in path order) painted by one Cairo call.
struct FigureRun {
  std::vector<std::size_t> figures;
  bool alone = false;  // holds one figure that no other may join
};

struct FigureRuns {
  std::vector<Figure> figures;
  std::vector<PixelBox> boxes;
  std::vector<FigureRun> runs;  // to be painted in this order
};

struct StrokeShape {
  double width;       // as drawn (0 for a fill, at least one pixel for a pen)
  double miterLimit;  // reach of miter joins, in half widths
  bool miterJoins;
};

enum class RunGrouping {
  kOneShape,    // all figures are one shape (one DrawPath or FillPath): one run
  kOneByOne,    // every figure its own run, in path order
  kDisjoint,    // figures of separate strokes, grouped as described above
  // Figures of separate strokes whose order does not matter (one opaque colour without
  // smoothing: a pixel ends up in the colour if any figure sets it, whatever the order).
  // Only figures that may share a pixel are kept apart, so there are about as many runs as
  // figures pile up in one place.
  kDisjointAnyOrder,
};

// Which run each part of the target last received, for kDisjoint. Kept between calls so
// that no per-call clearing of a map of the whole target is needed.
class OverlapLayers {
 public:
  // Forgets all earlier figures; sized for a target of width x height.
  void Start(int width, int height);
  // The first run a figure with this box may join: one after the latest run that holds a
  // figure whose box shares a cell with it.
  [[nodiscard]] std::size_t EarliestRun(const PixelBox& box) const;
  // Records that the figure with this box went into `run`.
  void Place(const PixelBox& box, std::size_t run);

  // For kDisjointAnyOrder: runs are taken in blocks of 64; which runs of the current block
  // hold a figure whose box shares a cell with this one (bit k for the block's run k).
  [[nodiscard]] std::uint64_t Occupied(const PixelBox& box) const;
  void Occupy(const PixelBox& box, int runInBlock);
  // Forgets the figures of the block: a new block of 64 runs starts.
  void NewBlock();

 private:
  static constexpr int kCell = 4;  // pixels per cell side
  int columns_ = 0;
  int rows_ = 0;
  std::uint32_t epoch_ = 0;
  std::vector<std::uint64_t> cells_;  // epoch << 32 | (run + 1)
  std::vector<std::uint32_t> stamps_;  // for kDisjointAnyOrder: the epoch masks_ belong to
  std::vector<std::uint64_t> masks_;
};

// The end of the figure that starts at `begin` of the n types, as the path is handed to
// Cairo: before the next start point or after a point that closes the figure. `closed`
// tells whether it closes; `segments` counts its points after the first.
std::size_t FigureEnd(std::span<const BYTE> types, std::size_t begin, std::size_t n, bool& closed, std::size_t& segments);

// Calls visit(begin, end, closed) for each figure of the first n types, in order.
template <typename Visit>
void ForEachFigure(std::span<const BYTE> types, std::size_t n, Visit visit) {
  for (std::size_t begin = 0; begin < n;) {
    bool closed = false;
    std::size_t segments = 0;
    const std::size_t end = FigureEnd(types, begin, n, closed, segments);
    visit(begin, end, closed);
    begin = end;
  }
}

// Splits `points`/`types` into figures the way the path is handed to Cairo (a figure ends
// before the next start point or after a point that closes it) and groups them. A figure
// with a non-finite point draws nothing and is left out. Runs hold at most `maxFigures`.
// The figures are painted moved by `shift` pixels each way (see PixelGrid.h). Under a clip
// (null for none) figures that cannot reach it are left out too.
FigureRuns GroupFigureRuns(std::span<const PointF> points, std::span<const BYTE> types, const StrokeShape& shape,
                           RunGrouping grouping, std::size_t maxFigures, double shift, const ClipMask* clip,
                           int width, int height, OverlapLayers& layers);

}  // namespace quillgate::graphics::detail
