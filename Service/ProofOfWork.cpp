#include "Service/ProofOfWork.h"

#include <sodium.h>

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <vector>

namespace quillgate::service {
namespace {

constexpr unsigned char kVersion = 1;
constexpr std::size_t kFixed = 1 + 4 + 8 + 8 + 8 + 1 + 16 + 1;
constexpr std::size_t kMac = 32;
constexpr std::size_t kMaxBinary = kFixed + 255 + kMac;
constexpr std::string_view kPurpose = "quillgate puzzle";

void PutBig(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

std::uint64_t GetBig(const unsigned char* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
  return value;
}

// Keyed BLAKE2b, with its own purpose so no other use of the key can produce one.
std::array<unsigned char, kMac> MacOf(const SealingKey& key, const unsigned char* data, std::size_t size) {
  std::array<unsigned char, kMac> mac{};
  crypto_generichash_state state;
  crypto_generichash_init(&state, key.bytes.data(), key.bytes.size(), mac.size());
  crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(kPurpose.data()), kPurpose.size());
  crypto_generichash_update(&state, data, size);
  crypto_generichash_final(&state, mac.data(), mac.size());
  return mac;
}

bool IsNonceCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string SealPuzzle(const KeyRing& keys, Puzzle puzzle) {
  InitializeSodium();
  if (puzzle.bits < 1 || puzzle.bits > kMaxPowBits || puzzle.siteKey.size() > 255) {
    throw std::invalid_argument("a puzzle needs 1 to 28 bits and a site key of at most 255 bytes");
  }
  const SealingKey& key = keys.Sealing();
  randombytes_buf(puzzle.salt.data(), puzzle.salt.size());
  std::vector<unsigned char> binary;
  binary.reserve(kFixed + puzzle.siteKey.size() + kMac);
  binary.push_back(kVersion);
  PutBig(binary, key.id, 4);
  PutBig(binary, static_cast<std::uint64_t>(puzzle.issuedMs), 8);
  PutBig(binary, static_cast<std::uint64_t>(puzzle.expiresMs), 8);
  PutBig(binary, puzzle.issuer, 8);
  binary.push_back(static_cast<unsigned char>(puzzle.bits));
  binary.insert(binary.end(), puzzle.salt.begin(), puzzle.salt.end());
  binary.push_back(static_cast<unsigned char>(puzzle.siteKey.size()));
  binary.insert(binary.end(), puzzle.siteKey.begin(), puzzle.siteKey.end());
  const auto mac = MacOf(key, binary.data(), binary.size());
  binary.insert(binary.end(), mac.begin(), mac.end());

  const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  std::string text(sodium_base64_ENCODED_LEN(binary.size(), variant), '\0');
  sodium_bin2base64(text.data(), text.size(), binary.data(), binary.size(), variant);
  text.resize(std::char_traits<char>::length(text.c_str()));
  return text;
}

std::variant<Puzzle, PuzzleError> OpenPuzzle(const KeyRing& keys, std::string_view text, std::int64_t nowMs) {
  InitializeSodium();
  const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  if (text.size() > sodium_base64_ENCODED_LEN(kMaxBinary, variant)) return PuzzleError::Malformed;
  std::vector<unsigned char> binary(kMaxBinary);
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(binary.data(), binary.size(), text.data(), text.size(), nullptr, &length, &end, variant) != 0 ||
      end != text.data() + text.size() || length < kFixed + kMac || binary[0] != kVersion ||
      length != kFixed + binary[kFixed - 1] + kMac) {
    return PuzzleError::Malformed;
  }
  const SealingKey* key = keys.Find(static_cast<std::uint32_t>(GetBig(binary.data() + 1, 4)));
  if (key == nullptr) return PuzzleError::Forged;
  const auto mac = MacOf(*key, binary.data(), length - kMac);
  if (sodium_memcmp(mac.data(), binary.data() + length - kMac, kMac) != 0) return PuzzleError::Forged;
  Puzzle puzzle;
  puzzle.keyId = key->id;
  puzzle.issuedMs = static_cast<std::int64_t>(GetBig(binary.data() + 5, 8));
  puzzle.expiresMs = static_cast<std::int64_t>(GetBig(binary.data() + 13, 8));
  puzzle.issuer = GetBig(binary.data() + 21, 8);
  puzzle.bits = binary[29];
  std::copy_n(binary.data() + 30, puzzle.salt.size(), puzzle.salt.begin());
  puzzle.siteKey.assign(reinterpret_cast<const char*>(binary.data()) + kFixed, binary[kFixed - 1]);
  if (nowMs >= puzzle.expiresMs) return PuzzleError::Expired;
  return puzzle;
}

int WorkOf(std::string_view puzzleText, std::string_view nonce) {
  if (nonce.empty() || nonce.size() > 32 || !std::all_of(nonce.begin(), nonce.end(), IsNonceCharacter)) return 0;
  std::array<unsigned char, crypto_hash_sha256_BYTES> hash{};
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(puzzleText.data()), puzzleText.size());
  crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(nonce.data()), nonce.size());
  crypto_hash_sha256_final(&state, hash.data());
  int bits = 0;
  for (const unsigned char byte : hash) {
    if (byte != 0) return bits + std::countl_zero(byte);
    bits += 8;
  }
  return bits;
}

TokenClaims PuzzleUse(const Puzzle& puzzle, std::string_view text) {
  TokenClaims use;
  std::array<unsigned char, crypto_generichash_BYTES> hash{};
  crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                     reinterpret_cast<const unsigned char*>(kPurpose.data()), kPurpose.size());
  std::copy_n(hash.begin(), use.id.size(), use.id.begin());
  use.issuedMs = puzzle.issuedMs;
  use.expiresMs = puzzle.expiresMs;
  use.issuer = puzzle.issuer;
  use.siteKey = puzzle.siteKey;
  return use;
}

}  // namespace quillgate::service
