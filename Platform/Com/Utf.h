#pragma once
// UTF-8 (file names, the registry file, scripts) to and from the runtime's UTF-16 text.
// Malformed input never fails: each bad sequence or unpaired surrogate becomes U+FFFD.

#include <string>
#include <string_view>

namespace quillgate::com {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace quillgate::com
