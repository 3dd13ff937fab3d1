#pragma once
// Uppercase hexadecimal text of byte strings, the form in which hash values are handed out
// and compared: two characters per byte, high nibble first, no separators.

#include <array>
#include <cstddef>
#include <span>
#include <string>

namespace quillgate {

// The two characters of "0123456789ABCDEF" at the byte's high and low nibble.
[[nodiscard]] std::array<char, 2> ByteToHex(unsigned char byte) noexcept;

// Makes `out` an empty NUL-terminated string, then appends the two characters of each of
// the `count` bytes in order. `out` must hold 2 * count + 1 characters.
void BytesToHex(const unsigned char* bytes, std::size_t count, char* out) noexcept;

// The same text as a string, for callers that have no fixed-size buffer at hand.
[[nodiscard]] std::string BytesToHex(std::span<const unsigned char> bytes);

}  // namespace quillgate
