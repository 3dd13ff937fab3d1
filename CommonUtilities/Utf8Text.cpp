#include "CommonUtilities/Utf8Text.h"

#include "CommonUtilities/StringConversion.h"
#include "Platform/Com/Utf.h"

#include <stdexcept>

namespace quillgate {

std::u16string Utf8ToWide(std::string_view utf8) {
  // The runtime's decoder, with the stricter rule of text typed by a person or passed by a
  // program: not UTF-8 is refused, where the runtime would put U+FFFD in its place.
  if (const auto bad = com::FindInvalidUtf8(utf8)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(utf8[*bad]);
    throw std::runtime_error("the text is not valid UTF-8: byte " + std::to_string(*bad + 1) +
                             " (0x" + kHex[byte >> 4] + kHex[byte & 0xF] +
                             ") does not start a UTF-8 character; give the text in UTF-8");
  }
  return com::Utf8ToUtf16(utf8);
}

std::string Utf8ToAnsi(std::string_view utf8) { return WideToAnsi(Utf8ToWide(utf8)); }

}  // namespace quillgate
