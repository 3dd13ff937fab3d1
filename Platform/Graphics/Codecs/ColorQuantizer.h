#pragma once
// Reduces an image to an indexed one of at most 256 colours for the GIF encoder.
//
// An image with at most `maxColors` distinct colours keeps them exactly. Otherwise Wu's
// variance-minimising colour quantiser (X. Wu, "Efficient statistical computations for
// optimal color quantization", Graphics Gems II, 1991) splits the colour cube: it works on a
// 32-level-per-channel histogram with cumulative moments, so its cost hardly depends on the
// image size, and it spends palette entries where the colours actually are. No dithering:
// dither noise would blur the strokes and make the file larger.
//
// Only red, green and blue count; alpha is ignored (see the GIF encoder for why).

#include "Platform/Graphics/Codecs/CodecSupport.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quillgate::graphics::codecs {

struct IndexedImage {
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB, 1 to 256 entries
  std::vector<std::uint8_t> indices;   // width × height, row-major
};

// `image` must have passed CheckImage; `maxColors` 2 to 256. Throws std::bad_alloc.
IndexedImage QuantizeColors(const ArgbView& image, int maxColors);

}  // namespace quillgate::graphics::codecs
