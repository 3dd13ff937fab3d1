#pragma once
// The bytes of one encoded image or sound, handed from the engine to the automation layer.

#include <boost/shared_array.hpp>

#include <cstdint>
#include <span>

namespace quillgate {

struct ByteArray {
  // Shared so that the buffer can pass between layers without a copy; freed with the
  // last reference. An empty array has no buffer and length 0.
  boost::shared_array<unsigned char> buffer;
  std::int32_t length = 0;

  [[nodiscard]] std::span<const unsigned char> Bytes() const noexcept {
    if (!buffer || length <= 0) return {};
    return {buffer.get(), static_cast<std::size_t>(length)};
  }
};

}  // namespace quillgate
