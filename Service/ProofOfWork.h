#pragma once
// Proof of work before a challenge: the server hands out a puzzle (random salt, difficulty,
// expiry and site, MACed under the server's key), and the page finds a nonce such that
// SHA-256 over the puzzle's text followed by the nonce's text starts with that many zero
// bits. Checking costs one hash; finding costs about 2^bits hashes, so each challenge a bot
// asks for costs it real CPU time while a person waits a moment.
//
// Puzzle text, base64url without padding, of: version (1 byte, 1) | key id (4) | issued ms
// (8) | expires ms (8) | issuer (8) | bits (1) | salt (16) | site key length (1) | site key
// | MAC (32, keyed BLAKE2b of everything before it under the key the id names). Numbers are
// big-endian. Nothing in it is secret; the MAC keeps it from being changed or made up.

#include "Service/KeyRing.h"
#include "Service/Token.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace quillgate::service {

// The most bits a puzzle may ask for: beyond this a person's browser would take minutes.
inline constexpr int kMaxPowBits = 28;

struct Puzzle {
  std::int64_t issuedMs = 0;
  std::int64_t expiresMs = 0;
  std::uint64_t issuer = 0;  // as a token's: the replay store that records its use
  int bits = 0;              // 1..kMaxPowBits
  std::array<unsigned char, 16> salt{};
  std::string siteKey;       // at most 255 bytes
  std::uint32_t keyId = 0;   // the key that MACed it (set by Seal, read by Open)
};

// Fills in a fresh random salt and MACs the puzzle with the ring's first key. Throws
// std::invalid_argument for bits outside 1..kMaxPowBits or a site key over 255 bytes.
[[nodiscard]] std::string SealPuzzle(const KeyRing& keys, Puzzle puzzle);

enum class PuzzleError {
  Malformed,  // not a puzzle text at all
  Forged,     // a key this server does not hold, or a MAC that does not match
  Expired,
};

[[nodiscard]] std::variant<Puzzle, PuzzleError> OpenPuzzle(const KeyRing& keys, std::string_view text,
                                                           std::int64_t nowMs);

// Leading zero bits of SHA-256(puzzle text || nonce). A nonce is 1 to 32 ASCII digits or
// letters; anything else counts as no work (0).
[[nodiscard]] int WorkOf(std::string_view puzzleText, std::string_view nonce);

// How the replay store knows a puzzle: an id derived from its text, its times and issuer.
[[nodiscard]] TokenClaims PuzzleUse(const Puzzle& puzzle, std::string_view text);

}  // namespace quillgate::service
