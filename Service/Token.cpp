#include "Service/Token.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace quillgate::service {
namespace {

constexpr unsigned char kVersion = 1;
constexpr std::size_t kHeaderSize = 1 + 4 + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t kFixedClaims = 8 + 8 + 16 + 1;
constexpr std::size_t kTag = crypto_aead_xchacha20poly1305_ietf_ABYTES;
// Longest possible token before encoding: a code of 255 bytes.
constexpr std::size_t kMaxBinary = kHeaderSize + kFixedClaims + 255 + kTag;

void PutBig(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
    out.push_back(static_cast<unsigned char>(value >> shift));
  }
}

std::uint64_t GetBig(const unsigned char* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
  return value;
}

}  // namespace

std::string_view ErrorName(TokenError error) {
  switch (error) {
    case TokenError::Malformed: return "malformed";
    case TokenError::UnknownKey: return "unknown_key";
    case TokenError::Tampered: return "tampered";
    case TokenError::Expired: return "expired";
  }
  return "malformed";
}

TokenId NewTokenId() {
  InitializeSodium();
  TokenId id{};
  randombytes_buf(id.data(), id.size());
  return id;
}

std::string Hex(const TokenId& id) {
  std::string hex(id.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), id.data(), id.size());
  hex.pop_back();
  return hex;
}

std::string SealToken(const KeyRing& keys, const TokenClaims& claims) {
  InitializeSodium();
  if (claims.code.size() > 255) throw std::invalid_argument("a token code is at most 255 bytes");
  const SealingKey& key = keys.Sealing();

  std::vector<unsigned char> plain;
  plain.reserve(kFixedClaims + claims.code.size());
  PutBig(plain, static_cast<std::uint64_t>(claims.expires), 8);
  PutBig(plain, static_cast<std::uint64_t>(claims.issuedMs), 8);
  plain.insert(plain.end(), claims.id.begin(), claims.id.end());
  plain.push_back(static_cast<unsigned char>(claims.code.size()));
  plain.insert(plain.end(), claims.code.begin(), claims.code.end());

  std::vector<unsigned char> sealed;
  sealed.reserve(kHeaderSize + plain.size() + kTag);
  sealed.push_back(kVersion);
  PutBig(sealed, key.id, 4);
  sealed.resize(kHeaderSize);
  randombytes_buf(sealed.data() + 5, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
  sealed.resize(kHeaderSize + plain.size() + kTag);
  unsigned long long sealedLength = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(sealed.data() + kHeaderSize, &sealedLength,
                                             plain.data(), plain.size(), sealed.data(),
                                             kHeaderSize, nullptr, sealed.data() + 5,
                                             key.bytes.data());
  sodium_memzero(plain.data(), plain.size());

  std::string text(sodium_base64_ENCODED_LEN(sealed.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING), '\0');
  sodium_bin2base64(text.data(), text.size(), sealed.data(), sealed.size(),
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  text.resize(std::char_traits<char>::length(text.c_str()));
  return text;
}

std::variant<TokenClaims, TokenError> OpenToken(const KeyRing& keys, std::string_view token,
                                                std::int64_t now) {
  InitializeSodium();
  // Checked before decoding so that a huge string costs nothing.
  if (token.size() > sodium_base64_ENCODED_LEN(kMaxBinary, sodium_base64_VARIANT_URLSAFE_NO_PADDING)) {
    return TokenError::Malformed;
  }
  std::vector<unsigned char> sealed(kMaxBinary);
  std::size_t length = 0;
  const char* end = nullptr;
  // Strict: trailing characters or non-zero padding bits are refused, so one token has
  // exactly one spelling.
  if (sodium_base642bin(sealed.data(), sealed.size(), token.data(), token.size(), nullptr,
                        &length, &end, sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0 ||
      end != token.data() + token.size()) {
    return TokenError::Malformed;
  }
  if (length < kHeaderSize + kFixedClaims + kTag || sealed[0] != kVersion) {
    return TokenError::Malformed;
  }
  const auto keyId = static_cast<std::uint32_t>(GetBig(sealed.data() + 1, 4));
  const SealingKey* key = keys.Find(keyId);
  if (key == nullptr) return TokenError::UnknownKey;

  std::vector<unsigned char> plain(length - kHeaderSize - kTag);
  unsigned long long plainLength = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(plain.data(), &plainLength, nullptr,
                                                 sealed.data() + kHeaderSize,
                                                 length - kHeaderSize, sealed.data(), kHeaderSize,
                                                 sealed.data() + 5, key->bytes.data()) != 0) {
    return TokenError::Tampered;
  }
  // Genuine from here on: a wrong inner length can only come from a sealing fault.
  if (plainLength < kFixedClaims || plain[kFixedClaims - 1] != plainLength - kFixedClaims) {
    return TokenError::Malformed;
  }
  TokenClaims claims;
  claims.expires = static_cast<std::int64_t>(GetBig(plain.data(), 8));
  claims.issuedMs = static_cast<std::int64_t>(GetBig(plain.data() + 8, 8));
  std::copy_n(plain.data() + 16, claims.id.size(), claims.id.begin());
  claims.code.assign(reinterpret_cast<const char*>(plain.data()) + kFixedClaims,
                     plainLength - kFixedClaims);
  claims.keyId = keyId;
  sodium_memzero(plain.data(), plain.size());
  if (now >= claims.expires) return TokenError::Expired;
  return claims;
}

}  // namespace quillgate::service
