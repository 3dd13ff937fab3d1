// Known answers from FIPS 180-2, a check on the digests that the comparison with OpenSSL
// cannot give (both could share a misreading of the standard): the empty message, which is
// padding alone, a one-block message, and the two-block examples, whose padding leaves no
// room for the length field in the first block of 64 bytes (448 bits) or of 128 bytes (896
// bits). Each is asked of the digest object and of the calculator that serves the text
// hashes, which reuses its objects from one call to the next; between them the two
// overloads of the hex formatter write every digit in both halves of a byte.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "DigestTestSupport.h"
#include "HashAlgorithms/HashCalculator.h"

namespace quillgate {
namespace {

using testing::DigestHex;

TEST(FipsVectors, EveryVariantMatchesThePublishedDigests) {
  const std::string k448Bits = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string k896Bits =
      "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
      "lmnopqrsmnopqrstnopqrstu";
  const struct {
    int method;
    std::string message;
    std::string digest;
  } vectors[] = {
      {CSHA::SHA160, "", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
      {CSHA::SHA160, "abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {CSHA::SHA160, k448Bits, "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {CSHA::SHA256, "", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {CSHA::SHA256, "abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {CSHA::SHA256, k448Bits, "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
      {CSHA::SHA384, "",
       "38B060A751AC96384CD9327EB1B1E36A21FDB71114BE07434C0CC7BF63F6E1DA"
       "274EDEBFE76F65FBD51AD2F14898B95B"},
      {CSHA::SHA384, "abc",
       "CB00753F45A35E8BB5A03D699AC65007272C32AB0EDED1631A8B605A43FF5BED"
       "8086072BA1E7CC2358BAECA134C825A7"},
      {CSHA::SHA384, k896Bits,
       "09330C33F71147E83D192FC782CD1B4753111B173B3B05D22FA08086E3B0F712"
       "FCC7C71A557E2DB966C3E9FA91746039"},
      {CSHA::SHA512, "",
       "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
       "47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E"},
      {CSHA::SHA512, "abc",
       "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
       "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F"},
      {CSHA::SHA512, k896Bits,
       "8E959B75DAE313DA8CF4F72814FC143F8F7779C6EB9F7FA17299AEADB6889018"
       "501D289E4900F7E4331B99DEC4B5433AC7D329EEB6DD26545E96E55B874BE909"},
  };
  CHashCalculator calc;
  for (const auto& v : vectors) {
    SCOPED_TRACE(::testing::Message() << "method " << v.method << ", " << v.message.size()
                                      << " bytes");
    EXPECT_EQ(DigestHex(v.method, v.message), v.digest);
    // The calculator's selectors 3 to 6 are the four methods in order.
    EXPECT_EQ(calc.HashString(v.message, CHashCalculator::kSelectSha1 + v.method), v.digest);
  }
}

TEST(HashString, HashesTheBytesAsTheyStandAndRefusesUnknownSelectors) {
  CHashCalculator calc;
  const std::string first = calc.HashString("AB3XZ", 6);
  // No case folding, no trimming, no stopping at an embedded NUL.
  EXPECT_NE(calc.HashString("ab3xz", 6), first);
  EXPECT_NE(calc.HashString("AB3XZ ", 6), first);
  EXPECT_NE(calc.HashString(std::string_view("AB3XZ\0", 6), 6), first);
  EXPECT_EQ(calc.HashString("AB3XZ", 6), first);
  for (const int selector : {-1, 2, 7}) {
    EXPECT_THROW((void)calc.HashString("abc", selector), std::invalid_argument) << selector;
  }
}

}  // namespace
}  // namespace quillgate
