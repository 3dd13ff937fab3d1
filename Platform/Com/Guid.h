#pragma once
// Globally unique identifiers in the component runtime's layout, with their braced text form
// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} as the registry writes them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::com {

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};

using CLSID = GUID;
using IID = GUID;

// Braced, uppercase: {1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}.
std::string GuidToString(const GUID& guid);
// Accepts the braced form (either case); nothing for any other text.
std::optional<GUID> GuidFromString(std::string_view text);

}  // namespace quillgate::com
