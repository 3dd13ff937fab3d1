// Puzzles: what the server hands out opens only unchanged and under its own keys, the work
// unit is the standard function a browser runs, and a solution is what the search finds.
#include "Service/ProofOfWork.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <numeric>
#include <string>

namespace quillgate::service {
namespace {

constexpr std::int64_t kNow = 4'000'000'000'000;  // Unix milliseconds

Puzzle Sample(std::int32_t units = 40, WorkAlgorithm algorithm = WorkAlgorithm::Pbkdf2Sha256) {
  return {.issuedMs = kNow,
          .expiresMs = kNow + 120'000,
          .issuer = 0x1122334455667788,
          .algorithm = algorithm,
          .cost = UnitCostOf(algorithm),
          .range = RangeFor(units),
          .siteKey = "shop_site_key"};
}

// The unit must be the function a browser's WebCrypto runs, or no visitor finds a target:
// checked against OpenSSL's own PBKDF2, with the password, salt and counter laid out as the
// page lays them out. Argon2id is checked against a value from another implementation.
TEST(WorkUnit, IsTheStandardKeyDerivationOfTheSeedAndTheTry) {
  const WorkSeed seed{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  for (const auto& [search, candidate, iterations] :
       {std::tuple{0, 0U, 1U}, std::tuple{1, 1U, 2U}, std::tuple{3, 0x01020304U, 800U}, std::tuple{2, 0xFFFFFFFFU, 1000U}}) {
    const std::array<unsigned char, 5> salt{static_cast<unsigned char>(search), static_cast<unsigned char>(candidate >> 24),
                                            static_cast<unsigned char>(candidate >> 16),
                                            static_cast<unsigned char>(candidate >> 8), static_cast<unsigned char>(candidate)};
    WorkOutput expected{};
    ASSERT_EQ(PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(seed.data()), static_cast<int>(seed.size()), salt.data(),
                                static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                                static_cast<int>(expected.size()), expected.data()),
              1);
    EXPECT_EQ(WorkUnit(WorkAlgorithm::Pbkdf2Sha256, {.iterations = iterations}, seed,
                       static_cast<std::uint8_t>(search), candidate),
              expected)
        << search << " " << candidate << " " << iterations;
  }
  EXPECT_THROW((void)WorkUnit(WorkAlgorithm::Pbkdf2Sha256, {.iterations = 0}, seed, 0, 0), std::invalid_argument);
  EXPECT_THROW((void)WorkUnit(WorkAlgorithm::Argon2id, {.memoryKib = 4, .passes = 1}, seed, 0, 0),
               std::invalid_argument);
  EXPECT_THROW((void)WorkUnit(WorkAlgorithm::Argon2id, {.memoryKib = 64, .passes = 0}, seed, 0, 0),
               std::invalid_argument);
  // Argon2id differs with every input it takes.
  const WorkCost argon{.memoryKib = 64, .passes = 1};
  const WorkOutput base = WorkUnit(WorkAlgorithm::Argon2id, argon, seed, 0, 7);
  EXPECT_EQ(WorkUnit(WorkAlgorithm::Argon2id, argon, seed, 0, 7), base);
  EXPECT_NE(WorkUnit(WorkAlgorithm::Argon2id, argon, seed, 1, 7), base);
  EXPECT_NE(WorkUnit(WorkAlgorithm::Argon2id, argon, seed, 0, 8), base);
  EXPECT_NE(WorkUnit(WorkAlgorithm::Argon2id, {.memoryKib = 128, .passes = 1}, seed, 0, 7), base);
  EXPECT_NE(WorkUnit(WorkAlgorithm::Argon2id, {.memoryKib = 64, .passes = 2}, seed, 0, 7), base);
}

// The search finds each target at the server's secret answer, so the units a visitor
// spends are the answers plus one; a solution opens only the puzzle it was found for.
TEST(Puzzle, TheSearchFindsTheAnswersTheServerChecks) {
  const KeyRing keys = KeyRing::Generate();
  for (const WorkAlgorithm algorithm : {WorkAlgorithm::Pbkdf2Sha256, WorkAlgorithm::Argon2id}) {
    Puzzle puzzle = Sample(24, algorithm);
    if (algorithm == WorkAlgorithm::Argon2id) puzzle.cost.memoryKib = 32;  // the test's time, not the policy's
    const PuzzleOffer offer = OfferPuzzle(keys, puzzle);
    std::int64_t reported = 0;
    const WorkDone done = SolvePuzzle(offer, [&](std::int64_t units) { reported = units; });
    EXPECT_EQ(done.units, std::accumulate(done.answers.begin(), done.answers.end(), std::int64_t{kSearches}));
    EXPECT_EQ(reported, done.units);
    const auto opened = OpenPuzzle(keys, offer.text, kNow);
    ASSERT_TRUE(std::holds_alternative<Puzzle>(opened));
    const Puzzle& back = std::get<Puzzle>(opened);
    EXPECT_EQ(back.algorithm, algorithm);
    EXPECT_EQ(back.cost, puzzle.cost);
    EXPECT_EQ(back.range, puzzle.range);
    EXPECT_EQ(back.siteKey, puzzle.siteKey);
    EXPECT_TRUE(Solves(keys, back, done.answers));
    for (int j = 0; j < kSearches; ++j) {
      WorkAnswers off = done.answers;
      off[j] = (off[j] + 1) % puzzle.range;
      EXPECT_FALSE(Solves(keys, back, off)) << j;
    }
    // Another puzzle's solution, or the same under another server's key, is no solution.
    const auto other = std::get<Puzzle>(OpenPuzzle(keys, OfferPuzzle(keys, puzzle).text, kNow));
    EXPECT_FALSE(Solves(keys, other, done.answers));  // by chance once in 23^4
    EXPECT_FALSE(Solves(KeyRing::Generate(), back, done.answers));
  }
}

// A person's wait is predictable only if the answers spread evenly over the range: their
// mean is the range's middle and every quarter of it gets its share.
TEST(Puzzle, AnswersSpreadEvenlyOverTheRange) {
  const KeyRing keys = KeyRing::Generate();
  Puzzle puzzle = Sample(1200);
  puzzle.cost.iterations = 1;
  std::array<int, 4> quarters{};
  double sum = 0;
  int count = 0;
  for (int i = 0; i < 100; ++i) {
    const PuzzleOffer offer = OfferPuzzle(keys, puzzle);
    for (const std::uint32_t answer : SolvePuzzle(offer).answers) {
      ASSERT_LT(answer, puzzle.range);
      ++quarters[answer * 4 / puzzle.range];
      sum += answer;
      ++count;
    }
  }
  EXPECT_NEAR(sum / count, (puzzle.range - 1) / 2.0, puzzle.range * 0.06);
  for (const int quarter : quarters) EXPECT_NEAR(quarter, count / 4, count / 10);
  EXPECT_EQ(UnitsOf(RangeFor(1200)), 1200);
  EXPECT_EQ(UnitsOf(RangeFor(0)), kSearches) << "every search tries at least once";
}

// The attacks: make the puzzle easier or longer-lived by changing it, or hand the solver
// changed targets.
TEST(Puzzle, ChangedMadeUpOrExpiredPuzzlesAreRefused) {
  const KeyRing keys = KeyRing::Generate();
  const PuzzleOffer offer = OfferPuzzle(keys, Sample());
  const std::string& text = offer.text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string changed = text;
    changed[i] = changed[i] == 'A' ? 'B' : 'A';
    EXPECT_TRUE(std::holds_alternative<PuzzleError>(OpenPuzzle(keys, changed, kNow))) << "byte " << i;
  }
  EXPECT_EQ(std::get<PuzzleError>(OpenPuzzle(KeyRing::Generate(), text, kNow)), PuzzleError::Forged);
  EXPECT_EQ(std::get<PuzzleError>(OpenPuzzle(keys, text, kNow + 120'000)), PuzzleError::Expired);
  EXPECT_TRUE(std::holds_alternative<Puzzle>(OpenPuzzle(keys, text, kNow + 119'999)));
  for (const std::string& bad :
       {std::string(), std::string("!!"), text + "A", text.substr(0, 20), std::string(5000, 'A')}) {
    EXPECT_EQ(std::get<PuzzleError>(OpenPuzzle(keys, bad, kNow)), PuzzleError::Malformed) << bad.size();
  }
  Puzzle tooBig = Sample();
  tooBig.range = RangeFor(kMaxWorkUnits) + 1;
  EXPECT_THROW((void)OfferPuzzle(keys, tooBig), std::invalid_argument);
  tooBig.range = 0;
  EXPECT_THROW((void)OfferPuzzle(keys, tooBig), std::invalid_argument);

  PuzzleOffer changed = offer;
  changed.targets[2][0] ^= 1;
  EXPECT_THROW((void)SolvePuzzle(changed), std::runtime_error);
}

// What a solver reads is what the server wrote; anything else is named.
TEST(PuzzleOffer, ReadsBackWhatTheServerSendsAndNamesWhatIsWrong) {
  const KeyRing keys = KeyRing::Generate();
  for (const WorkAlgorithm algorithm : {WorkAlgorithm::Pbkdf2Sha256, WorkAlgorithm::Argon2id}) {
    const PuzzleOffer offer = OfferPuzzle(keys, Sample(8, algorithm));
    const nlohmann::json sent = ToJson(offer);
    EXPECT_EQ(sent["units"], 8);
    const PuzzleOffer back = OfferFromJson(sent);
    EXPECT_EQ(back.text, offer.text);
    EXPECT_EQ(back.algorithm, offer.algorithm);
    EXPECT_EQ(back.cost, offer.cost);
    EXPECT_EQ(back.seed, offer.seed);
    EXPECT_EQ(back.range, offer.range);
    EXPECT_EQ(back.targets, offer.targets);
    EXPECT_EQ(back.expiresMs, offer.expiresMs);
  }
  const nlohmann::json good = ToJson(OfferPuzzle(keys, Sample()));
  const auto refusal = [&](const char* member, const nlohmann::json& value) {
    nlohmann::json bad = good;
    if (value.is_null()) {
      bad.erase(member);
    } else {
      bad[member] = value;
    }
    try {
      (void)OfferFromJson(bad);
    } catch (const std::runtime_error& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_NE(refusal("puzzle", nullptr).find("no \"puzzle\""), std::string::npos);
  EXPECT_NE(refusal("algorithm", "sha256").find("algorithm"), std::string::npos);
  EXPECT_NE(refusal("iterations", -1).find("iterations"), std::string::npos);
  EXPECT_NE(refusal("seed", "00ff").find("seed must be 32 hexadecimal"), std::string::npos);
  EXPECT_NE(refusal("seed", std::string(32, 'g')).find("seed"), std::string::npos);
  EXPECT_NE(refusal("range", 0).find("range"), std::string::npos);
  EXPECT_NE(refusal("targets", nlohmann::json::array({"00"})).find("8 targets"), std::string::npos);
  EXPECT_THROW((void)OfferFromJson(nlohmann::json::array()), std::runtime_error);
  EXPECT_THROW((void)OfferFromJson(nlohmann::json{{"units", 0}}), std::runtime_error);
}

}  // namespace
}  // namespace quillgate::service
