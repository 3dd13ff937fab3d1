// How a CSHA object behaves across calls: messages added in pieces, reuse after
// FinalDigest and Reset, and the errors (texts and the state left behind).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "DigestTestSupport.h"

namespace quillgate {
namespace {

using testing::Bytes;
using testing::DigestHex;
using testing::FinishHex;

constexpr int kAllMethods[] = {CSHA::SHA160, CSHA::SHA256, CSHA::SHA384, CSHA::SHA512};

std::string PatternMessage(std::size_t length) {
  std::string m(length, '\0');
  for (std::size_t i = 0; i < length; ++i) m[i] = static_cast<char>((i * 131 + 7) % 251);
  return m;
}

// Adds `message` in pieces of the given sizes (the last piece takes whatever is left).
std::string DigestInPieces(int method, const std::string& message,
                           const std::vector<std::size_t>& pieces) {
  CSHA sha(method);
  std::size_t offset = 0;
  for (const std::size_t piece : pieces) {
    sha.AddData(Bytes(message) + offset, static_cast<std::int32_t>(piece));
    offset += piece;
  }
  sha.AddData(Bytes(message) + offset, static_cast<std::int32_t>(message.size() - offset));
  return FinishHex(sha);
}

TEST(CshaPieces, AnySplitGivesTheDigestOfTheWhole) {
  const std::string message = PatternMessage(1000);
  // Splits that start, straddle and end on 64- and 128-byte block edges, plus empty pieces.
  const std::vector<std::vector<std::size_t>> splits = {
      {1, 63, 65},
      {63, 1, 64},
      {64, 64, 0, 128},
      {127, 1, 128, 129},
      {0, 0, 1, 0, 2},
      {55, 1, 56, 8},
      {111, 1, 112},
      {200, 300, 499},
      {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}};
  for (const int method : kAllMethods) {
    const std::string whole = DigestHex(method, message);
    for (const auto& split : splits) {
      EXPECT_EQ(DigestInPieces(method, message, split), whole)
          << "method " << method << ", first piece " << split.front();
    }
  }
}

TEST(CshaReuse, FinalDigestAndResetStartAFreshMessage) {
  for (const int method : kAllMethods) {
    CSHA sha(method);
    // A first message of odd length leaves a partial block behind.
    sha.AddData(Bytes(PatternMessage(77)), 77);
    (void)FinishHex(sha);
    sha.AddData(Bytes("abc"), 3);
    EXPECT_EQ(FinishHex(sha), DigestHex(method, "abc")) << "after FinalDigest, method " << method;

    sha.AddData(Bytes(PatternMessage(200)), 200);
    sha.Reset();
    sha.AddData(Bytes("abc"), 3);
    EXPECT_EQ(FinishHex(sha), DigestHex(method, "abc")) << "after Reset, method " << method;

    // FinalDigest returned the object to fresh: a second one without data is refused.
    unsigned char out[CSHA::kMaxDigestSize];
    EXPECT_THROW(sha.FinalDigest(out), std::runtime_error);
    sha.AddData(nullptr, 0);  // but an empty piece counts as data
    EXPECT_EQ(FinishHex(sha), DigestHex(method, "")) << "empty piece, method " << method;
  }
}

std::string ErrorText(const auto& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no std::runtime_error)";
}

TEST(CshaErrors, IllegalMethodNamesTheMethod) {
  for (const int method : {4, -1, 7}) {
    EXPECT_EQ(ErrorText([=] { CSHA sha(method); }),
              "FileDigest ERROR: in CSHA() Constructor, Illegal Method " + std::to_string(method) + "!");
  }
}

TEST(CshaErrors, NegativeLengthIsRefusedAndTheMessageKept) {
  for (const int method : kAllMethods) {
    CSHA sha(method);
    sha.AddData(Bytes("ab"), 2);
    EXPECT_EQ(ErrorText([&] { sha.AddData(Bytes("xyz"), -1); }),
              "FileDigest ERROR: in CSHA::AddData(), Data Length should be >= 0!");
    sha.AddData(Bytes("c"), 1);
    EXPECT_EQ(FinishHex(sha), DigestHex(method, "abc")) << "method " << method;
  }
  // A refused first piece does not count as data added.
  CSHA fresh(CSHA::SHA256);
  EXPECT_THROW(fresh.AddData(Bytes("x"), -5), std::runtime_error);
  unsigned char out[CSHA::kMaxDigestSize];
  EXPECT_THROW(fresh.FinalDigest(out), std::runtime_error);
}

TEST(CshaErrors, NullDataWithALengthIsRefused) {
  CSHA sha(CSHA::SHA512);
  sha.AddData(Bytes("ab"), 2);
  EXPECT_THROW(sha.AddData(nullptr, 3), std::invalid_argument);
  sha.AddData(Bytes("c"), 1);
  EXPECT_EQ(FinishHex(sha), DigestHex(CSHA::SHA512, "abc"));
}

TEST(CshaErrors, FinalDigestWithoutDataIsRefusedAndLeavesOutputAlone) {
  for (const int method : kAllMethods) {
    CSHA sha(method);
    unsigned char out[CSHA::kMaxDigestSize];
    std::fill(std::begin(out), std::end(out), 0x5A);
    EXPECT_EQ(ErrorText([&] { sha.FinalDigest(out); }),
              "FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!");
    EXPECT_TRUE(
        std::all_of(std::begin(out), std::end(out), [](unsigned char b) { return b == 0x5A; }));
    // The object is still usable and fresh.
    sha.AddData(Bytes("abc"), 3);
    EXPECT_EQ(FinishHex(sha), DigestHex(method, "abc")) << "method " << method;
  }
}

}  // namespace
}  // namespace quillgate
