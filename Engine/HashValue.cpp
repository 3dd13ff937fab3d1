// The hash-value contract: a page keeps the hash of the code instead of the code, and checks
// an answer by hashing it the same way.
#include "Engine/CaptchaEngine.h"

#include "HashAlgorithms/HashCalculator.h"

namespace quillgate {
namespace {

constexpr int kSha512 = 6;

// Equal length and bytes, examined without an early exit so that the time taken does not
// tell an attacker how many leading characters of a forged hash were right.
bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;  // the length of a hash value is no secret
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  }
  return difference == 0;
}

}  // namespace

std::string CaptchaEngine::ComputeHash(std::string_view text) {
  return CHashCalculator().HashString(text, kSha512);
}

std::string CaptchaEngine::GetHashValue() const {
  return ComputeHash(GetValue());
}

bool CaptchaEngine::Validate(std::string_view userCode, std::string_view hashValue) {
  return ConstantTimeEquals(hashValue, ComputeHash(userCode));
}

}  // namespace quillgate
