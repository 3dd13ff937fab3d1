#pragma once
// Command-line arguments arrive as UTF-8. The command hands them to the component the way an
// automation host would: as wide text, narrowed by the component's own conversion.

#include <string>
#include <string_view>

namespace quillgate::cli {

// UTF-8 to UTF-16; throws std::runtime_error naming the first bad byte for text that is
// not well-formed UTF-8.
std::u16string Utf8ToWide(std::string_view utf8);
// The component's narrow form of a command-line argument.
std::string ComponentText(std::string_view utf8);
// UTF-16 to UTF-8, for printing what the component returns (unpaired surrogates as U+FFFD).
std::string WideToUtf8(std::u16string_view wide);

}  // namespace quillgate::cli
