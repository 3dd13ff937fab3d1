#include "Platform/Graphics/Codecs/CodecSupport.h"

#include <cstring>

namespace quillgate::graphics::codecs {

Status CheckImage(const ArgbView& image) noexcept {
  if (image.width <= 0 || image.height <= 0) return Status::InvalidParameter;
  const auto needed = static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
  if (image.pixels.data() == nullptr || image.pixels.size() < needed) return Status::InvalidParameter;
  return Status::Ok;
}

bool AppendBytes(ByteBuffer& out, const void* data, std::size_t count) noexcept {
  if (count == 0) return true;
  try {
    const std::size_t old = out.size();
    out.resize(old + count);
    std::memcpy(out.data() + old, data, count);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace quillgate::graphics::codecs
