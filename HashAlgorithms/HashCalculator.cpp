#include "HashAlgorithms/HashCalculator.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "HashAlgorithms/HexFormat.h"

namespace quillgate {

CHashCalculator::CHashCalculator()
    : digests{CSHA(CSHA::SHA160), CSHA(CSHA::SHA256), CSHA(CSHA::SHA384), CSHA(CSHA::SHA512)} {}

std::string CHashCalculator::HashString(std::string_view text, int selector) {
  if (selector < kSelectSha1 || selector > kSelectSha512) {
    throw std::invalid_argument("CHashCalculator::HashString: unknown digest selector " +
                                std::to_string(selector) +
                                " (3 = SHA-1, 4 = SHA-256, 5 = SHA-384, 6 = SHA-512)");
  }
  CSHA& sha = digests[static_cast<std::size_t>(selector - kSelectSha1)];

  sha.Reset();
  // AddData takes a 32-bit count; a longer text goes in as several pieces, which gives
  // the same digest. An empty text still makes one call, so it hashes as the empty message.
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t remaining = text.size();
  constexpr std::size_t kMaxPiece = std::numeric_limits<std::int32_t>::max();
  do {
    const std::size_t piece = std::min(remaining, kMaxPiece);
    sha.AddData(bytes, static_cast<std::int32_t>(piece));
    bytes += piece;
    remaining -= piece;
  } while (remaining > 0);

  std::array<unsigned char, CSHA::kMaxDigestSize + 1> digest{};
  sha.FinalDigest(digest.data());
  std::array<char, 2 * CSHA::kMaxDigestSize + 1> hex{};
  BytesToHex(digest.data(), sha.DigestSize(), hex.data());
  return std::string(hex.data(), 2 * sha.DigestSize());
}

}  // namespace quillgate
