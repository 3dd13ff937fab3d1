#pragma once
// Inside of a Bitmap: a Cairo image surface (ARGB32, premultiplied).

#include "Platform/Graphics/detail/Premultiply.h"

#include <cairo.h>

#include <cstdint>
#include <memory>

namespace quillgate::graphics::detail {

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
};
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;

struct BitmapData {
  CairoSurfacePtr surface;
  int width = 0;
  int height = 0;
};

}  // namespace quillgate::graphics::detail
