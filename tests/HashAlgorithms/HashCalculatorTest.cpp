// The calculator's text-to-hex contract and the hex formatter it uses.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>

#include "HashAlgorithms/HashCalculator.h"
#include "HashAlgorithms/HexFormat.h"

namespace quillgate {
namespace {

// (The known-answer digests carry every digit; these bytes sit at the ends of its runs.)
TEST(HexFormat, BytesAreTwoUppercaseDigitsHighNibbleFirst) {
  const unsigned char bytes[] = {0x00, 0x09, 0x9F, 0xA0, 0xFF};
  EXPECT_EQ(BytesToHex(bytes), "00099FA0FF");
  char out[2 * std::size(bytes) + 1];
  BytesToHex(bytes, std::size(bytes), out);
  EXPECT_STREQ(out, "00099FA0FF");

  // No bytes: the buffer is still made an empty string.
  std::fill(std::begin(out), std::end(out), 'x');
  BytesToHex(bytes, 0, out);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(BytesToHex(std::span<const unsigned char>{}), "");
}

TEST(HashString, AbcInEveryVariant) {
  CHashCalculator calc;
  EXPECT_EQ(calc.HashString("abc", 3), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  EXPECT_EQ(calc.HashString("abc", 4),
            "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
  EXPECT_EQ(calc.HashString("abc", 5),
            "CB00753F45A35E8BB5A03D699AC65007272C32AB0EDED1631A8B605A43FF5BED"
            "8086072BA1E7CC2358BAECA134C825A7");
  EXPECT_EQ(calc.HashString("abc", 6),
            "DDAF35A193617ABACC417349AE20413112E6FA4E89A97EA20A9EEEE64B55D39A"
            "2192992A274FC1A836BA3C23A3FEEBBD454D4423643CE80E2A9AC94FA54CA49F");
}

TEST(HashString, HashesTheBytesAsTheyStand) {
  CHashCalculator calc;
  // An empty text is the empty message.
  EXPECT_EQ(calc.HashString("", 6),
            "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
            "47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E");
  const std::string first = calc.HashString("AB3XZ", 6);
  // Repeated and interleaved calls on one calculator do not disturb each other.
  EXPECT_EQ(calc.HashString("something else", 6).size(), 128u);
  EXPECT_EQ(calc.HashString("AB3XZ", 6), first);
  // No case folding, no trimming, no stopping at an embedded NUL.
  EXPECT_NE(calc.HashString("ab3xz", 6), first);
  EXPECT_NE(calc.HashString("AB3XZ ", 6), first);
  EXPECT_NE(calc.HashString(std::string_view("AB3XZ\0", 6), 6), first);
}

TEST(HashString, UnknownSelectorIsRefused) {
  CHashCalculator calc;
  for (const int selector : {-1, 2, 7}) {
    EXPECT_THROW((void)calc.HashString("abc", selector), std::invalid_argument) << selector;
  }
}

}  // namespace
}  // namespace quillgate
