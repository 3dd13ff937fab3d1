#pragma once
// Challenge tokens: what the server needs to check an answer later (the code, when the
// token expires, a random id for the replay store, the site and page it was asked for, and
// what the challenge looked like), sealed with XChaCha20-Poly1305 under the server's key
// so that the visitor can neither read the code nor change any of it.
//
// Layout before base64url (no padding): version (1 byte, 2) | key id (4, big-endian) |
// nonce (24) | ciphertext of [expires ms (8) | issued ms (8) | id (16) | issuer (8) |
// style (1) | type (1) | width (2) | height (2) | code length (1) | code | site key length
// (1) | site key | hostname length (1) | hostname] | tag (16). Numbers are big-endian. The
// version, key id and nonce are authenticated as associated data. Tokens of version 1
// (no site, seconds) are refused as malformed.

#include "Service/KeyRing.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace quillgate::service {

using TokenId = std::array<unsigned char, 16>;

struct TokenClaims {
  std::string code;            // at most 255 bytes
  std::int64_t expiresMs = 0;  // Unix time in milliseconds; refused from this moment on
  std::int64_t issuedMs = 0;   // Unix time in milliseconds when sealed
  TokenId id{};                // random, names the token in the replay store
  std::uint64_t issuer = 0;    // the issuing server (memory store), 0 for a shared store
  std::string siteKey;         // the site it was asked for, at most 255 bytes
  std::string hostname;        // the page's host, empty when the request named no origin
  std::uint8_t style = 0;      // what the visitor was shown, reported back on verify
  std::uint8_t type = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint32_t keyId = 0;     // the key that sealed it (set by Seal, read by Open)
};

enum class TokenError {
  Malformed,   // not base64url, wrong length or version: not one of our tokens at all
  UnknownKey,  // sealed with a key this server does not hold (any more)
  Tampered,    // fails authentication under the key it names
  Expired,     // genuine, but its time is over
};

// "malformed", "unknown_key", "tampered", "expired": the error texts of the HTTP API.
[[nodiscard]] std::string_view ErrorName(TokenError error);

// Seals `claims` with the ring's first key and a fresh random nonce; `claims.keyId` is
// ignored. Throws std::invalid_argument for a code, site key or hostname over 255 bytes.
[[nodiscard]] std::string SealToken(const KeyRing& keys, const TokenClaims& claims);

// Opens a token and checks its expiry against `nowMs` (Unix milliseconds). Expiry is
// judged only after the token has proved genuine, so a forged expiry never gets that far.
[[nodiscard]] std::variant<TokenClaims, TokenError> OpenToken(const KeyRing& keys,
                                                              std::string_view token,
                                                              std::int64_t nowMs);

// A new random token id.
[[nodiscard]] TokenId NewTokenId();
[[nodiscard]] std::string Hex(const TokenId& id);

}  // namespace quillgate::service
