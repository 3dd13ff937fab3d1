#pragma once
// Inside of a Region: a pixman region (through cairo_region_t) of whole pixels, plus the
// rectangle or path it was made from while it is still exactly that shape.

#include "Platform/Graphics/GraphicsPath.h"

#include <cairo.h>

#include <optional>

namespace quillgate::graphics::detail {

// The infinite region: everything the coordinate limit allows.
inline constexpr int kInfiniteMin = -4194304;
inline constexpr int kInfiniteSize = 8388608;

struct CairoRegionDeleter {
  void operator()(cairo_region_t* r) const noexcept { cairo_region_destroy(r); }
};
using CairoRegionPtr = std::unique_ptr<cairo_region_t, CairoRegionDeleter>;

struct RegionData {
  CairoRegionPtr pixels;
  std::optional<GraphicsPath> source;
};

CairoRegionPtr MakeInfiniteRegion();
CairoRegionPtr RegionFromPath(const GraphicsPath& path, const Matrix* matrix = nullptr);
CairoRegionPtr RegionFromRect(const RectF& rect);

}  // namespace quillgate::graphics::detail
