#pragma once
// The single process-wide engine: the six settings every Captcha object shares, the current
// code, and the operations that make codes, images, sounds and hash values from them.
//
// The lock guards only what is shared: the settings and the current code. An image or sound
// request takes a snapshot of them under the lock, making its code current there, and then
// draws and encodes from the snapshot without the lock, so a slow image never holds up
// another thread's calls, and the code a request makes current is still the one it draws.

#include "CommonUtilities/ByteArray.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace quillgate {

class CaptchaEngine {
 public:
  // The engine of this process, built with the default settings on first use.
  static CaptchaEngine& Instance();

  // A separate engine with the default settings (tests; hosts use Instance()).
  CaptchaEngine() = default;
  CaptchaEngine(const CaptchaEngine&) = delete;
  CaptchaEngine& operator=(const CaptchaEngine&) = delete;

  [[nodiscard]] std::int32_t ImageWidth() const;
  [[nodiscard]] std::int32_t ImageHeight() const;
  [[nodiscard]] std::int32_t CodeLength() const;
  [[nodiscard]] std::int32_t CodeType() const;
  [[nodiscard]] std::int32_t TextStyle() const;
  [[nodiscard]] std::string Format() const;
  // The current code: empty until the first image or sound is made.
  [[nodiscard]] std::string GetValue() const;

  // Setters accept every value; an invalid one shows up only when an image is made.
  void SetImageWidth(std::int32_t value);
  void SetImageHeight(std::int32_t value);  // stores at least 10
  void SetCodeLength(std::int32_t value);
  void SetCodeType(std::int32_t value);
  void SetTextStyle(std::int32_t value);
  // Uppercases the name (the classic locale's a-z) and maps "JPG" to "JPEG".
  void SetFormat(std::string_view text);

  // A new random code of CodeLength characters from the CodeType alphabet, each character
  // chosen by the operating system's cryptographic generator (never by the drawing's
  // random source, whose state could be recovered from one code). Not stored.
  [[nodiscard]] std::string GenerateCode();
  // An empty code makes a new random code current; any other becomes current unchanged.
  void SetCurrentCode(std::string_view code);

  // Makes `code` (or a new random code) current, then draws and encodes it in Format.
  // Throws EngineError; the new code stays current after a failure.
  void CreateImage(std::string_view code, ByteArray& out);
  // Makes `code` (or a new random code) current, then spells it as a WAV.
  // Throws EngineError; the new code stays current after a failure.
  void CreateSound(std::string_view code, ByteArray& out);

  // Uppercase hexadecimal SHA-512 of the text's bytes, nothing added.
  [[nodiscard]] static std::string ComputeHash(std::string_view text);
  // ComputeHash of the current code.
  [[nodiscard]] std::string GetHashValue() const;
  // True when hashValue is exactly ComputeHash(userCode). Compared in constant time.
  [[nodiscard]] static bool Validate(std::string_view userCode, std::string_view hashValue);

  // Test seam: called by CreateImage after the snapshot is taken and the lock released,
  // just before drawing, so a test can hold a request mid-way and call the engine meanwhile.
  void SetBeforeDrawHookForTesting(std::function<void()> hook);

 private:
  // What one image request works from, taken under the lock.
  struct ImageSettings {
    std::string code;
    std::string format;
    std::int32_t width;
    std::int32_t height;
    std::int32_t style;
  };

  std::string GenerateCodeLocked();
  // Makes `code` (or a new random code) current and returns the code made current.
  std::string SetCurrentCodeLocked(std::string_view code);

  mutable std::mutex mutex_;
  std::string format_ = "JPEG";
  std::int32_t codeLength_ = 5;
  std::int32_t imageWidth_ = 250;
  std::int32_t imageHeight_ = 50;
  std::int32_t codeType_ = 0;
  std::string currentCode_;
  std::int32_t textStyle_ = 31;
  std::function<void()> beforeDraw_;
};

}  // namespace quillgate
