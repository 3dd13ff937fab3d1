#pragma once
// Windows bitmap file: 32 bits per pixel, uncompressed, bottom-up rows, the alpha bytes kept
// in the fourth byte of each pixel (a plain BITMAPINFOHEADER, as the Windows library writes).

#include "Platform/Graphics/Codecs/CodecSupport.h"

namespace quillgate::graphics::codecs {

// Appends the BMP file to `out`. ValueOverflow when the file would exceed the 4 GiB that its
// size field can describe.
Status EncodeBmp(const ArgbView& image, ByteBuffer& out) noexcept;

}  // namespace quillgate::graphics::codecs
