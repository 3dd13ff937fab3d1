#include "Engine/CaptchaEngine.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSource.h"
#include "Sound/SoundGenerator.h"

#include <array>

namespace quillgate {
namespace {

constexpr std::int32_t kMinimumImageHeight = 10;

// The alphabet of a code type. The order matters: a character is chosen by its position.
std::string_view Alphabet(std::int32_t codeType) {
  switch (codeType) {
    case 1: return "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    case 2: return "0123456789";
    // 0, and every value without an alphabet of its own: digits and capitals without the
    // easily confused 0, 1, 7, I, L and O. Falling back here keeps a mistyped code type
    // from producing codes made of NUL characters that nobody can read or type.
    default: return "2345689ABCDEFGHJKMNPQRSTUVWXYZ";
  }
}

}  // namespace

CaptchaEngine& CaptchaEngine::Instance() {
  static CaptchaEngine engine;
  return engine;
}

std::int32_t CaptchaEngine::ImageWidth() const {
  const std::scoped_lock lock(mutex_);
  return imageWidth_;
}
std::int32_t CaptchaEngine::ImageHeight() const {
  const std::scoped_lock lock(mutex_);
  return imageHeight_;
}
std::int32_t CaptchaEngine::CodeLength() const {
  const std::scoped_lock lock(mutex_);
  return codeLength_;
}
std::int32_t CaptchaEngine::CodeType() const {
  const std::scoped_lock lock(mutex_);
  return codeType_;
}
std::int32_t CaptchaEngine::TextStyle() const {
  const std::scoped_lock lock(mutex_);
  return textStyle_;
}
std::string CaptchaEngine::Format() const {
  const std::scoped_lock lock(mutex_);
  return format_;
}
std::string CaptchaEngine::GetValue() const {
  const std::scoped_lock lock(mutex_);
  return currentCode_;
}

void CaptchaEngine::SetImageWidth(std::int32_t value) {
  const std::scoped_lock lock(mutex_);
  imageWidth_ = value;
}
void CaptchaEngine::SetImageHeight(std::int32_t value) {
  const std::scoped_lock lock(mutex_);
  imageHeight_ = value > kMinimumImageHeight ? value : kMinimumImageHeight;
}
void CaptchaEngine::SetCodeLength(std::int32_t value) {
  const std::scoped_lock lock(mutex_);
  codeLength_ = value;
}
void CaptchaEngine::SetCodeType(std::int32_t value) {
  const std::scoped_lock lock(mutex_);
  codeType_ = value;
}
void CaptchaEngine::SetTextStyle(std::int32_t value) {
  const std::scoped_lock lock(mutex_);
  textStyle_ = value;
}

void CaptchaEngine::SetFormat(std::string_view text) {
  // Any length is kept; the name is checked only when an image is made, so surrounding
  // spaces stay and make the name unsupported.
  std::string name(text);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (name == "JPG") name = "JPEG";
  const std::scoped_lock lock(mutex_);
  format_ = std::move(name);
}

std::string CaptchaEngine::GenerateCode() {
  const std::scoped_lock lock(mutex_);
  return GenerateCodeLocked();
}

std::string CaptchaEngine::GenerateCodeLocked() {
  const std::string_view alphabet = Alphabet(codeType_);
  const auto size = static_cast<std::int32_t>(alphabet.size());
  std::string code;
  if (codeLength_ > 0) code.reserve(static_cast<std::size_t>(codeLength_));
  for (std::int32_t i = 0; i < codeLength_; ++i) {
    code += alphabet[static_cast<std::size_t>(RandomInt(size))];
  }
  return code;
}

void CaptchaEngine::SetCurrentCode(std::string_view code) {
  const std::scoped_lock lock(mutex_);
  SetCurrentCodeLocked(code);
}

void CaptchaEngine::SetCurrentCodeLocked(std::string_view code) {
  currentCode_ = code.empty() ? GenerateCodeLocked() : std::string(code);
}

void CaptchaEngine::CreateImage(std::string_view code, ByteArray& /*out*/) {
  const std::scoped_lock lock(mutex_);
  SetCurrentCodeLocked(code);
  throw EngineError("Image drawing is not available in this build yet!");
}

void CaptchaEngine::CreateSound(std::string_view code, ByteArray& out) {
  const std::scoped_lock lock(mutex_);
  SetCurrentCodeLocked(code);
  SoundGenerator().GenerateWave(currentCode_, out);
}

}  // namespace quillgate
