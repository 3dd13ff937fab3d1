#pragma once
// TIFF through libtiff: RGBA, 8 bits per sample, the fourth sample unassociated alpha, LZW.

#include "Platform/Graphics/Codecs/CodecSupport.h"

namespace quillgate::graphics::codecs {

// Appends the TIFF file to `out`; its offsets count from the first appended byte.
Status EncodeTiff(const ArgbView& image, ByteBuffer& out) noexcept;

}  // namespace quillgate::graphics::codecs
