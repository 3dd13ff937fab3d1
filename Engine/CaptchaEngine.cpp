#include "Engine/CaptchaEngine.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/SecureRandom.h"
#include "Engine/ImageEncoding.h"
#include "Engine/ImageGenerator.h"
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
  // Any length is kept; the name is checked only when an image is made.
  std::string name = CanonicalFormatName(text);
  const std::scoped_lock lock(mutex_);
  format_ = std::move(name);
}

std::string CaptchaEngine::GenerateCode() {
  const std::scoped_lock lock(mutex_);
  return GenerateCodeLocked();
}

std::string CaptchaEngine::GenerateCodeLocked() {
  const std::string_view alphabet = Alphabet(codeType_);
  const auto size = static_cast<std::uint32_t>(alphabet.size());
  std::string code;
  if (codeLength_ > 0) code.reserve(static_cast<std::size_t>(codeLength_));
  for (std::int32_t i = 0; i < codeLength_; ++i) {
    code += alphabet[SecureRandomBelow(size)];
  }
  return code;
}

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

  const std::optional<std::u16string_view> mimeType = MimeTypeOfFormat(settings.format);
  if (!mimeType) throw EngineError("This picture format is not supported !");
  // No encoder leaves the identifier null, which the save refuses.
  graphics::CLSID encoder{};
  FindEncoder(*mimeType, encoder);

  const std::int32_t quality = 100;
  const graphics::EncoderParameter qualityParameter{
      graphics::EncoderQuality, 1, graphics::EncoderParameterValueType::Long, &quality};
  const graphics::EncoderParameters parameters{std::span(&qualityParameter, 1)};
  const std::vector<std::uint32_t> pixels = bitmap->CopyArgb();
  const graphics::ArgbView image{static_cast<int>(bitmap->GetWidth()),
                                 static_cast<int>(bitmap->GetHeight()), pixels};
  if (graphics::SaveImageToStream(image, stream, encoder, &parameters) != graphics::Ok) {
    throw EngineError("Failed to save to stream!");
  }

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
