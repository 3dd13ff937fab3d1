// How a CSHA object behaves across calls: reuse after Reset and FinalDigest, and the
// errors (texts and the state left behind). Messages in pieces are compared with OpenSSL.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "DigestTestSupport.h"

namespace quillgate {
namespace {

using testing::Bytes;
using testing::DigestHex;
using testing::FinishHex;

std::string ErrorText(const auto& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(no std::runtime_error)";
}

TEST(CshaReuse, ResetAndFinalDigestStartAFreshMessage) {
  for (const int method : {CSHA::SHA160, CSHA::SHA256, CSHA::SHA384, CSHA::SHA512}) {
    CSHA sha(method);
    // A partial block and a count that Reset must drop.
    sha.AddData(Bytes(std::string(200, 'x')), 200);
    sha.Reset();
    sha.AddData(Bytes("abc"), 3);
    EXPECT_EQ(FinishHex(sha), DigestHex(method, "abc")) << "after Reset, method " << method;

    // FinalDigest returned the object to fresh: a second one without data is refused and
    // writes nothing.
    unsigned char out[CSHA::kMaxDigestSize];
    std::fill(std::begin(out), std::end(out), 0x5A);
    EXPECT_EQ(ErrorText([&] { sha.FinalDigest(out); }),
              "FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!");
    EXPECT_TRUE(
        std::all_of(std::begin(out), std::end(out), [](unsigned char b) { return b == 0x5A; }));
    sha.AddData(nullptr, 0);  // but an empty piece counts as data
    EXPECT_EQ(FinishHex(sha), DigestHex(method, "")) << "empty piece, method " << method;
  }
}

TEST(CshaErrors, IllegalMethodsAndBadPiecesAreRefusedAndTheMessageKept) {
  for (const int method : {4, -1}) {
    EXPECT_EQ(ErrorText([=] { CSHA sha(method); }),
              "FileDigest ERROR: in CSHA() Constructor, Illegal Method " + std::to_string(method) +
                  "!");
  }
  CSHA sha(CSHA::SHA256);
  sha.AddData(Bytes("ab"), 2);
  EXPECT_EQ(ErrorText([&] { sha.AddData(Bytes("xyz"), -1); }),
            "FileDigest ERROR: in CSHA::AddData(), Data Length should be >= 0!");
  EXPECT_THROW(sha.AddData(nullptr, 3), std::invalid_argument);
  sha.AddData(Bytes("c"), 1);
  EXPECT_EQ(FinishHex(sha), DigestHex(CSHA::SHA256, "abc"));
  // A refused first piece does not count as data added.
  EXPECT_THROW(sha.AddData(Bytes("x"), -5), std::runtime_error);
  unsigned char out[CSHA::kMaxDigestSize];
  EXPECT_THROW(sha.FinalDigest(out), std::runtime_error);
}

}  // namespace
}  // namespace quillgate
