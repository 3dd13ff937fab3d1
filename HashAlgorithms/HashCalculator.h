#pragma once
// Turns a text into the uppercase hexadecimal digest of its bytes. A calculator is made for
// one hashing request and dropped after it; it keeps nothing between requests.

#include <array>
#include <string>
#include <string_view>

#include "HashAlgorithms/SHA.h"

namespace quillgate {

class CHashCalculator {
 public:
  // Selectors of HashString.
  static constexpr int kSelectSha1 = 3;
  static constexpr int kSelectSha256 = 4;
  static constexpr int kSelectSha384 = 5;
  static constexpr int kSelectSha512 = 6;

  CHashCalculator();

  // The digest of exactly the bytes of `text` (nothing added, no case change) as 40, 64,
  // 96 or 128 uppercase hexadecimal characters for selector 3 (SHA-1), 4 (SHA-256),
  // 5 (SHA-384) or 6 (SHA-512). Any other selector throws std::invalid_argument.
  [[nodiscard]] std::string HashString(std::string_view text, int selector);

 private:
  // One digest per variant, in method order 0..3.
  std::array<CSHA, 4> digests;
};

}  // namespace quillgate
