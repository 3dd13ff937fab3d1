#pragma once
// The fields of an application/x-www-form-urlencoded body, as a site's server sends them to
// /siteverify: name=value pairs joined by '&', '+' for a space, %XX for any byte.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::service {

// Empty optional when the body is not well formed (a bad %-escape). A repeated name keeps
// its first value.
[[nodiscard]] std::optional<std::map<std::string, std::string>> ParseForm(std::string_view body);

}  // namespace quillgate::service
