#include "Styles/LowerCaseCode.h"

namespace quillgate {

std::string LowerCaseCode(std::string code) {
  for (char& c : code) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return code;
}

}  // namespace quillgate
