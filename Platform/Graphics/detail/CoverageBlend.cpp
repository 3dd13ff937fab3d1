#include "Platform/Graphics/detail/CoverageBlend.h"

#include <algorithm>
#include <cstring>

namespace quillgate::graphics::detail {

namespace {

// x * a / 255 with the rounding of Cairo's span blender.
std::uint32_t Mul(std::uint32_t x, std::uint32_t a) {
  const std::uint32_t t = x * a + 0x7F;
  return (t + (t >> 8)) >> 8;
}

std::uint32_t Lerp(std::uint32_t source, std::uint32_t dest, std::uint32_t alpha) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t v = Mul((source >> shift) & 0xFF, alpha) + Mul((dest >> shift) & 0xFF, 255 - alpha);
    out |= std::min<std::uint32_t>(v, 255) << shift;
  }
  return out;
}

}  // namespace

void BlendCoverage(const CoverageTarget& target, const CoverageMask& coverage, const std::uint8_t* clip, int clipStride,
                   const PixelBox& reach, int width, int height, std::uint32_t opaqueColor) {
  const PixelBox box{std::max(reach.x0, 0), std::max(reach.y0, 0), std::min(reach.x1, width), std::min(reach.y1, height)};
  if (box.x0 >= box.x1) return;
  for (int y = box.y0; y < box.y1; ++y) {
    std::uint32_t* row = target.pixels + static_cast<std::ptrdiff_t>(y) * target.stride;
    std::uint8_t* cover = coverage.values + static_cast<std::ptrdiff_t>(y - coverage.originY) * coverage.stride;
    const std::uint8_t* inClip = clip != nullptr ? clip + static_cast<std::ptrdiff_t>(y) * clipStride : nullptr;
    for (int x = box.x0; x < box.x1; ++x) {
      const std::uint32_t a = cover[x - coverage.originX];
      if (a == 0 || (inClip != nullptr && inClip[x] == 0)) continue;
      row[x] = a == 255 ? opaqueColor : Lerp(opaqueColor, row[x], a);
    }
    std::memset(cover + (box.x0 - coverage.originX), 0, static_cast<std::size_t>(box.x1 - box.x0));
  }
}

}  // namespace quillgate::graphics::detail
