#pragma once
// Baseline JPEG through libjpeg-turbo. Alpha is not stored: every pixel's colour is written as
// it is, so transparent black comes out black.

#include "Platform/Graphics/Codecs/CodecSupport.h"

namespace quillgate::graphics::codecs {

inline constexpr int kDefaultJpegQuality = 75;
// From this quality on, chroma is kept at full resolution (4:4:4): thin coloured strokes
// (one or two pixels wide, everywhere in a CAPTCHA) bleed and fade under 2×2 chroma averaging.
inline constexpr int kFullChromaQuality = 90;

// `quality` 0 to 100 (0 is treated as 1, the lowest libjpeg accepts); appends to `out`.
Status EncodeJpeg(const ArgbView& image, int quality, ByteBuffer& out) noexcept;

}  // namespace quillgate::graphics::codecs
