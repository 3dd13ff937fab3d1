#pragma once
// Straight ARGB <-> premultiplied ARGB (Cairo's pixel format), rounding to nearest.

#include <array>
#include <cstdint>

namespace quillgate::graphics::detail {

inline std::uint32_t Premultiply(std::uint32_t argb) {
  const std::uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
  return (a << 24) | (mul((argb >> 16) & 0xFF) << 16) | (mul((argb >> 8) & 0xFF) << 8) | mul(argb & 0xFF);
}

// Every encoded image passes each pixel through here, so the division by alpha is a
// multiplication by a reciprocal: with m = floor(2^32 / a) + 1, (n * m) >> 32 equals n / a
// exactly for every n below 2^16 (the error n * (m - 2^32 / a) / 2^32 stays under 1 / a).
// Fully transparent and opaque pixels, most of any image, skip the arithmetic.
inline constexpr auto kAlphaReciprocals = [] {
  std::array<std::uint64_t, 256> table{};
  for (std::uint64_t a = 1; a < 256; ++a) table[a] = (std::uint64_t{1} << 32) / a + 1;
  return table;
}();

inline std::uint32_t Unpremultiply(std::uint32_t argb) {
  const std::uint32_t a = argb >> 24;
  if (a == 255) return argb;
  if (a == 0) return 0;
  const std::uint64_t m = kAlphaReciprocals[a];
  auto div = [a, m](std::uint32_t c) {
    const auto v = static_cast<std::uint32_t>((std::uint64_t{c * 255 + a / 2} * m) >> 32);  // (c*255 + a/2) / a
    return v > 255 ? 255u : v;
  };
  return (a << 24) | (div((argb >> 16) & 0xFF) << 16) | (div((argb >> 8) & 0xFF) << 8) | div(argb & 0xFF);
}

}  // namespace quillgate::graphics::detail
