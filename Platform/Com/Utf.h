#pragma once
// UTF-8 (file names, the registry file, scripts, command-line text) to and from the
// runtime's UTF-16 text. One decoder with one definition of well-formed UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF); callers choose only what happens to text
// that is not: the runtime never fails and puts one U+FFFD in place of each maximal
// ill-formed subsequence (the Unicode recommendation), a command refuses it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::com {

// Never fails: ill-formed input and unpaired surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// The offset of the first byte that does not begin a well-formed sequence, or nothing.
std::optional<std::size_t> FindInvalidUtf8(std::string_view utf8) noexcept;

}  // namespace quillgate::com
