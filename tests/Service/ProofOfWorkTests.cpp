// Puzzles: what the server hands out opens only unchanged and under its own keys, and the
// work is counted exactly.
#include "Service/ProofOfWork.h"

#include <gtest/gtest.h>

#include <string>

namespace quillgate::service {
namespace {

constexpr std::int64_t kNow = 4'000'000'000'000;  // Unix milliseconds

Puzzle Sample(int bits = 8) {
  return {.issuedMs = kNow, .expiresMs = kNow + 120'000, .issuer = 0x1122334455667788, .bits = bits,
          .siteKey = "shop_site_key"};
}

// A fresh salt each time: the same puzzle sealed again is another puzzle, used apart. (That
// it opens to what was sealed, the HTTP tests show: each of its parts decides a refusal.)
TEST(Puzzle, EachSealIsANewPuzzleOfBoundedWork) {
  const KeyRing keys = KeyRing::Generate();
  const auto use = [&](const std::string& text) {
    return Hex(PuzzleUse(std::get<Puzzle>(OpenPuzzle(keys, text, kNow)), text).id);
  };
  EXPECT_NE(use(SealPuzzle(keys, Sample())), use(SealPuzzle(keys, Sample())));
  EXPECT_THROW((void)SealPuzzle(keys, Sample(0)), std::invalid_argument);
  EXPECT_THROW((void)SealPuzzle(keys, Sample(kMaxPowBits + 1)), std::invalid_argument);
}

// The attacks: make the puzzle easier or longer-lived by changing it. (One made up under
// another key, the HTTP tests refuse.)
TEST(Puzzle, ChangedMadeUpOrExpiredPuzzlesAreRefused) {
  const KeyRing keys = KeyRing::Generate();
  const std::string text = SealPuzzle(keys, Sample());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string changed = text;
    changed[i] = changed[i] == 'A' ? 'B' : 'A';
    const auto opened = OpenPuzzle(keys, changed, kNow);
    EXPECT_TRUE(std::holds_alternative<PuzzleError>(opened)) << "byte " << i;
  }
  EXPECT_EQ(std::get<PuzzleError>(OpenPuzzle(keys, text, kNow + 120'000)), PuzzleError::Expired);
  EXPECT_TRUE(std::holds_alternative<Puzzle>(OpenPuzzle(keys, text, kNow + 119'999)));
  for (const std::string& bad :
       {std::string(), std::string("!!"), text + "A", text.substr(0, 20), std::string(5000, 'A')}) {
    EXPECT_EQ(std::get<PuzzleError>(OpenPuzzle(keys, bad, kNow)), PuzzleError::Malformed) << bad.size();
  }
}

TEST(Puzzle, WorkCountsTheLeadingZeroBitsOfTheHash) {
  const KeyRing keys = KeyRing::Generate();
  const std::string text = SealPuzzle(keys, Sample(12));
  // The first nonce, counting up in decimal, whose work reaches 12 bits.
  std::string nonce = "0";
  for (int n = 1; WorkOf(text, nonce) < 12; ++n) nonce = std::to_string(n);
  // The nonce belongs to this puzzle: on another, it is as good as any guess.
  int others = 0;
  for (int i = 0; i < 20; ++i) others += WorkOf(SealPuzzle(keys, Sample(12)), nonce) >= 12;
  EXPECT_LE(others, 1);
  // A nonce is a short run of ASCII letters and digits; anything else is no work at all.
  for (const std::string& bad : {std::string(), std::string(33, '1'), std::string("12 3"), std::string("1\0", 2)}) {
    EXPECT_EQ(WorkOf(text, bad), 0);
  }
  // About half of all nonces give at least one bit, a quarter two: the count is of bits.
  int oneBit = 0;
  int twoBits = 0;
  for (int n = 0; n < 4000; ++n) {
    const int work = WorkOf(text, "x" + std::to_string(n));
    oneBit += work >= 1;
    twoBits += work >= 2;
  }
  EXPECT_NEAR(oneBit, 2000, 200);
  EXPECT_NEAR(twoBits, 1000, 150);
}

}  // namespace
}  // namespace quillgate::service
