#pragma once
// One unit of proof of work: one call of a standard key-derivation function, the same call a
// visitor's browser makes natively (PBKDF2 through WebCrypto) or through a WebAssembly build
// (Argon2id). Because the browser runs the function's own inner loop at native speed, a bot
// in native code saves little per unit, unlike a hash per nonce where the browser pays a
// call's overhead for each tiny hash.
//
// A unit's input is the puzzle's 16-byte seed and five bytes naming the try: the search
// (1 byte) and the candidate (4 bytes, big-endian).
//   pbkdf2-sha256: PBKDF2-HMAC-SHA-256(password = seed, salt = the five bytes, iterations)
//   argon2id:      Argon2id v1.3 (password = the five bytes, salt = seed, passes, memory, 1 lane)
// Both give 32 bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillgate::service {

enum class WorkAlgorithm : std::uint8_t { Pbkdf2Sha256 = 1, Argon2id = 2 };

[[nodiscard]] std::string_view NameOf(WorkAlgorithm algorithm);  // "pbkdf2-sha256", "argon2id"
[[nodiscard]] std::optional<WorkAlgorithm> WorkAlgorithmNamed(std::string_view name);

// What one unit costs: iterations for PBKDF2; memory and passes for Argon2id.
struct WorkCost {
  std::uint32_t iterations = 0;
  std::uint32_t memoryKib = 0;
  std::uint32_t passes = 0;
  bool operator==(const WorkCost&) const = default;
};

// Each algorithm's unit. PBKDF2: 400 iterations take a browser about 0.15 ms (with a few
// WebCrypto calls in flight, which hides most of a call's overhead) and a server about
// 0.06 ms, so eight of them, a puzzle's targets, stay under half a millisecond to issue.
// Argon2id: 256 KiB in one pass, about 0.3 ms natively, so a puzzle costs the server about
// 2.5 ms; its memory is what a GPU or a wide machine cannot multiply cheaply.
[[nodiscard]] WorkCost UnitCostOf(WorkAlgorithm algorithm);

using WorkSeed = std::array<unsigned char, 16>;
using WorkOutput = std::array<unsigned char, 32>;

// Throws std::invalid_argument for a cost the algorithm cannot take.
[[nodiscard]] WorkOutput WorkUnit(WorkAlgorithm algorithm, const WorkCost& cost, const WorkSeed& seed,
                                  std::uint8_t search, std::uint32_t candidate);

}  // namespace quillgate::service
