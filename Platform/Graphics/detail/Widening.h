#pragma once
// The outline of a path's stroke (GraphicsPath::Widen), with the size above which it is
// built piece by piece, so that tests can hold both ways to each other.

#include "Platform/Graphics/GraphicsTypes.h"

#include <cstddef>
#include <span>
#include <vector>

namespace quillgate::graphics {
class Matrix;
class Pen;
}  // namespace quillgate::graphics

namespace quillgate::graphics::detail {

// Above this many flattened points (a text of about a hundred letters) the outline is built piece
// by piece: every figure offset on its own and the pieces left to overlap (their non-zero
// fill is their union), an inset band cut to the figures tile by tile. One union of
// everything costs Clipper a sort of every intersection in a scanbeam, and a thousand
// letters squeezed into one picture put thousands of edges into each: seconds. Below it,
// the one union, which gives exactly the pictures drawn so far.
inline constexpr std::size_t kPiecewiseWideningPoints = 4000;

// The closed outline (fill it with the winding rule) whose fill covers what stroking the
// path with `pen` covers. `pen` must not be null.
void WidenOutline(std::span<const PointF> points, std::span<const BYTE> types, FillMode fillMode, const Pen* pen,
                  const Matrix* matrix, REAL flatness, std::size_t piecewiseAbove, std::vector<PointF>& outlinePoints,
                  std::vector<BYTE>& outlineTypes);

}  // namespace quillgate::graphics::detail
