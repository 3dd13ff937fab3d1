#pragma once
// Arithmetic on the four 8-bit channels of a pixel at once, two channels per 32-bit
// multiplication, for blending colours through coverage.

#include <cstdint>

namespace quillgate::graphics::detail {

// Each byte of x times a / 255, rounded to the nearest.
inline std::uint32_t MulChannels(std::uint32_t x, std::uint32_t a) {
  auto pair = [a](std::uint32_t v) {
    const std::uint32_t t = (v & 0x00FF00FFu) * a + 0x00800080u;
    return ((t + ((t >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  };
  return pair(x) | (pair(x >> 8) << 8);
}

// Byte-wise sum, saturating at 255.
inline std::uint32_t AddChannels(std::uint32_t x, std::uint32_t y) {
  auto pair = [](std::uint32_t u, std::uint32_t v) {
    std::uint32_t t = (u & 0x00FF00FFu) + (v & 0x00FF00FFu);
    t |= 0x01000100u - ((t >> 8) & 0x00FF00FFu);
    return t & 0x00FF00FFu;
  };
  return pair(x, y) | (pair(x >> 8, y >> 8) << 8);
}

// An opaque colour over the pixel through a mask value, as pixman composites a solid
// source through an A8 mask: source x alpha + dest x (255 - alpha).
inline std::uint32_t OverThroughMask(std::uint32_t opaqueSource, std::uint32_t dest, std::uint32_t alpha) {
  return AddChannels(MulChannels(opaqueSource, alpha), MulChannels(dest, 255 - alpha));
}

}  // namespace quillgate::graphics::detail
