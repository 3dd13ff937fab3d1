#pragma once
// Blending an opaque colour into ARGB32 pixels through a coverage mask, as Cairo's span
// compositor blends a solid opaque source: for coverage a, each channel becomes
// c x a / 255 + d x (255 - a) / 255, each product rounded the way Cairo rounds it.

#include "Platform/Graphics/detail/FigureRuns.h"

#include <cstdint>

namespace quillgate::graphics::detail {

struct CoverageTarget {
  std::uint32_t* pixels;  // premultiplied ARGB32
  int stride;             // in pixels
};

struct CoverageMask {
  std::uint8_t* values;  // A8
  int stride;            // in bytes
  int originX = 0;       // the target pixel that values[0] covers
  int originY = 0;
};

// Within `box` (cut to the target's width x height), blends `opaqueColor` (0xFFRRGGBB) by the coverage wherever `clip` (one byte
// per pixel, the target's width as stride; null for no clip) is set, and clears the
// coverage of the box, so that the mask is all zero again for the next figures.
void BlendCoverage(const CoverageTarget& target, const CoverageMask& coverage, const std::uint8_t* clip, int clipStride,
                   const PixelBox& box, int width, int height, std::uint32_t opaqueColor);

}  // namespace quillgate::graphics::detail
