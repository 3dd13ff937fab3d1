#pragma once
// The one way our rasterisers put colour into pixels: an opaque colour blended into
// premultiplied ARGB32 pixels through a coverage mask and the clip. For coverage a, each
// channel becomes c x a / 255 + d x (255 - a) / 255, each product rounded to the nearest
// (as pixman composites through a mask).

#include "Platform/Graphics/detail/FigureRuns.h"

#include <cstdint>

namespace quillgate::graphics::detail {

// Where blended pixels go: a width x height bitmap and its clip.
struct PixelTarget {
  std::uint32_t* pixels;  // premultiplied ARGB32
  int stride;             // in pixels
  int width;
  int height;
  // One byte a pixel, 255 inside and 0 outside, `clipStride` a row; null for none.
  const std::uint8_t* clip = nullptr;
  int clipStride = 0;
};

struct CoverageMask {
  std::uint8_t* values;  // A8
  int stride;            // in bytes
  int originX = 0;       // the target pixel that values[0] covers
  int originY = 0;
};

// Within `box` (cut to the target), blends `opaqueColor` (0xFFRRGGBB) by the coverage
// wherever the clip is set, and clears the coverage of the box, so that a mask is all zero
// again for the next shapes. Eight pixels without coverage, or outside the clip, are passed
// over at once: most of a thin stroke's box is empty, and much of a mark may be clipped.
void BlendCoverage(const PixelTarget& target, const CoverageMask& coverage, const PixelBox& box,
                   std::uint32_t opaqueColor);

}  // namespace quillgate::graphics::detail
