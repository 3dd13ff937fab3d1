#include "CommonUtilities/StringConversion.h"

#include <gtest/gtest.h>

namespace quillgate {
namespace {

TEST(StringConversion, UsesTheWindows1252CodePage) {
  EXPECT_EQ(WideToAnsi(u"\u00e9\u20ac\u2122\u0178"), "\xe9\x80\x99\x9f");
  // (Back again is the round trip of every byte below.)
}

TEST(StringConversion, EveryByteRoundTrips) {
  for (int b = 1; b < 256; ++b) {
    const std::string narrow(1, static_cast<char>(b));
    ASSERT_EQ(WideToAnsi(AnsiToWide(narrow)), narrow) << "byte " << b;
  }
}

TEST(StringConversion, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(WideToAnsi(u"a\u0416b"), "a?b");               // Cyrillic
  EXPECT_EQ(WideToAnsi(u"a\U0001F600b"), "a?b");           // one '?' for a surrogate pair
  EXPECT_EQ(WideToAnsi(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");  // unpaired
}

TEST(StringConversion, TextEndsAtTheFirstNul) {
  EXPECT_EQ(WideToAnsi(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(AnsiToWide(std::string("ab\0cd", 5)), u"ab");
}

}  // namespace
}  // namespace quillgate
