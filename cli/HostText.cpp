#include "cli/HostText.h"

#include "CommonUtilities/StringConversion.h"
#include "Platform/Com/Utf.h"

#include <stdexcept>

namespace quillgate::cli {

std::u16string Utf8ToWide(std::string_view utf8) {
  std::u16string wide;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2
                      : (lead >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || static_cast<std::size_t>(extra) >= utf8.size() - i) {
      throw std::runtime_error("the text is not valid UTF-8");
    }
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) throw std::runtime_error("the text is not valid UTF-8");
      code = code << 6 | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      throw std::runtime_error("the text is not valid UTF-8");
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      wide += static_cast<char16_t>(0xD800 + (code >> 10));
      wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      wide += static_cast<char16_t>(code);
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return wide;
}

std::string ComponentText(std::string_view utf8) { return WideToAnsi(Utf8ToWide(utf8)); }

std::string WideToUtf8(std::u16string_view wide) { return com::Utf16ToUtf8(wide); }

}  // namespace quillgate::cli
