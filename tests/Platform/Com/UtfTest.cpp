// The one UTF-8 decoder: what counts as well-formed, and what the lenient conversion makes
// of what is not.
#include "Platform/Com/Utf.h"

#include <gtest/gtest.h>

namespace quillgate::com {
namespace {

TEST(Utf8, EachMaximalIllFormedSubpartBecomesOneReplacement) {
  const std::pair<std::string_view, std::u16string_view> cases[] = {
      {"A\xE2\x82" "B", u"A\uFFFDB"},             // a truncated three-byte sequence
      {"\xE2\x82", u"\uFFFD"},                    // ... at the end
      {"\xF0\x9F\x98", u"\uFFFD"},                // a truncated four-byte sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},              // overlong: no lead byte C0
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},    // overlong three-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},    // a surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xFF", u"\uFFFD"},
      {"\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u20AC\U0001F600"},  // well-formed
  };
  for (const auto& [utf8, expected] : cases) {
    EXPECT_EQ(Utf8ToUtf16(utf8), expected) << testing::PrintToString(std::string(utf8));
    // Strict and lenient readers agree on what is ill-formed.
    EXPECT_EQ(FindInvalidUtf8(utf8).has_value(), Utf8ToUtf16(utf8).find(u'\uFFFD') != std::u16string::npos);
  }
  EXPECT_EQ(FindInvalidUtf8("ab\xE2\x82" "c"), 2u);
  EXPECT_EQ(FindInvalidUtf8("ab\xE2\x82\xAC"), std::nullopt);
  EXPECT_EQ(FindInvalidUtf8(""), std::nullopt);
}

}  // namespace
}  // namespace quillgate::com
