#include "Service/Token.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace quillgate::service {
namespace {

constexpr unsigned char kVersion = 2;
constexpr std::size_t kHeaderSize = 1 + 4 + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
// expires, issued, id, issuer, style, type, width, height, and the three length bytes.
constexpr std::size_t kFixedClaims = 8 + 8 + 16 + 8 + 1 + 1 + 2 + 2 + 3;
constexpr std::size_t kTag = crypto_aead_xchacha20poly1305_ietf_ABYTES;
// Longest possible token before encoding: three texts of 255 bytes.
constexpr std::size_t kMaxBinary = kHeaderSize + kFixedClaims + 3 * 255 + kTag;

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

void PutText(std::vector<unsigned char>& out, const std::string& text) {
  out.push_back(static_cast<unsigned char>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

// Reads a length-prefixed text at `at`; false when it runs past `end`.
bool GetText(const unsigned char*& at, const unsigned char* end, std::string& text) {
  if (at >= end || static_cast<std::size_t>(end - at - 1) < *at) return false;
  const std::size_t length = *at++;
  text.assign(reinterpret_cast<const char*>(at), length);
  at += length;
  return true;
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
  if (claims.code.size() > 255 || claims.siteKey.size() > 255 || claims.hostname.size() > 255) {
    throw std::invalid_argument("a token's code, site key and hostname are at most 255 bytes each");
  }
  const SealingKey& key = keys.Sealing();

  std::vector<unsigned char> plain;
  plain.reserve(kFixedClaims + claims.code.size() + claims.siteKey.size() + claims.hostname.size());
  PutBig(plain, static_cast<std::uint64_t>(claims.expiresMs), 8);
  PutBig(plain, static_cast<std::uint64_t>(claims.issuedMs), 8);
  plain.insert(plain.end(), claims.id.begin(), claims.id.end());
  PutBig(plain, claims.issuer, 8);
  plain.push_back(claims.style);
  plain.push_back(claims.type);
  PutBig(plain, claims.width, 2);
  PutBig(plain, claims.height, 2);
  PutText(plain, claims.code);
  PutText(plain, claims.siteKey);
  PutText(plain, claims.hostname);

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
                                                std::int64_t nowMs) {
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
  TokenClaims claims;
  const unsigned char* at = plain.data();
  const unsigned char* const plainEnd = plain.data() + plainLength;
  bool whole = plainLength >= kFixedClaims;
  if (whole) {
    claims.expiresMs = static_cast<std::int64_t>(GetBig(at, 8));
    claims.issuedMs = static_cast<std::int64_t>(GetBig(at + 8, 8));
    std::copy_n(at + 16, claims.id.size(), claims.id.begin());
    claims.issuer = GetBig(at + 32, 8);
    claims.style = at[40];
    claims.type = at[41];
    claims.width = static_cast<std::uint16_t>(GetBig(at + 42, 2));
    claims.height = static_cast<std::uint16_t>(GetBig(at + 44, 2));
    at += 46;
    whole = GetText(at, plainEnd, claims.code) && GetText(at, plainEnd, claims.siteKey) &&
            GetText(at, plainEnd, claims.hostname) && at == plainEnd;
  }
  claims.keyId = keyId;
  sodium_memzero(plain.data(), plain.size());
  if (!whole) return TokenError::Malformed;
  if (nowMs >= claims.expiresMs) return TokenError::Expired;
  return claims;
}

}  // namespace quillgate::service
