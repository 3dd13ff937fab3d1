#include "Platform/Graphics/detail/CoverageBlend.h"

#include "Platform/Graphics/detail/PackedChannels.h"

#include <algorithm>
#include <cstring>

namespace quillgate::graphics::detail {

void BlendCoverage(const PixelTarget& target, const CoverageMask& coverage, const PixelBox& reach,
                   std::uint32_t opaqueColor) {
  const PixelBox box{std::max(reach.x0, 0), std::max(reach.y0, 0), std::min(reach.x1, target.width),
                     std::min(reach.y1, target.height)};
  if (box.x0 >= box.x1) return;
  for (int y = box.y0; y < box.y1; ++y) {
    std::uint32_t* row = target.pixels + static_cast<std::ptrdiff_t>(y) * target.stride;
    std::uint8_t* cover =
        coverage.values + static_cast<std::ptrdiff_t>(y - coverage.originY) * coverage.stride - coverage.originX;
    const std::uint8_t* inClip =
        target.clip != nullptr ? target.clip + static_cast<std::ptrdiff_t>(y) * target.clipStride : nullptr;
    for (int x = box.x0; x < box.x1;) {
      if (x + 8 <= box.x1) {
        std::uint64_t eight = 0, inside = ~std::uint64_t{0};
        std::memcpy(&eight, cover + x, 8);
        if (inClip != nullptr) std::memcpy(&inside, inClip + x, 8);
        if ((eight & inside) == 0) {
          x += 8;
          continue;
        }
      }
      for (const int stop = std::min(x + 8, box.x1); x < stop; ++x) {
        // Clip bytes are 0 or 255: the coverage that shows.
        const std::uint32_t a = inClip != nullptr ? cover[x] & inClip[x] : cover[x];
        if (a == 0) continue;
        row[x] = a == 255 ? opaqueColor : OverThroughMask(opaqueColor, row[x], a);
      }
    }
    std::memset(cover + box.x0, 0, static_cast<std::size_t>(box.x1 - box.x0));
  }
}

}  // namespace quillgate::graphics::detail
