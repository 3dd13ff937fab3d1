#include "cli/HostText.h"

#include "CommonUtilities/Utf8Text.h"
#include "Platform/Com/Utf.h"

#include <string>

namespace quillgate::cli {

// The conversions themselves live with the component's, where the public C library uses
// them too: a code given to either is the same bytes.
std::u16string Utf8ToWide(std::string_view utf8) { return quillgate::Utf8ToWide(utf8); }

std::string ComponentText(std::string_view utf8) { return Utf8ToAnsi(utf8); }

std::string WideToUtf8(std::u16string_view wide) { return com::Utf16ToUtf8(wide); }

}  // namespace quillgate::cli
