#pragma once
// Filling a path without anti-aliasing. Cairo's own aliased rasteriser joins two spans of a
// row when only one pixel separates them, so one-pixel gaps (dotted outlines, fine hatching
// of shapes) fill in. Here every pixel whose centre lies inside the path, under its fill
// mode, is painted, and nothing else: the spans come from our own scan conversion.

#include "Platform/Graphics/GraphicsPath.h"

#include <cairo.h>

#include <cstdint>
#include <optional>

namespace quillgate::graphics::detail {

// Fills `path` (curves flattened to within a quarter pixel) with the current source of `cr`
// on its image target, clipping and operator as set on `cr`. When the caller knows the
// source to be the opaque colour `opaque` (straight ARGB), an unclipped fill writes the
// spans straight into the pixels, which is what Cairo would paint for them, without
// handing it thousands of one-row boxes.
void FillAliased(cairo_t* cr, const GraphicsPath& path, std::optional<std::uint32_t> opaque);

}  // namespace quillgate::graphics::detail
