#pragma once
// Filling a path without anti-aliasing. Cairo's own aliased rasteriser joins two spans of a
// row when only one pixel separates them, so one-pixel gaps (dotted outlines, fine hatching
// of shapes) fill in. Here every pixel whose centre lies inside the path, under its fill
// mode, is painted, and nothing else: the spans come from our own scan conversion and reach
// Cairo as whole-pixel rectangles, which it paints exactly.

#include "Platform/Graphics/GraphicsPath.h"

#include <cairo.h>

namespace quillgate::graphics::detail {

// Fills `path` (curves flattened to within a quarter pixel) with the current source of `cr`,
// inside the rows 0 .. height - 1 of the target; clipping and operator as set on `cr`.
void FillAliased(cairo_t* cr, const GraphicsPath& path, int height);

}  // namespace quillgate::graphics::detail
