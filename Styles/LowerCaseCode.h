#pragma once
// The code in lower case, for the styles that draw it so: A to Z become a to z, every other
// character stays as it is (whatever the process locale).

#include <string>

namespace quillgate {

[[nodiscard]] std::string LowerCaseCode(std::string code);

}  // namespace quillgate
