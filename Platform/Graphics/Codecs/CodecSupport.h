#pragma once
// Pieces every image codec shares: checking the pixels it is handed and collecting the bytes
// it produces. Codec callbacks run inside C libraries, so nothing here throws.

#include "Platform/Graphics/ArgbView.h"
#include "Platform/Graphics/GraphicsTypes.h"  // Status

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillgate::graphics::codecs {

using ByteBuffer = std::vector<std::uint8_t>;

// Ok for a non-empty image whose span holds at least width × height pixels.
Status CheckImage(const ArgbView& image) noexcept;

// Appends `count` bytes; false (buffer unchanged) when memory runs out.
bool AppendBytes(ByteBuffer& out, const void* data, std::size_t count) noexcept;

inline std::uint8_t AlphaOf(std::uint32_t argb) noexcept { return static_cast<std::uint8_t>(argb >> 24); }
inline std::uint8_t RedOf(std::uint32_t argb) noexcept { return static_cast<std::uint8_t>(argb >> 16); }
inline std::uint8_t GreenOf(std::uint32_t argb) noexcept { return static_cast<std::uint8_t>(argb >> 8); }
inline std::uint8_t BlueOf(std::uint32_t argb) noexcept { return static_cast<std::uint8_t>(argb); }

}  // namespace quillgate::graphics::codecs
