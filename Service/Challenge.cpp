#include "Service/Challenge.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/RandomSource.h"
#include "Engine/ImageEncoding.h"
#include "Engine/ImageGenerator.h"
#include "Platform/Graphics/Encoders.h"
#include "Platform/Graphics/MemoryStream.h"
#include "Service/KeyRing.h"

#include <sodium.h>

#include <array>
#include <span>

namespace quillgate::service {
namespace {

// The engine's alphabets, in the same order.
std::string_view Alphabet(std::int32_t type) {
  switch (type) {
    case 1: return "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    case 2: return "0123456789";
    default: return "2345689ABCDEFGHJKMNPQRSTUVWXYZ";
  }
}

// ASCII only: nothing here depends on the process locale.
std::string Canonical(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

std::string GenerateCode(std::int32_t length, std::int32_t type) {
  InitializeSodium();
  const std::string_view alphabet = Alphabet(type);
  std::string code;
  for (std::int32_t i = 0; i < length; ++i) {
    code += alphabet[randombytes_uniform(static_cast<std::uint32_t>(alphabet.size()))];
  }
  return code;
}

std::vector<unsigned char> RenderImage(const std::string& code, const ImageSettings& settings) {
  std::vector<std::uint32_t> pixels;
  int width = 0;
  int height = 0;
  {
    // The styles' random values come from this thread's own source for this one drawing:
    // no lock shared with other workers, and nothing another request could predict.
    const ThreadRandomScope random;
    const ImageGenerator generator(code, settings.width, settings.height, settings.style);
    const auto bitmap = generator.GetBitmap();
    pixels = bitmap->CopyArgb();
    width = static_cast<int>(bitmap->GetWidth());
    height = static_cast<int>(bitmap->GetHeight());
  }
  const std::string_view mime = MimeTypeOf(settings.format);
  const std::u16string wideMime(mime.begin(), mime.end());
  graphics::CLSID encoder{};
  if (FindEncoder(wideMime, encoder) < 0) throw EngineError("This picture format is not supported !");
  const std::int32_t quality = 100;
  const graphics::EncoderParameter qualityParameter{
      graphics::EncoderQuality, 1, graphics::EncoderParameterValueType::Long, &quality};
  const graphics::EncoderParameters parameters{std::span(&qualityParameter, 1)};
  graphics::MemoryStream stream;
  if (graphics::SaveImageToStream(graphics::ArgbView{width, height, pixels}, stream, encoder,
                                  &parameters) != graphics::Ok) {
    throw EngineError("Failed to save to stream!");
  }
  const auto bytes = stream.Bytes();
  return {bytes.begin(), bytes.end()};
}

bool AnswerMatches(std::string_view answer, std::string_view code) {
  InitializeSodium();
  // Both sides are hashed to a fixed size first, so the comparison's time says nothing
  // about how much of the answer was right, nor about its length.
  const std::string a = Canonical(answer);
  const std::string c = Canonical(code);
  std::array<unsigned char, 32> ha{};
  std::array<unsigned char, 32> hc{};
  crypto_generichash(ha.data(), ha.size(), reinterpret_cast<const unsigned char*>(a.data()), a.size(), nullptr, 0);
  crypto_generichash(hc.data(), hc.size(), reinterpret_cast<const unsigned char*>(c.data()), c.size(), nullptr, 0);
  return sodium_memcmp(ha.data(), hc.data(), ha.size()) == 0;
}

}  // namespace quillgate::service
