#pragma once
// GIF through giflib: one frame with a 256-colour (at most) adaptive palette.
//
// GIF can only mark one palette entry fully transparent, so alpha cannot survive: the
// encoder ignores it and writes every pixel's stored colour, as the JPEG encoder does. An
// image therefore looks the same in either format (a background never painted shows black
// in both), and a GIF never turns parts of an image see-through by accident.

#include "Platform/Graphics/Codecs/CodecSupport.h"

namespace quillgate::graphics::codecs {

// Appends the GIF file to `out`.
Status EncodeGif(const ArgbView& image, ByteBuffer& out) noexcept;

}  // namespace quillgate::graphics::codecs
