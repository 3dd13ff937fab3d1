#include "Platform/Graphics/Codecs/BmpCodec.h"

#include <bit>
#include <cstring>
#include <limits>

namespace quillgate::graphics::codecs {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;
constexpr std::int32_t kPixelsPerMetre = 3780;  // 96 dots per inch

void Put16(std::uint8_t*& p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p += 2;
}

void Put32(std::uint8_t*& p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  p += 4;
}

}  // namespace

Status EncodeBmp(const ArgbView& image, ByteBuffer& out) noexcept {
  if (const Status s = CheckImage(image); s != Status::Ok) return s;
  const std::uint64_t rowBytes = static_cast<std::uint64_t>(image.width) * 4;
  const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(image.height);
  const std::uint64_t fileSize = kPixelOffset + pixelBytes;
  if (fileSize > std::numeric_limits<std::uint32_t>::max()) return Status::ValueOverflow;

  const std::size_t start = out.size();
  try {
    out.resize(start + static_cast<std::size_t>(fileSize));
  } catch (...) {
    out.resize(start);
    return Status::OutOfMemory;
  }
  std::uint8_t* p = out.data() + start;
  // BITMAPFILEHEADER
  *p++ = 'B';
  *p++ = 'M';
  Put32(p, static_cast<std::uint32_t>(fileSize));
  Put32(p, 0);  // two reserved words
  Put32(p, kPixelOffset);
  // BITMAPINFOHEADER; a positive height means the rows are stored bottom-up
  Put32(p, kInfoHeaderSize);
  Put32(p, static_cast<std::uint32_t>(image.width));
  Put32(p, static_cast<std::uint32_t>(image.height));
  Put16(p, 1);   // planes
  Put16(p, 32);  // bits per pixel
  Put32(p, 0);   // BI_RGB: uncompressed
  Put32(p, static_cast<std::uint32_t>(pixelBytes));
  Put32(p, static_cast<std::uint32_t>(kPixelsPerMetre));
  Put32(p, static_cast<std::uint32_t>(kPixelsPerMetre));
  Put32(p, 0);  // colours used
  Put32(p, 0);  // important colours

  // A pixel is stored as the bytes B, G, R, A: the little-endian form of 0xAARRGGBB.
  const auto width = static_cast<std::size_t>(image.width);
  for (int y = image.height - 1; y >= 0; --y) {
    const std::uint32_t* row = image.pixels.data() + static_cast<std::size_t>(y) * width;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(p, row, width * 4);
      p += width * 4;
    } else {
      for (std::size_t x = 0; x < width; ++x) Put32(p, row[x]);
    }
  }
  return Status::Ok;
}

}  // namespace quillgate::graphics::codecs
