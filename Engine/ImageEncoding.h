#pragma once
// Choosing the encoder for an image format.

#include "Platform/Graphics/Encoders.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate {

// A format name as it is kept and matched: ASCII letters uppercased, "JPG" read as "JPEG";
// nothing else changes, so surrounding spaces stay and make the name unsupported.
[[nodiscard]] std::string CanonicalFormatName(std::string_view text);

// The MIME type of a format name ("JPEG", "BMP", "GIF", "TIFF", "PNG"; exact, uppercase),
// or nothing for any other name.
[[nodiscard]] std::optional<std::u16string_view> MimeTypeOfFormat(std::string_view format);

// The index of the first installed encoder whose MIME type equals `mimeType` exactly (case
// matters), its class identifier written to `classId`; -1, with `classId` untouched, when
// there is none or the list cannot be had.
std::int32_t FindEncoder(std::u16string_view mimeType, graphics::CLSID& classId);

}  // namespace quillgate
