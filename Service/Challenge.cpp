#include "Service/Challenge.h"

#include "Engine/StandaloneCaptcha.h"
#include "Service/KeyRing.h"

#include <sodium.h>

#include <array>

namespace quillgate::service {
namespace {

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

std::string GenerateCode(std::int32_t length, std::int32_t type) { return RandomCode(length, type); }

std::vector<unsigned char> RenderImage(const std::string& code, const ImageSettings& settings) {
  return DrawStandaloneImage(code, settings.width, settings.height, settings.style, settings.format);
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
