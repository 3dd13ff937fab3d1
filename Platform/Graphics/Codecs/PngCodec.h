#pragma once
// PNG through libpng: 8-bit RGBA (colour type 6), alpha kept exactly.

#include "Platform/Graphics/Codecs/CodecSupport.h"

namespace quillgate::graphics::codecs {

// Appends the PNG file to `out`.
Status EncodePng(const ArgbView& image, ByteBuffer& out) noexcept;

}  // namespace quillgate::graphics::codecs
