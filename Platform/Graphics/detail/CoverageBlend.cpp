#include "Platform/Graphics/detail/CoverageBlend.h"

#include "Platform/Graphics/detail/PackedChannels.h"

#include <algorithm>
#include <cstring>

namespace quillgate::graphics::detail {

namespace {

std::uint32_t Lerp(std::uint32_t source, std::uint32_t dest, std::uint32_t alpha) {
  // Cairo's span blender rounds its products with 0x7F.
  return AddChannels(MulChannels<0x7F>(source, alpha), MulChannels<0x7F>(dest, 255 - alpha));
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
