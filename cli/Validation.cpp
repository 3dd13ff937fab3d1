// Checks on the commands' own inputs, made before anything reaches the component, so that a
// typing slip gets a clear message instead of a silently different result.
#include "cli/Commands.h"
#include "cli/HostText.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>

namespace quillgate::cli {

namespace {

CLI::Validator Integer(int lowest, int highest, const std::string& range) {
  return CLI::Validator(
      [lowest, highest, range](std::string& text) -> std::string {
        // Parsed here, locale-free and whole: an empty text would otherwise read as 0.
        int value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (text.empty() || error == std::errc::invalid_argument || stop != end) {
          return "'" + text + "' is not a whole number (expected " + range + ")";
        }
        if (error == std::errc::result_out_of_range || value < lowest || value > highest) {
          return text + " is outside " + range;
        }
        return {};
      },
      "");
}

// The conversion's own complaint about text that is not UTF-8, or nothing: the check made
// when the text reaches the component, made here first so that it is a usage error.
std::string Utf8Problem(const std::string& text) {
  try {
    (void)Utf8ToWide(text);
    return {};
  } catch (const std::runtime_error& error) {
    return error.what();
  }
}

}  // namespace

CLI::Validator Utf8Text() {
  return CLI::Validator([](std::string& text) { return Utf8Problem(text); }, "");
}

CLI::Validator IntegerIn(int lowest, int highest) {
  return Integer(lowest, highest, std::to_string(lowest) + " to " + std::to_string(highest));
}

CLI::Validator WholeNumber() {
  return Integer(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), "an int");
}

CLI::Validator CodeText(std::size_t characters) {
  return CLI::Validator(
      [characters](std::string& text) -> std::string {
        // An empty --code would silently mean "a new random code", which is what leaving the
        // option out already says; a typo such as --code "$UNSET" must not pass unnoticed.
        if (text.empty()) return "the code is empty; leave --code out for a new random code";
        if (std::string problem = Utf8Problem(text); !problem.empty()) return problem;
        // Control characters would be echoed into the report lines (a code with a newline
        // forges a second "Hash:" line for whoever parses them).
        const auto control = std::find_if(text.begin(), text.end(), [](char c) {
          const auto byte = static_cast<unsigned char>(c);
          return byte < 0x20 || byte == 0x7F;
        });
        if (control != text.end()) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(*control)));
          return std::string("the code holds the control character ") + hex;
        }
        // Characters, not bytes: every UTF-8 byte but a continuation byte starts one.
        const auto count = static_cast<std::size_t>(std::count_if(
            text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
        if (count <= characters) return {};
        return "the code has " + std::to_string(count) + " characters; at most " +
               std::to_string(characters) + " are allowed";
      },
      "");
}

}  // namespace quillgate::cli
