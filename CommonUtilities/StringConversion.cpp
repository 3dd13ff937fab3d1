#include "CommonUtilities/StringConversion.h"

#include <algorithm>
#include <array>

namespace quillgate {
namespace {

// Bytes 0x80..0x9F of Windows-1252; the others map to the code point of the same value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char CodePageByte(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  const auto* at = std::find(kHighControls.begin(), kHighControls.end(), unit);
  if (at == kHighControls.end()) return '?';
  return static_cast<char>(0x80 + (at - kHighControls.begin()));
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string WideToAnsi(std::u16string_view wide) {
  wide = wide.substr(0, wide.find(u'\0'));
  std::string narrow;
  narrow.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const char16_t unit = wide[i];
    if (IsHighSurrogate(unit) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
      ++i;  // a character beyond the basic plane: one '?' for the pair
      narrow += '?';
      continue;
    }
    narrow += CodePageByte(unit);
  }
  return narrow;
}

std::u16string AnsiToWide(std::string_view narrow) {
  narrow = narrow.substr(0, narrow.find('\0'));
  std::u16string wide;
  wide.reserve(narrow.size());
  for (const char c : narrow) {
    const auto byte = static_cast<unsigned char>(c);
    wide += (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : char16_t{byte};
  }
  return wide;
}

}  // namespace quillgate
