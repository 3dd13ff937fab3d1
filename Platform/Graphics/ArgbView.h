#pragma once
// A read-only view of 32-bit ARGB pixels, the hand-over format between the drawing code and
// the image encoders: row-major, top row first, no row padding, each pixel 0xAARRGGBB with
// straight (non-premultiplied) colour.

#include <cstdint>
#include <span>

namespace quillgate::graphics {

struct ArgbView {
  int width = 0;
  int height = 0;
  // width * height pixels; pixel (x, y) is pixels[y * width + x].
  std::span<const std::uint32_t> pixels;

  [[nodiscard]] bool IsValid() const noexcept {
    return width > 0 && height > 0 &&
           pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
};

}  // namespace quillgate::graphics
