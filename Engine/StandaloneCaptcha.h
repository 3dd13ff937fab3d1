#pragma once
// A CAPTCHA made apart from the process-wide engine: the caller holds the settings, the code
// comes from the operating system's cryptographic generator, and the drawing takes a random
// source of its own on the calling thread, so threads drawing at once never wait for each
// other and no drawing tells anything about another. The HTTP service's workers and the
// public library draw this way; the automation object keeps the shared engine.

#include "Platform/Graphics/Bitmap.h"
#include "Platform/Graphics/MemoryStream.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate {

// The characters a code of `codeType` is made of: 1 capitals, 2 digits, anything else the
// default alphabet of digits and capitals without the easily confused ones.
[[nodiscard]] std::string_view CodeAlphabet(std::int32_t codeType) noexcept;

// `length` characters of the `codeType` alphabet, each chosen uniformly by the operating
// system's cryptographic generator; empty for a length below 1.
[[nodiscard]] std::string RandomCode(std::int32_t length, std::int32_t codeType);

// Encodes `bitmap` in `format` (a canonical name: "JPEG", "PNG", ...) at the encoders'
// highest quality into `stream`. Throws EngineError: "This picture format is not supported
// !" for an unknown name, "Failed to save to stream!" when the encoder fails.
void EncodeBitmap(const graphics::Bitmap& bitmap, std::string_view format, graphics::MemoryStream& stream);

// Draws `code` in `style` on a width x height picture with a random source seeded from the
// operating system, and encodes it. Throws EngineError as ImageGenerator and EncodeBitmap do.
[[nodiscard]] std::vector<unsigned char> DrawStandaloneImage(const std::string& code, std::int32_t width,
                                                             std::int32_t height, std::int32_t style,
                                                             std::string_view format);

}  // namespace quillgate
