#pragma once
// Inside of a Bitmap: a Cairo image surface (ARGB32, premultiplied).

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

// Straight ARGB <-> premultiplied ARGB, rounding to nearest.
inline std::uint32_t Premultiply(std::uint32_t argb) {
  const std::uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
  return (a << 24) | (mul((argb >> 16) & 0xFF) << 16) | (mul((argb >> 8) & 0xFF) << 8) | mul(argb & 0xFF);
}

inline std::uint32_t Unpremultiply(std::uint32_t argb) {
  const std::uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  auto div = [a](std::uint32_t c) {
    const std::uint32_t v = (c * 255 + a / 2) / a;
    return v > 255 ? 255u : v;
  };
  return (a << 24) | (div((argb >> 16) & 0xFF) << 16) | (div((argb >> 8) & 0xFF) << 8) | div(argb & 0xFF);
}

}  // namespace quillgate::graphics::detail
