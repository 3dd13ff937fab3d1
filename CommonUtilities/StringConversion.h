#pragma once
// Conversions at the automation boundary. Hosts pass wide (UTF-16) text; inside the component
// every text is a narrow 8-bit string in the system ANSI code page, which here is always
// Windows-1252, whatever the process locale, so that the same answer hashes the same on
// every host.

#include <string>
#include <string_view>

namespace quillgate {

// UTF-16 to Windows-1252. Every character the code page cannot represent (one code point,
// also when it takes a surrogate pair or is an unpaired surrogate) becomes '?'. The text
// ends at the first NUL, as a C string would.
std::string WideToAnsi(std::u16string_view wide);

// Windows-1252 to UTF-16. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the control characters of the same value, so every byte round-trips.
// The text ends at the first NUL.
std::u16string AnsiToWide(std::string_view narrow);

// Case folding of ASCII letters only, for names (registry keys, font families, property
// names): the process locale must never decide which bytes count as the same.
[[nodiscard]] constexpr char AsciiLower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
[[nodiscard]] constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace quillgate
