#include "Platform/Com/Guid.h"

#include <cstdio>

namespace quillgate::com {
namespace {

std::optional<std::uint64_t> ParseHex(std::string_view digits) {
  std::uint64_t value = 0;
  for (const char c : digits) {
    int nibble = 0;
    if (c >= '0' && c <= '9') nibble = c - '0';
    else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
    else return std::nullopt;
    value = value << 4 | static_cast<std::uint64_t>(nibble);
  }
  return value;
}

}  // namespace

std::string GuidToString(const GUID& g) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

std::optional<GUID> GuidFromString(std::string_view text) {
  // {8-4-4-4-12}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-') {
    return std::nullopt;
  }
  const auto d1 = ParseHex(text.substr(1, 8));
  const auto d2 = ParseHex(text.substr(10, 4));
  const auto d3 = ParseHex(text.substr(15, 4));
  const auto d4a = ParseHex(text.substr(20, 4));
  const auto d4b = ParseHex(text.substr(25, 12));
  if (!d1 || !d2 || !d3 || !d4a || !d4b) return std::nullopt;
  GUID g;
  g.Data1 = static_cast<std::uint32_t>(*d1);
  g.Data2 = static_cast<std::uint16_t>(*d2);
  g.Data3 = static_cast<std::uint16_t>(*d3);
  g.Data4[0] = static_cast<std::uint8_t>(*d4a >> 8);
  g.Data4[1] = static_cast<std::uint8_t>(*d4a);
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<std::uint8_t>(*d4b >> (8 * (5 - i)));
  return g;
}

}  // namespace quillgate::com
