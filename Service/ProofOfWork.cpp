#include "Service/ProofOfWork.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace quillgate::service {
namespace {

constexpr unsigned char kVersion = 2;
constexpr std::size_t kFixed = 1 + 4 + 8 + 8 + 8 + 1 + 4 + 4 + 4 + 4 + 16 + 1;
constexpr std::size_t kMac = 32;
constexpr std::size_t kMaxBinary = kFixed + 255 + kMac;
constexpr std::string_view kPurpose = "quillgate puzzle";
constexpr std::string_view kAnswersPurpose = "quillgate puzzle answers";

void PutBig(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

std::uint64_t GetBig(const unsigned char* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
  return value;
}

// Keyed BLAKE2b under a purpose of its own, so no other use of the key produces the same.
template <std::size_t N>
std::array<unsigned char, N> KeyedHash(const SealingKey& key, std::string_view purpose, const unsigned char* data,
                                       std::size_t size) {
  std::array<unsigned char, N> out{};
  crypto_generichash_state state;
  crypto_generichash_init(&state, key.bytes.data(), key.bytes.size(), out.size());
  crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(purpose.data()), purpose.size());
  crypto_generichash_update(&state, data, size);
  crypto_generichash_final(&state, out.data(), out.size());
  return out;
}

// The answers follow from the key and the seed alone: nothing to store, nothing to send.
WorkAnswers AnswersOf(const SealingKey& key, const Puzzle& puzzle) {
  const auto bytes = KeyedHash<8 * kSearches>(key, kAnswersPurpose, puzzle.seed.data(), puzzle.seed.size());
  WorkAnswers answers{};
  for (int j = 0; j < kSearches; ++j) answers[j] = static_cast<std::uint32_t>(GetBig(bytes.data() + 8 * j, 8) % puzzle.range);
  return answers;
}

std::string HexOf(const unsigned char* data, std::size_t size) {
  std::string text(size * 2 + 1, '\0');
  sodium_bin2hex(text.data(), text.size(), data, size);
  text.pop_back();
  return text;
}

template <std::size_t N>
std::array<unsigned char, N> FromHex(const nlohmann::json& value, const char* member) {
  std::array<unsigned char, N> out{};
  std::size_t length = 0;
  const char* end = nullptr;
  if (!value.is_string() || value.get_ref<const std::string&>().size() != 2 * N ||
      sodium_hex2bin(out.data(), out.size(), value.get_ref<const std::string&>().c_str(), 2 * N, nullptr, &length,
                     &end) != 0 ||
      length != N) {
    throw std::runtime_error(std::string("the puzzle's ") + member + " must be " + std::to_string(2 * N) +
                             " hexadecimal digits");
  }
  return out;
}

std::uint32_t Unsigned32(const nlohmann::json& offer, const char* member) {
  const auto found = offer.find(member);
  if (found == offer.end() || !found->is_number_unsigned() || found->get<std::uint64_t>() > 0xFFFF'FFFFU) {
    throw std::runtime_error(std::string("the puzzle's ") + member + " must be a whole number below 2^32");
  }
  return found->get<std::uint32_t>();
}

}  // namespace

std::uint32_t RangeFor(std::int32_t units) {
  return static_cast<std::uint32_t>(std::max<std::int64_t>(1, (2 * std::int64_t{units} + kSearches / 2) / kSearches - 1));
}

