#include "HashAlgorithms/HexFormat.h"

namespace quillgate {
namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

std::array<char, 2> ByteToHex(unsigned char byte) noexcept {
  return {kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
}

void BytesToHex(const unsigned char* bytes, std::size_t count, char* out) noexcept {
  out[0] = '\0';
  char* p = out;
  for (std::size_t i = 0; i < count; ++i) {
    const std::array<char, 2> pair = ByteToHex(bytes[i]);
    *p++ = pair[0];
    *p++ = pair[1];
  }
  *p = '\0';
}

std::string BytesToHex(std::span<const unsigned char> bytes) {
  std::string text(2 * bytes.size(), '\0');
  // Writes the terminator into the string's own spare element, which is allowed
  // as long as it is the NUL it already holds.
  BytesToHex(bytes.data(), bytes.size(), text.data());
  return text;
}

}  // namespace quillgate
