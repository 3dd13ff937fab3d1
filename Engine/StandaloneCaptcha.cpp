#include "Engine/StandaloneCaptcha.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSource.h"
#include "CommonUtilities/SecureRandom.h"
#include "Engine/ImageEncoding.h"
#include "Engine/ImageGenerator.h"
#include "Platform/Graphics/Encoders.h"

#include <span>

namespace quillgate {

std::string_view CodeAlphabet(std::int32_t codeType) noexcept {
  switch (codeType) {
    case 1: return "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    case 2: return "0123456789";
    // 0, and every value without an alphabet of its own: digits and capitals without the
    // easily confused 0, 1, 7, I, L and O. Falling back here keeps a mistyped code type
    // from producing codes made of NUL characters that nobody can read or type.
    default: return "2345689ABCDEFGHJKMNPQRSTUVWXYZ";
  }
}

std::string RandomCode(std::int32_t length, std::int32_t codeType) {
  const std::string_view alphabet = CodeAlphabet(codeType);
  const auto size = static_cast<std::uint32_t>(alphabet.size());
  std::string code;
  if (length > 0) code.reserve(static_cast<std::size_t>(length));
  for (std::int32_t i = 0; i < length; ++i) code += alphabet[SecureRandomBelow(size)];
  return code;
}

void EncodeBitmap(const graphics::Bitmap& bitmap, std::string_view format, graphics::MemoryStream& stream) {
  const std::optional<std::u16string_view> mimeType = MimeTypeOfFormat(format);
  if (!mimeType) throw EngineError("This picture format is not supported !");
  // No encoder leaves the identifier null, which the save refuses.
  graphics::CLSID encoder{};
  FindEncoder(*mimeType, encoder);
  const std::int32_t quality = 100;
  const graphics::EncoderParameter qualityParameter{
      graphics::EncoderQuality, 1, graphics::EncoderParameterValueType::Long, &quality};
  const graphics::EncoderParameters parameters{std::span(&qualityParameter, 1)};
  const std::vector<std::uint32_t> pixels = bitmap.CopyArgb();
  const graphics::ArgbView image{static_cast<int>(bitmap.GetWidth()), static_cast<int>(bitmap.GetHeight()), pixels};
  if (graphics::SaveImageToStream(image, stream, encoder, &parameters) != graphics::Ok) {
    throw EngineError("Failed to save to stream!");
  }
}

std::vector<unsigned char> DrawStandaloneImage(const std::string& code, std::int32_t width, std::int32_t height,
                                               std::int32_t style, std::string_view format) {
  graphics::MemoryStream stream;
  {
    // The styles' random values come from this thread's own source for this one drawing:
    // no lock shared with other threads, and nothing another caller could predict.
    const ThreadRandomScope random;
    const ImageGenerator generator(code, width, height, style);
    EncodeBitmap(*generator.GetBitmap(), format, stream);
  }
  const auto bytes = stream.Bytes();
  return {bytes.begin(), bytes.end()};
}

}  // namespace quillgate