PuzzleOffer OfferPuzzle(const KeyRing& keys, Puzzle puzzle) {
  InitializeSodium();
  if (puzzle.siteKey.size() > 255 || puzzle.range == 0 || puzzle.range > RangeFor(kMaxWorkUnits)) {
    throw std::invalid_argument("a puzzle needs a range of 1 to " + std::to_string(RangeFor(kMaxWorkUnits)) +
                                " and a site key of at most 255 bytes");
  }
  const SealingKey& key = keys.Sealing();
  randombytes_buf(puzzle.seed.data(), puzzle.seed.size());
  std::vector<unsigned char> binary;
  binary.reserve(kFixed + puzzle.siteKey.size() + kMac);
  binary.push_back(kVersion);
  PutBig(binary, key.id, 4);
  PutBig(binary, static_cast<std::uint64_t>(puzzle.issuedMs), 8);
  PutBig(binary, static_cast<std::uint64_t>(puzzle.expiresMs), 8);
  PutBig(binary, puzzle.issuer, 8);
  binary.push_back(static_cast<unsigned char>(puzzle.algorithm));
  PutBig(binary, puzzle.cost.iterations, 4);
  PutBig(binary, puzzle.cost.memoryKib, 4);
  PutBig(binary, puzzle.cost.passes, 4);
  PutBig(binary, puzzle.range, 4);
  binary.insert(binary.end(), puzzle.seed.begin(), puzzle.seed.end());
  binary.push_back(static_cast<unsigned char>(puzzle.siteKey.size()));
  binary.insert(binary.end(), puzzle.siteKey.begin(), puzzle.siteKey.end());
  const auto mac = KeyedHash<kMac>(key, kPurpose, binary.data(), binary.size());
  binary.insert(binary.end(), mac.begin(), mac.end());

  PuzzleOffer offer;
  const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  offer.text.assign(sodium_base64_ENCODED_LEN(binary.size(), variant), '\0');
  sodium_bin2base64(offer.text.data(), offer.text.size(), binary.data(), binary.size(), variant);
  offer.text.resize(std::char_traits<char>::length(offer.text.c_str()));
  offer.algorithm = puzzle.algorithm;
  offer.cost = puzzle.cost;
  offer.seed = puzzle.seed;
  offer.range = puzzle.range;
  offer.expiresMs = puzzle.expiresMs;
  const WorkAnswers answers = AnswersOf(key, puzzle);
  for (int j = 0; j < kSearches; ++j) {
    offer.targets[j] = WorkUnit(puzzle.algorithm, puzzle.cost, puzzle.seed, static_cast<std::uint8_t>(j), answers[j]);
  }
  return offer;
}

std::variant<Puzzle, PuzzleError> OpenPuzzle(const KeyRing& keys, std::string_view text, std::int64_t nowMs) {
  InitializeSodium();
  const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  if (text.size() > sodium_base64_ENCODED_LEN(kMaxBinary, variant)) return PuzzleError::Malformed;
  std::array<unsigned char, kMaxBinary> binary{};
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(binary.data(), binary.size(), text.data(), text.size(), nullptr, &length, &end, variant) != 0 ||
      end != text.data() + text.size() || length < kFixed + kMac || binary[0] != kVersion ||
      length != kFixed + binary[kFixed - 1] + kMac) {
    return PuzzleError::Malformed;
  }
  const SealingKey* key = keys.Find(static_cast<std::uint32_t>(GetBig(binary.data() + 1, 4)));
  if (key == nullptr) return PuzzleError::Forged;
  const auto mac = KeyedHash<kMac>(*key, kPurpose, binary.data(), length - kMac);
  if (sodium_memcmp(mac.data(), binary.data() + length - kMac, kMac) != 0) return PuzzleError::Forged;
  // Past the MAC the text is the server's own; only a version it no longer knows is left.
  Puzzle puzzle;
  puzzle.keyId = key->id;
  puzzle.issuedMs = static_cast<std::int64_t>(GetBig(binary.data() + 5, 8));
  puzzle.expiresMs = static_cast<std::int64_t>(GetBig(binary.data() + 13, 8));
  puzzle.issuer = GetBig(binary.data() + 21, 8);
  puzzle.algorithm = static_cast<WorkAlgorithm>(binary[29]);
  puzzle.cost.iterations = static_cast<std::uint32_t>(GetBig(binary.data() + 30, 4));
  puzzle.cost.memoryKib = static_cast<std::uint32_t>(GetBig(binary.data() + 34, 4));
  puzzle.cost.passes = static_cast<std::uint32_t>(GetBig(binary.data() + 38, 4));
  puzzle.range = static_cast<std::uint32_t>(GetBig(binary.data() + 42, 4));
  std::copy_n(binary.data() + 46, puzzle.seed.size(), puzzle.seed.begin());
  puzzle.siteKey.assign(reinterpret_cast<const char*>(binary.data()) + kFixed, binary[kFixed - 1]);
  if (puzzle.range == 0) return PuzzleError::Malformed;
  if (nowMs >= puzzle.expiresMs) return PuzzleError::Expired;
  return puzzle;
}

