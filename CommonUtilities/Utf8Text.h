#pragma once
// UTF-8 text from outside the component (command-line arguments, strings from C callers) in
// the component's own forms. Every entry point converts with these, so a code given anywhere
// is drawn, hashed and validated as the same bytes: what a visitor is shown, they can type.

#include <string>
#include <string_view>

namespace quillgate {

// UTF-8 to UTF-16; throws std::runtime_error naming the first bad byte for text that is not
// well-formed UTF-8 (it is refused, never guessed at).
std::u16string Utf8ToWide(std::string_view utf8);

// The component's narrow form of UTF-8 text: the wide text narrowed by the component's own
// conversion (WideToAnsi), exactly as it narrows a host's text. Throws as Utf8ToWide does.
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace quillgate
