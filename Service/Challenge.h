#pragma once
// What one challenge is made of: a code from the operating system's cryptographic
// generator, its picture drawn by the engine's text styles on the calling thread (with a
// random source of the thread's own, outside the engine's lock), its spoken form, and the
// check of an answer against it.

#include "Service/Policy.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::service {

// `length` characters of the `type` alphabet (the engine's), each from the operating
// system's uniform cryptographic generator.
[[nodiscard]] std::string GenerateCode(std::int32_t length, std::int32_t type);

// Draws and encodes `code`. Throws EngineError ("This text style is not supported !" for a
// style this build does not draw, and the encoding errors).
[[nodiscard]] std::vector<unsigned char> RenderImage(const std::string& code,
                                                     const ImageSettings& settings);

// True when `answer`, without surrounding spaces and ignoring ASCII letter case, is `code`.
// Takes the same time whatever the answer's content and length.
[[nodiscard]] bool AnswerMatches(std::string_view answer, std::string_view code);

}  // namespace quillgate::service
