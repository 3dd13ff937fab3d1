#include "cli/HostText.h"

#include "CommonUtilities/StringConversion.h"
#include "Platform/Com/Utf.h"

#include <stdexcept>
#include <string>

namespace quillgate::cli {

std::u16string Utf8ToWide(std::string_view utf8) {
  // The runtime's decoder, with the command's rule: text that is not UTF-8 is refused, never
  // guessed at.
  if (const auto bad = com::FindInvalidUtf8(utf8)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(utf8[*bad]);
    throw std::runtime_error("the text is not valid UTF-8: byte " + std::to_string(*bad + 1) +
                             " (0x" + kHex[byte >> 4] + kHex[byte & 0xF] +
                             ") does not start a UTF-8 character; give the text in UTF-8");
  }
  return com::Utf8ToUtf16(utf8);
}

std::string ComponentText(std::string_view utf8) { return WideToAnsi(Utf8ToWide(utf8)); }

std::string WideToUtf8(std::u16string_view wide) { return com::Utf16ToUtf8(wide); }

}  // namespace quillgate::cli