bool Solves(const KeyRing& keys, const Puzzle& puzzle, const WorkAnswers& solution) {
  const SealingKey* key = keys.Find(puzzle.keyId);
  return key != nullptr && AnswersOf(*key, puzzle) == solution;
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

nlohmann::json ToJson(const PuzzleOffer& offer) {
  nlohmann::json value = {{"puzzle", offer.text},
                          {"algorithm", NameOf(offer.algorithm)},
                          {"seed", HexOf(offer.seed.data(), offer.seed.size())},
                          {"searches", kSearches},
                          {"range", offer.range},
                          {"units", UnitsOf(offer.range)},
                          {"expires_ms", offer.expiresMs}};
  if (offer.algorithm == WorkAlgorithm::Argon2id) {
    value["memory_kib"] = offer.cost.memoryKib;
    value["passes"] = offer.cost.passes;
  } else {
    value["iterations"] = offer.cost.iterations;
  }
  nlohmann::json& targets = value["targets"] = nlohmann::json::array();
  for (const WorkOutput& target : offer.targets) targets.push_back(HexOf(target.data(), target.size()));
  return value;
}

PuzzleOffer OfferFromJson(const nlohmann::json& value) {
  if (!value.is_object()) throw std::runtime_error("a puzzle is a JSON object as /api/puzzle gives it");
  PuzzleOffer offer;
  const auto text = value.find("puzzle");
  if (text == value.end() || !text->is_string() || text->get_ref<const std::string&>().empty()) {
    throw std::runtime_error("the puzzle has no \"puzzle\" text (a site that asks for no work gives none)");
  }
  offer.text = text->get<std::string>();
  const auto algorithm = value.find("algorithm");
  const auto named = algorithm != value.end() && algorithm->is_string()
                         ? WorkAlgorithmNamed(algorithm->get_ref<const std::string&>())
                         : std::nullopt;
  if (!named) throw std::runtime_error("the puzzle's algorithm must be \"pbkdf2-sha256\" or \"argon2id\"");
  offer.algorithm = *named;
  if (offer.algorithm == WorkAlgorithm::Argon2id) {
    offer.cost.memoryKib = Unsigned32(value, "memory_kib");
    offer.cost.passes = Unsigned32(value, "passes");
  } else {
    offer.cost.iterations = Unsigned32(value, "iterations");
  }
  offer.seed = FromHex<std::tuple_size_v<WorkSeed>>(value.value("seed", nlohmann::json()), "seed");
  offer.range = Unsigned32(value, "range");
  if (offer.range == 0) throw std::runtime_error("the puzzle's range must be at least 1");
  const auto targets = value.find("targets");
  if (targets == value.end() || !targets->is_array() || targets->size() != kSearches) {
    throw std::runtime_error("the puzzle needs " + std::to_string(kSearches) + " targets");
  }
  for (int j = 0; j < kSearches; ++j) offer.targets[j] = FromHex<std::tuple_size_v<WorkOutput>>((*targets)[j], "targets");
  if (const auto expires = value.find("expires_ms"); expires != value.end() && expires->is_number_integer()) {
    offer.expiresMs = expires->get<std::int64_t>();
  }
  return offer;
}

WorkDone SolvePuzzle(const PuzzleOffer& offer, const std::function<void(std::int64_t)>& progress) {
  WorkDone done;
  for (int j = 0; j < kSearches; ++j) {
    std::uint32_t n = 0;
    while (true) {
      if (n == offer.range) {
        throw std::runtime_error("search " + std::to_string(j) + " has no answer below the range " +
                                 std::to_string(offer.range) + ": the puzzle was changed");
      }
      ++done.units;
      if (WorkUnit(offer.algorithm, offer.cost, offer.seed, static_cast<std::uint8_t>(j), n) == offer.targets[j]) break;
      ++n;
    }
    done.answers[j] = n;
    if (progress) progress(done.units);
  }
  return done;
}

}  // namespace quillgate::service
