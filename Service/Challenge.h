#pragma once
// What one challenge is made of: a code from the operating system's cryptographic
// generator, its picture drawn by the engine's text styles on the calling thread (with a
// random source of the thread's own, outside the engine's lock), its spoken form, and the
// check of an answer against it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::service {

// What a challenge looks like. Each request may choose within ChallengeLimits.
struct ImageSettings {
  std::int32_t style = 31;
  std::int32_t width = 250;
  std::int32_t height = 50;
  std::int32_t length = 5;
  std::int32_t type = 0;       // 0 letters and digits, 1 letters, 2 digits
  std::string format = "JPEG"; // JPEG, PNG, GIF, BMP or TIFF (uppercase)
};

struct ChallengeLimits {
  static constexpr std::int32_t kMaxStyle = 49;
  static constexpr std::int32_t kMinWidth = 20, kMaxWidth = 1000;
  static constexpr std::int32_t kMinHeight = 10, kMaxHeight = 400;
  static constexpr std::int32_t kMinLength = 1, kMaxLength = 16;
};

// Empty when the settings are within the limits; otherwise the reason, for the caller.
[[nodiscard]] std::string CheckSettings(const ImageSettings& settings);
// The format name uppercased, "JPG" read as "JPEG"; empty for an unknown format.
[[nodiscard]] std::string NormalizeFormat(std::string_view name);
[[nodiscard]] std::string_view MimeTypeOf(std::string_view format);

// `length` characters of the `type` alphabet (the engine's), each from libsodium's
// uniform cryptographic generator.
[[nodiscard]] std::string GenerateCode(std::int32_t length, std::int32_t type);

// Draws and encodes `code`. Throws EngineError ("This text style is not supported !" for a
// style this build does not draw, and the encoding errors).
[[nodiscard]] std::vector<unsigned char> RenderImage(const std::string& code,
                                                     const ImageSettings& settings);
// The spoken code as a WAV. Throws EngineError.
[[nodiscard]] std::vector<unsigned char> SpeakCode(std::string_view code);

// True when `answer`, without surrounding spaces and ignoring ASCII letter case, is `code`.
// Takes the same time whatever the answer's content and length.
[[nodiscard]] bool AnswerMatches(std::string_view answer, std::string_view code);

}  // namespace quillgate::service
