#pragma once
// Proof of work before a challenge. A puzzle is kSearches searches; for each the server
// picks a secret answer, uniform below the puzzle's range, and hands out the work unit's
// output for it (WorkFunction.h) as the search's target. The visitor tries candidates 0, 1,
// 2, ... until a unit gives the target: a search costs about half the range, and the sum
// of eight such searches has a small spread (the 95th percentile about 1.35 times the
// median), so a person's wait is predictable, unlike a leading-zero-bits puzzle whose tries
// are geometric. Issuing costs the server kSearches
// units; checking costs a MAC and one comparison, as the answers are derived from the
// sealing key and the seed, never computed again.
//
// Puzzle text, base64url without padding, of: version (1 byte, 2) | key id (4) | issued ms
// (8) | expires ms (8) | issuer (8) | algorithm (1) | iterations (4) | memory KiB (4) |
// passes (4) | range (4) | seed (16) | site key length (1) | site key | MAC (32, keyed
// BLAKE2b of everything before it under the key the id names). Numbers are big-endian.

#include "Service/KeyRing.h"
#include "Service/Token.h"
#include "Service/WorkFunction.h"

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>

namespace quillgate::service {

inline constexpr int kSearches = 8;
// The most units a puzzle may ask for: about a minute of a person's browser.
inline constexpr std::int32_t kMaxWorkUnits = 200'000;

using WorkAnswers = std::array<std::uint32_t, kSearches>;

struct Puzzle {
  std::int64_t issuedMs = 0;
  std::int64_t expiresMs = 0;
  std::uint64_t issuer = 0;  // as a token's: the replay store that records its use
  WorkAlgorithm algorithm = WorkAlgorithm::Pbkdf2Sha256;
  WorkCost cost;
  std::uint32_t range = 1;  // each answer is below it
  WorkSeed seed{};
  std::string siteKey;      // at most 255 bytes
  std::uint32_t keyId = 0;  // the key that MACed it (set by Seal, read by Open)

  [[nodiscard]] std::int64_t Units() const;
};

// The units a visitor tries on average for a range: its middle, for each search.
[[nodiscard]] constexpr std::int64_t UnitsOf(std::uint32_t range) {
  return std::int64_t{kSearches} * (std::int64_t{range} + 1) / 2;
}
inline std::int64_t Puzzle::Units() const { return UnitsOf(range); }

// The range whose puzzle takes `units` on average (at least one try per search).
[[nodiscard]] std::uint32_t RangeFor(std::int32_t units);

// What the visitor is handed: the sealed text and what it needs to search.
struct PuzzleOffer {
  std::string text;
  WorkAlgorithm algorithm = WorkAlgorithm::Pbkdf2Sha256;
  WorkCost cost;
  WorkSeed seed{};
  std::uint32_t range = 1;
  std::array<WorkOutput, kSearches> targets{};
  std::int64_t expiresMs = 0;
};

// Fills in a fresh random seed, MACs the puzzle with the ring's first key and works out
// its targets (kSearches units of work). Throws std::invalid_argument for a site key over
// 255 bytes, a range of 0 or one beyond kMaxWorkUnits' worth, or a cost the algorithm cannot take.
[[nodiscard]] PuzzleOffer OfferPuzzle(const KeyRing& keys, Puzzle puzzle);

enum class PuzzleError {
  Malformed,  // not a puzzle text at all
  Forged,     // a key this server does not hold, or a MAC that does not match
  Expired,
};

[[nodiscard]] std::variant<Puzzle, PuzzleError> OpenPuzzle(const KeyRing& keys, std::string_view text,
                                                           std::int64_t nowMs);

// Whether `solution` holds the puzzle's answers, for a puzzle OpenPuzzle gave.
[[nodiscard]] bool Solves(const KeyRing& keys, const Puzzle& puzzle, const WorkAnswers& solution);

// How the replay store knows a puzzle: an id derived from its text, its times and issuer.
[[nodiscard]] TokenClaims PuzzleUse(const Puzzle& puzzle, std::string_view text);

// The offer as /api/puzzle sends it, and read back by a solver: {"puzzle", "algorithm",
// "iterations" | "memory_kib" and "passes", "seed", "searches", "range", "targets", "units",
// "expires_ms"}. OfferFromJson throws std::runtime_error naming what is wrong.
[[nodiscard]] nlohmann::json ToJson(const PuzzleOffer& offer);
[[nodiscard]] PuzzleOffer OfferFromJson(const nlohmann::json& value);

// Searches as a visitor does, natively: the answers, and the units it tried. `progress`,
// when given, hears the units tried so far after each search. Throws std::runtime_error
// when a target is not found in the range (an offer that was changed).
struct WorkDone {
  WorkAnswers answers{};
  std::int64_t units = 0;
};
[[nodiscard]] WorkDone SolvePuzzle(const PuzzleOffer& offer,
                                   const std::function<void(std::int64_t)>& progress = {});

}  // namespace quillgate::service
