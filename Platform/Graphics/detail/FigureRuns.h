#pragma once
// Grouping the figures of one path into runs that Cairo may stroke in a single call, with
// exactly the pixels that stroking every figure on its own, in order, would give.
//
// Scattering thousands of tiny strokes costs a Cairo round trip each (path, stroker, scan
// conversion, compositing). Two strokes in one call paint the same pixels as two calls when
// no pixel can be touched by both: each pixel's coverage then comes from one figure alone
// and is blended once, and the order of blending pixels that share nothing does not matter.
// (Overlapping figures may not share a call even without anti-aliasing: Cairo's aliased
// rasteriser then sets pixels that neither figure sets alone.)

#include "Platform/Graphics/GraphicsTypes.h"

#include <cstddef>
#include <span>
#include <vector>

namespace quillgate::graphics::detail {

// Pixels [x0, x1) x [y0, y1) that a stroked figure may change.
struct PixelBox {
  int x0, y0, x1, y1;
};

// A run: the point range [begin, end) of its figures, and their boxes [boxBegin, boxEnd)
// in FigureRuns::boxes.
struct FigureRun {
  std::size_t begin;
  std::size_t end;
  std::size_t boxBegin;
  std::size_t boxEnd;
};

struct FigureRuns {
  std::vector<FigureRun> runs;
  std::vector<PixelBox> boxes;  // cut to the target
};

struct StrokeShape {
  double width;        // as drawn (at least one pixel)
  double miterLimit;   // reach of miter joins, in half widths
  bool miterJoins;
  bool mayOverlap;     // the figures form one stroke: all of them share one run
};

// Splits `points`/`types` into figures the way the path is handed to Cairo (a figure ends
// before the next start point or after a point that closes it) and groups consecutive
// figures into runs of at most `maxFigures` figures, starting a new run whenever a figure's
// reach could touch a pixel that an earlier figure of the run can touch (unless overlaps are
// allowed). A figure with a non-finite point draws nothing and gets no run. Boxes are cut
// to the target's pixels [0, width) x [0, height).
FigureRuns GroupFigureRuns(std::span<const PointF> points, std::span<const BYTE> types, const StrokeShape& shape,
                           std::size_t maxFigures, int width, int height);

}  // namespace quillgate::graphics::detail
