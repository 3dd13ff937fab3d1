#include "Engine/CaptchaEngine.h"

#include "CommonUtilities/EngineError.h"
#include "Engine/ImageEncoding.h"
#include "Engine/ImageGenerator.h"
#include "Engine/StandaloneCaptcha.h"
#include "Platform/Graphics/Encoders.h"
#include "Platform/Graphics/MemoryStream.h"
#include "Sound/SoundGenerator.h"

#include <array>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

namespace quillgate {
namespace {

constexpr std::int32_t kMinimumImageHeight = 10;

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
  // Any length is kept; the name is checked only when an image is made.
  std::string name = CanonicalFormatName(text);
  const std::scoped_lock lock(mutex_);
  format_ = std::move(name);
}

std::string CaptchaEngine::GenerateCode() {
  const std::scoped_lock lock(mutex_);
  return GenerateCodeLocked();
}

std::string CaptchaEngine::GenerateCodeLocked() { return RandomCode(codeLength_, codeType_); }

void CaptchaEngine::SetCurrentCode(std::string_view code) {
  const std::scoped_lock lock(mutex_);
  SetCurrentCodeLocked(code);
}

std::string CaptchaEngine::SetCurrentCodeLocked(std::string_view code) {
  currentCode_ = code.empty() ? GenerateCodeLocked() : std::string(code);
  return currentCode_;
}

void CaptchaEngine::SetBeforeDrawHookForTesting(std::function<void()> hook) {
  const std::scoped_lock lock(mutex_);
  beforeDraw_ = std::move(hook);
}

void CaptchaEngine::CreateImage(std::string_view code, ByteArray& out) {
  // Only the snapshot is taken under the lock: the code made current here is the one drawn
  // and encoded below, whatever other threads make current meanwhile.
  ImageSettings settings;
  std::function<void()> beforeDraw;
  {
    const std::scoped_lock lock(mutex_);
    settings = {SetCurrentCodeLocked(code), format_, imageWidth_, imageHeight_, textStyle_};
    beforeDraw = beforeDraw_;
  }
  if (beforeDraw) beforeDraw();

  const ImageGenerator generator(settings.code, settings.width, settings.height, settings.style);
  const boost::shared_ptr<graphics::Bitmap> bitmap = generator.GetBitmap();
  // An in-memory stream needs no setup that could fail; it is released with this scope
  // on every path, like the bitmap and the generator.
  graphics::MemoryStream stream;
  EncodeBitmap(*bitmap, settings.format, stream);

  std::uint64_t end = 0;
  // A length that a byte array's 32-bit count cannot hold is refused rather than cut.
  if (stream.Seek(0, graphics::SeekOrigin::End, end) != graphics::Ok ||
      end > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    throw EngineError("Failed to get the size of the stream!");
  }
  const auto size = static_cast<std::int32_t>(end);
  std::uint64_t start = 0;
  if (stream.Seek(0, graphics::SeekOrigin::Begin, start) != graphics::Ok) {
    throw EngineError("Failed to move the file pointer to the beginning of the stream!");
  }

  // The previous buffer is released first, and the length stays 0 until the bytes are in,
  // so `out` never claims bytes it does not hold.
  out.length = 0;
  out.buffer.reset();
  try {
    // shared_array frees the buffer itself should its own bookkeeping fail to allocate.
    out.buffer.reset(std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(size)).release());
  } catch (const std::bad_alloc&) {
    throw EngineError("Failed to allocate the memory for byte array!");
  }
  std::size_t bytesRead = 0;
  if (stream.Read(std::span(out.buffer.get(), static_cast<std::size_t>(size)), bytesRead) !=
      graphics::Ok) {
    throw EngineError("Failed to copy the picture into the byte array!");
  }
  out.length = size;
}

void CaptchaEngine::CreateSound(std::string_view code, ByteArray& out) {
  std::string spoken;
  {
    const std::scoped_lock lock(mutex_);
    spoken = SetCurrentCodeLocked(code);
  }
  SoundGenerator().GenerateWave(spoken, out);
}

}  // namespace quillgate
