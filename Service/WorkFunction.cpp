#include "Service/WorkFunction.h"

#include "Service/KeyRing.h"

// SHA-256's block function from OpenSSL (with the CPU's SHA instructions where it has them).
// Its one-call PBKDF2 pays the provider layer on every iteration, four times the hashing
// itself; this loop keeps HMAC's two keyed states and copies them, which is what a bot's
// solver does, so the server issues puzzles as cheaply as a bot solves them.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
#include <sodium.h>

#include <cstring>
#include <stdexcept>

namespace quillgate::service {
namespace {

WorkOutput Pbkdf2Sha256(const WorkSeed& password, const unsigned char* salt, std::size_t saltSize,
                        std::uint32_t iterations) {
  if (iterations == 0) throw std::invalid_argument("PBKDF2 needs at least one iteration");
  std::array<unsigned char, SHA256_CBLOCK> inner{};
  std::array<unsigned char, SHA256_CBLOCK> outer{};
  for (std::size_t i = 0; i < inner.size(); ++i) {
    const unsigned char key = i < password.size() ? password[i] : 0;
    inner[i] = key ^ 0x36;
    outer[i] = key ^ 0x5c;
  }
  SHA256_CTX innerState;
  SHA256_CTX outerState;
  SHA256_Init(&innerState);
  SHA256_Update(&innerState, inner.data(), inner.size());
  SHA256_Init(&outerState);
  SHA256_Update(&outerState, outer.data(), outer.size());

  // One block of output: U1 = HMAC(password, salt || 1), Ui = HMAC(password, Ui-1), T = xor.
  WorkOutput u{};
  SHA256_CTX state = innerState;
  SHA256_Update(&state, salt, saltSize);
  constexpr std::array<unsigned char, 4> kFirstBlock{0, 0, 0, 1};
  SHA256_Update(&state, kFirstBlock.data(), kFirstBlock.size());
  SHA256_Final(u.data(), &state);
  state = outerState;
  SHA256_Update(&state, u.data(), u.size());
  SHA256_Final(u.data(), &state);
  WorkOutput result = u;
  for (std::uint32_t i = 1; i < iterations; ++i) {
    state = innerState;
    SHA256_Update(&state, u.data(), u.size());
    SHA256_Final(u.data(), &state);
    state = outerState;
    SHA256_Update(&state, u.data(), u.size());
    SHA256_Final(u.data(), &state);
    for (std::size_t k = 0; k < result.size(); ++k) result[k] ^= u[k];
  }
  return result;
}

}  // namespace

std::string_view NameOf(WorkAlgorithm algorithm) {
  return algorithm == WorkAlgorithm::Argon2id ? "argon2id" : "pbkdf2-sha256";
}

std::optional<WorkAlgorithm> WorkAlgorithmNamed(std::string_view name) {
  if (name == "pbkdf2-sha256") return WorkAlgorithm::Pbkdf2Sha256;
  if (name == "argon2id") return WorkAlgorithm::Argon2id;
  return std::nullopt;
}

WorkCost UnitCostOf(WorkAlgorithm algorithm) {
  if (algorithm == WorkAlgorithm::Argon2id) return {.memoryKib = 256, .passes = 1};
  return {.iterations = 400};
}

WorkOutput WorkUnit(WorkAlgorithm algorithm, const WorkCost& cost, const WorkSeed& seed, std::uint8_t search,
                    std::uint32_t candidate) {
  const std::array<unsigned char, 5> input{search, static_cast<unsigned char>(candidate >> 24),
                                           static_cast<unsigned char>(candidate >> 16),
                                           static_cast<unsigned char>(candidate >> 8),
                                           static_cast<unsigned char>(candidate)};
  if (algorithm == WorkAlgorithm::Pbkdf2Sha256) return Pbkdf2Sha256(seed, input.data(), input.size(), cost.iterations);

  InitializeSodium();
  static_assert(crypto_pwhash_argon2id_SALTBYTES == std::tuple_size_v<WorkSeed>);
  if (cost.passes < crypto_pwhash_argon2id_OPSLIMIT_MIN || cost.memoryKib < 8 || cost.memoryKib > (1U << 22)) {
    throw std::invalid_argument("Argon2id needs at least one pass and 8 KiB to 4 GiB of memory");
  }
  WorkOutput result{};
  if (crypto_pwhash_argon2id(result.data(), result.size(), reinterpret_cast<const char*>(input.data()), input.size(),
                             seed.data(), cost.passes, std::size_t{cost.memoryKib} * 1024,
                             crypto_pwhash_argon2id_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("Argon2id could not have its memory");
  }
  return result;
}

}  // namespace quillgate::service
