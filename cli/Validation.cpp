// Checks on the commands' own inputs, made before anything reaches the component, so that a
// typing slip gets a clear message instead of a silently different result.
#include "cli/Commands.h"

#include <algorithm>
#include <charconv>
#include <limits>
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

}  // namespace

CLI::Validator IntegerIn(int lowest, int highest) {
  return Integer(lowest, highest, std::to_string(lowest) + " to " + std::to_string(highest));
}

CLI::Validator WholeNumber() {
  return Integer(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), "an int");
}

CLI::Validator CodeOfAtMost(std::size_t characters) {
  return CLI::Validator(
      [characters](std::string& text) -> std::string {
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
