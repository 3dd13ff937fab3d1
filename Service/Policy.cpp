#include "Service/Policy.h"

#include "Engine/ImageEncoding.h"
#include "Engine/StandaloneCaptcha.h"
#include "Service/ProofOfWork.h"
#include "Service/RenderCost.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace quillgate::service {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& path, const std::string& problem) {
  throw std::runtime_error(path + ": " + problem);
}

// Numbers in messages, without the locale (printf's decimal point follows it).
std::string Number(double value) {
  std::array<char, 32> text{};
  const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                          std::chars_format::general, 3);
  return error == std::errc() ? std::string(text.data(), end) : std::string("?");
}

// 1000000 -> "1,000,000", for counts of codes an operator reads.
std::string Grouped(std::int64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

template <typename Values>
std::string Listed(const Values& values) {
  std::string out;
  for (const auto& value : values) {
    if (!out.empty()) out += ", ";
    if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
      out += value;
    } else {
      out += std::to_string(value);
    }
  }
  return out;
}

// The code types: 0 letters and digits without the look-alikes, 1 letters, 2 digits. How
// many codes each allows comes from the very alphabet the engine draws codes from.
constexpr std::array<std::string_view, 3> kTypeName{"letters and digits", "letters", "digits"};
std::int64_t AlphabetSize(std::int32_t type) { return static_cast<std::int64_t>(CodeAlphabet(type).size()); }

// The value of an integer member when it lies within [low, high]; JSON integers beyond
// 64 bits arrive as floating-point numbers and are refused as not integers.
std::int64_t Integer(const json& value, const std::string& path, std::int64_t low, std::int64_t high) {
  if (!value.is_number_integer()) Fail(path, "must be a whole number");
  if (value.is_number_unsigned() &&
      value.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    Fail(path, "at most " + std::to_string(high) + ", not " + value.dump());
  }
  const auto number = value.get<std::int64_t>();
  if (number < low) Fail(path, "at least " + std::to_string(low) + ", not " + std::to_string(number));
  if (number > high) Fail(path, "at most " + std::to_string(high) + ", not " + std::to_string(number));
  return number;
}

std::int32_t Integer32(const json& value, const std::string& path, std::int32_t low, std::int32_t high) {
  return static_cast<std::int32_t>(Integer(value, path, low, high));
}

double Decimal(const json& value, const std::string& path, double atLeast) {
  if (!value.is_number()) Fail(path, "must be a number");
  const auto number = value.get<double>();
  if (!std::isfinite(number) || number < atLeast) Fail(path, "at least " + Number(atLeast) + ", not " + value.dump());
  return number;
}

const json& Object(const json& value, const std::string& path) {
  if (!value.is_object()) Fail(path, "must be a JSON object");
  return value;
}

[[noreturn]] void Unknown(const std::string& path, std::string_view known) {
  Fail(path, "unknown member (known: " + std::string(known) + ")");
}

// {"min", "max", "default"}, each optional over what `range` holds; the order of the three
// is checked with the rest of the policy, once every member is read.
void ReadRange(const json& value, const std::string& path, IntRange& range, std::int32_t low, std::int32_t high) {
  for (const auto& [key, member] : Object(value, path).items()) {
    const std::string memberPath = path + "." + key;
    if (key == "min") {
      range.min = Integer32(member, memberPath, low, high);
    } else if (key == "max") {
      range.max = Integer32(member, memberPath, low, high);
    } else if (key == "default") {
      range.fallback = Integer32(member, memberPath, low, high);
    } else {
      Unknown(memberPath, "min, max, default");
    }
  }
}

// A non-empty list of distinct integers in [0, count), returned ascending. A repeat is
// refused rather than merged: it is usually a typo for another value.
std::vector<std::int32_t> ReadIndexList(const json& value, const std::string& path, std::int32_t count) {
  if (!value.is_array()) Fail(path, "must be an array");
  if (value.empty()) Fail(path, "must name at least one");
  std::vector<std::int32_t> list;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto entry = Integer32(value[i], path + "[" + std::to_string(i) + "]", 0, count - 1);
    if (std::find(list.begin(), list.end(), entry) != list.end()) {
      Fail(path, std::to_string(entry) + " appears twice");
    }
    list.push_back(entry);
  }
  std::sort(list.begin(), list.end());
  return list;
}

std::vector<std::int32_t> AllStyles() {
  std::vector<std::int32_t> styles(Policy::kStyles);
  for (std::int32_t style = 0; style < Policy::kStyles; ++style) styles[static_cast<std::size_t>(style)] = style;
  return styles;
}

std::string ReadFormat(const json& value, const std::string& path) {
  if (!value.is_string()) Fail(path, "must be a string");
  std::string format = NormalizeFormat(value.get<std::string>());
  if (format.empty()) Fail(path, value.dump() + " is not a picture format (JPEG, PNG, GIF, BMP or TIFF)");
  return format;
}

std::vector<std::string> ReadFormats(const json& value, const std::string& path) {
  if (!value.is_array()) Fail(path, "must be an array");
  if (value.empty()) Fail(path, "must name at least one");
  std::vector<std::string> formats;
  for (std::size_t i = 0; i < value.size(); ++i) {
    std::string format = ReadFormat(value[i], path + "[" + std::to_string(i) + "]");
    if (std::find(formats.begin(), formats.end(), format) != formats.end()) Fail(path, format + " appears twice");
    formats.push_back(std::move(format));
  }
  return formats;
}

void ReadBucket(const json& value, const std::string& path, BucketRule& rule) {
  for (const auto& [key, member] : Object(value, path).items()) {
    const std::string memberPath = path + "." + key;
    if (key == "per_minute") {
      rule.perMinute = Decimal(member, memberPath, 0);
    } else if (key == "burst") {
      rule.burst = Decimal(member, memberPath, 1);
    } else {
      Unknown(memberPath, "per_minute, burst");
    }
  }
}

void ReadLimits(const json& value, const std::string& path, Policy& policy) {
  for (const auto& [key, member] : Object(value, path).items()) {
    const std::string memberPath = path + "." + key;
    if (key == "challenge") {
      ReadBucket(member, memberPath, policy.challengeLimit);
    } else if (key == "audio") {
      ReadBucket(member, memberPath, policy.audioLimit);
    } else if (key == "verify") {
      ReadBucket(member, memberPath, policy.verifyLimit);
    } else if (key == "puzzle") {
      ReadBucket(member, memberPath, policy.puzzleLimit);
    } else {
      Unknown(memberPath, "challenge, audio, verify, puzzle");
    }
  }
}

WorkPolicy ReadWork(const json& value, const std::string& path) {
  WorkPolicy work;
  for (const auto& [key, member] : Object(value, path).items()) {
    const std::string memberPath = path + "." + key;
    if (key == "algorithm") {
      const auto named = member.is_string() ? WorkAlgorithmNamed(member.get_ref<const std::string&>()) : std::nullopt;
      if (!named) Fail(memberPath, "must be \"pbkdf2-sha256\" or \"argon2id\"");
      work.algorithm = *named;
    } else if (key == "units") {
      work.units = Integer32(member, memberPath, 0, kMaxWorkUnits);
    } else if (key == "under_load") {
      work.underLoad = Integer32(member, memberPath, 0, kMaxWorkUnits);
    } else {
      Unknown(memberPath, "algorithm, units, under_load");
    }
  }
  return work;
}

// The names of client_choice, in the order the JSON lists them.
constexpr std::array<std::pair<std::string_view, bool ClientChoice::*>, 5> kChoices{{
    {"style", &ClientChoice::style},
    {"size", &ClientChoice::size},
    {"length", &ClientChoice::length},
    {"type", &ClientChoice::type},
    {"format", &ClientChoice::format},
}};

ClientChoice ReadClientChoice(const json& value, const std::string& path) {
  if (!value.is_array()) Fail(path, "must be an array of style, size, length, type, format");
  ClientChoice choice;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const std::string entryPath = path + "[" + std::to_string(i) + "]";
    if (!value[i].is_string()) Fail(entryPath, "must be a string");
    const std::string name = value[i].get<std::string>();
    const auto* known = std::find_if(kChoices.begin(), kChoices.end(),
                                     [&](const auto& entry) { return entry.first == name; });
    if (known == kChoices.end()) Fail(entryPath, "must be one of style, size, length, type, format");
    if (choice.*(known->second)) Fail(path, name + " appears twice");
    choice.*(known->second) = true;
  }
  return choice;
}

json ClientChoiceJson(const ClientChoice& choice) {
  json list = json::array();
  for (const auto& [name, member] : kChoices) {
    if (choice.*member) list.push_back(name);
  }
  return list;
}

void CheckRangeOrder(const IntRange& range, const std::string& path) {
  if (range.min > range.max) {
    Fail(path, "min " + std::to_string(range.min) + " is above max " + std::to_string(range.max));
  }
  if (!range.Contains(range.fallback)) {
    Fail(path + ".default", std::to_string(range.fallback) + " is outside " + std::to_string(range.min) + " to " +
                                std::to_string(range.max) + "; set " + path.substr(path.find('.') + 1) +
                                ".default inside the range");
  }
}

std::int64_t CodeCount(std::int64_t alphabet, std::int32_t length) {
  std::int64_t count = 1;
  for (std::int32_t i = 0; i < length && count < Policy::kMinCodes; ++i) count *= alphabet;
  return count;
}

// The whole policy, once every member is read: what single members cannot tell.
void CheckTogether(const Policy& p) {
  CheckRangeOrder(p.length, "policy.length");
  CheckRangeOrder(p.width, "policy.width");
  CheckRangeOrder(p.height, "policy.height");
  if (p.styles.empty()) Fail("policy.styles", "must name at least one");
  if (p.fixedStyle && std::find(p.styles.begin(), p.styles.end(), *p.fixedStyle) == p.styles.end()) {
    Fail("policy.style", std::to_string(*p.fixedStyle) + " is not among policy.styles (" + Listed(p.styles) + ")");
  }
  if (p.types.empty()) Fail("policy.types", "must name at least one");
  if (std::find(p.types.begin(), p.types.end(), p.type) == p.types.end()) {
    Fail("policy.type", std::to_string(p.type) + " is not among policy.types (" + Listed(p.types) + ")");
  }
  if (p.formats.empty()) Fail("policy.formats", "must name at least one");
  if (std::find(p.formats.begin(), p.formats.end(), p.format) == p.formats.end()) {
    Fail("policy.format", p.format + " is not among policy.formats (" + Listed(p.formats) + ")");
  }

  // A request may ask for the shortest code of any allowed type, so that code is what a
  // guesser faces; the smallest alphabet makes it weakest.
  const std::int32_t weakest = *std::min_element(p.types.begin(), p.types.end(), [](std::int32_t a, std::int32_t b) {
    return AlphabetSize(a) < AlphabetSize(b);
  });
  const std::int64_t alphabet = AlphabetSize(weakest);
  if (CodeCount(alphabet, p.length.min) < Policy::kMinCodes) {
    std::int32_t needed = p.length.min;
    while (CodeCount(alphabet, needed) < Policy::kMinCodes) ++needed;
    Fail("policy.length.min",
         std::to_string(p.length.min) + " " + std::string(kTypeName[static_cast<std::size_t>(weakest)]) +
             " (type " + std::to_string(weakest) + ") make only " + Grouped(CodeCount(alphabet, p.length.min)) +
             " codes, fewer than the " + Grouped(Policy::kMinCodes) +
             " a guesser must face; raise length.min to " + std::to_string(needed) + " or drop type " +
             std::to_string(weakest) + " from types");
  }

  // Every request is bounded by the largest picture of the costliest allowed style.
  std::int32_t heaviest = p.styles.front();
  double heaviestMs = 0;
  for (const std::int32_t style : p.styles) {
    const double ms = EstimatedRenderMs(style, p.width.max, p.height.max);
    if (ms > heaviestMs) {
      heaviest = style;
      heaviestMs = ms;
    }
  }
  if (heaviestMs > p.maxRenderMs) {
    Fail("policy", "style " + std::to_string(heaviest) + " at " + std::to_string(p.width.max) + "x" +
                       std::to_string(p.height.max) + " is estimated at " + Number(heaviestMs) +
                       " ms, over max_render_ms " + Number(p.maxRenderMs) +
                       "; lower width.max/height.max, drop the style or raise max_render_ms");
  }
}

json RangeJson(const IntRange& range) {
  return json{{"min", range.min}, {"max", range.max}, {"default", range.fallback}};
}

json BucketJson(const BucketRule& rule) { return json{{"per_minute", rule.perMinute}, {"burst", rule.burst}}; }

PolicyRefusal Malformed(std::string message) { return PolicyRefusal{true, std::move(message)}; }
PolicyRefusal Refused(std::string message) { return PolicyRefusal{false, std::move(message)}; }

// A request's integer, or nothing when it lies beyond 32 bits (which no policy allows,
// and which must not wrap into a value that one does).
std::optional<std::int32_t> RequestInteger(const json& value) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return std::nullopt;
    return static_cast<std::int32_t>(number);
  }
  const auto number = value.get<std::int64_t>();
  if (number < std::numeric_limits<std::int32_t>::min() || number > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(number);
}

std::optional<PolicyRefusal> ChooseInRange(const std::string& name, const json& value, const IntRange& range,
                                           std::int32_t& out) {
  const auto number = RequestInteger(value);
  if (!number || !range.Contains(*number)) {
    return Refused(name + " " + value.dump() + " is outside this site's policy (" + std::to_string(range.min) +
                   " to " + std::to_string(range.max) + ")");
  }
  out = *number;
  return std::nullopt;
}

std::optional<PolicyRefusal> ChooseInList(const std::string& name, const json& value,
                                          const std::vector<std::int32_t>& allowed, std::int32_t& out) {
  const auto number = RequestInteger(value);
  if (!number || std::find(allowed.begin(), allowed.end(), *number) == allowed.end()) {
    return Refused(name + " " + value.dump() + " is not allowed by this site's policy (allowed: " + Listed(allowed) +
                   ")");
  }
  out = *number;
  return std::nullopt;
}

}  // namespace

Policy Policy::Default() {
  Policy policy;
  policy.styles = AllStyles();
  policy.fixedStyle.reset();
  return policy;
}

Policy Policy::FromJson(const json& value, const Policy& over) {
  Policy p = over;
  for (const auto& [key, member] : Object(value, "policy").items()) {
    const std::string path = "policy." + key;
    if (key == "styles") {
      if (member.is_string()) {
        if (member.get<std::string>() != "all") Fail(path, "must be \"all\" or an array of styles 0 to 49");
        p.styles = AllStyles();
      } else {
        p.styles = ReadIndexList(member, path, kStyles);
      }
    } else if (key == "style") {
      if (member.is_string()) {
        if (member.get<std::string>() != "random") Fail(path, "must be \"random\" or a style 0 to 49");
        p.fixedStyle.reset();
      } else {
        p.fixedStyle = Integer32(member, path, 0, kStyles - 1);
      }
    } else if (key == "length") {
      ReadRange(member, path, p.length, kMinLength, kMaxLength);
    } else if (key == "width") {
      ReadRange(member, path, p.width, kMinWidth, kMaxWidth);
    } else if (key == "height") {
      ReadRange(member, path, p.height, kMinHeight, kMaxHeight);
    } else if (key == "types") {
      p.types = ReadIndexList(member, path, static_cast<std::int32_t>(kTypeName.size()));
    } else if (key == "type") {
      p.type = Integer32(member, path, 0, static_cast<std::int32_t>(kTypeName.size()) - 1);
    } else if (key == "formats") {
      p.formats = ReadFormats(member, path);
    } else if (key == "format") {
      p.format = ReadFormat(member, path);
    } else if (key == "ttl_ms") {
      p.ttlMs = Integer(member, path, kMinTtlMs, kMaxTtlMs);
    } else if (key == "max_render_ms") {
      if (!member.is_number()) Fail(path, "must be a number");
      const auto ms = member.get<double>();
      if (!std::isfinite(ms) || ms <= 0) Fail(path, "must be above 0, not " + member.dump());
      p.maxRenderMs = ms;
    } else if (key == "verify_api") {
      if (!member.is_boolean()) Fail(path, "must be true or false");
      p.verifyApi = member.get<bool>();
    } else if (key == "pow") {
      p.work = ReadWork(member, path);
    } else if (key == "pow_bits" || key == "pow_bits_per") {
      // Leading-zero-bits puzzles cost a bot in native code a hundredth of what they cost a
      // browser; a sites file written for them must be brought over, not quietly weakened.
      Fail(path, "leading-bits proof of work is gone; use \"pow\": {\"algorithm\": \"pbkdf2-sha256\", "
                 "\"units\": N, \"under_load\": N}");
    } else if (key == "limits") {
      ReadLimits(member, path, p);
    } else if (key == "client_choice") {
      p.clientChoice = ReadClientChoice(member, path);
    } else {
      Unknown(path,
              "styles, style, length, types, type, width, height, formats, format, ttl_ms, max_render_ms, "
              "verify_api, pow, limits, client_choice");
    }
  }
  CheckTogether(p);
  return p;
}

json Policy::ToJson() const {
  return json{
      {"styles", styles},
      {"style", fixedStyle ? json(*fixedStyle) : json("random")},
      {"length", RangeJson(length)},
      {"types", types},
      {"type", type},
      {"width", RangeJson(width)},
      {"height", RangeJson(height)},
      {"formats", formats},
      {"format", format},
      {"ttl_ms", ttlMs},
      {"max_render_ms", maxRenderMs},
      {"verify_api", verifyApi},
      {"pow", {{"algorithm", NameOf(work.algorithm)}, {"units", work.units}, {"under_load", work.underLoad}}},
      {"limits",
       {{"challenge", BucketJson(challengeLimit)},
        {"audio", BucketJson(audioLimit)},
        {"verify", BucketJson(verifyLimit)},
        {"puzzle", BucketJson(puzzleLimit)}}},
      {"client_choice", ClientChoiceJson(clientChoice)},
  };
}

std::variant<ImageSettings, PolicyRefusal> ChooseSettings(const Policy& policy, const json& request,
                                                          std::int32_t (*randomIndex)(std::int32_t n)) {
  if (!request.is_object()) {
    return Malformed("a challenge request is a JSON object of style, width, height, length, type and format");
  }
  ImageSettings settings;
  settings.width = policy.width.fallback;
  settings.height = policy.height.fallback;
  settings.length = policy.length.fallback;
  settings.type = policy.type;
  settings.format = policy.format;
  bool styleChosen = false;

  // A member the site keeps for the server is refused whatever its value, even the value
  // the server would have chosen: a page that sends it is misconfigured, and saying which
  // member to open is the quickest way to tell its operator.
  const auto closed = [&](const std::string& key, std::string_view choice) {
    return Refused("this site's policy does not let a request choose " + key + "; the server chooses it. To let " +
                   "pages choose, add \"" + std::string(choice) + "\" to the policy's client_choice");
  };
  const ClientChoice& open = policy.clientChoice;

  for (const auto& [key, value] : request.items()) {
    if (key == "format") {
      if (!open.format) return closed(key, "format");
      if (!value.is_string()) return Malformed("format must be a string");
      const std::string format = NormalizeFormat(value.get<std::string>());
      // An unknown name is not echoed: it is the visitor's text, of any length.
      if (format.empty()) return Refused("format is not a picture format (JPEG, PNG, GIF, BMP or TIFF)");
      if (std::find(policy.formats.begin(), policy.formats.end(), format) == policy.formats.end()) {
        return Refused("format " + format + " is not allowed by this site's policy (allowed: " +
                       Listed(policy.formats) + ")");
      }
      settings.format = format;
      continue;
    }
    if (key != "style" && key != "width" && key != "height" && key != "length" && key != "type") {
      return Malformed("unknown member in the challenge request (known: style, width, height, length, type, format)");
    }
    if (key == "style" && !open.style) return closed(key, "style");
    if ((key == "width" || key == "height") && !open.size) return closed(key, "size");
    if (key == "length" && !open.length) return closed(key, "length");
    if (key == "type" && !open.type) return closed(key, "type");
    if (!value.is_number_integer()) return Malformed(key + " must be a whole number");
    std::optional<PolicyRefusal> refusal;
    if (key == "style") {
      refusal = ChooseInList(key, value, policy.styles, settings.style);
      styleChosen = true;
    } else if (key == "type") {
      refusal = ChooseInList(key, value, policy.types, settings.type);
    } else if (key == "width") {
      refusal = ChooseInRange(key, value, policy.width, settings.width);
    } else if (key == "height") {
      refusal = ChooseInRange(key, value, policy.height, settings.height);
    } else {
      refusal = ChooseInRange(key, value, policy.length, settings.length);
    }
    if (refusal) return *std::move(refusal);
  }

  if (!styleChosen) {
    if (policy.fixedStyle) {
      settings.style = *policy.fixedStyle;
    } else {
      if (policy.styles.empty()) throw std::logic_error("a policy without styles cannot choose one");
      if (randomIndex == nullptr) throw std::invalid_argument("ChooseSettings needs a random source for the style");
      const auto count = static_cast<std::int32_t>(policy.styles.size());
      const std::int32_t index = randomIndex(count);
      if (index < 0 || index >= count) {
        throw std::out_of_range("the random source gave " + std::to_string(index) + " for a choice among " +
                                std::to_string(count));
      }
      settings.style = policy.styles[static_cast<std::size_t>(index)];
    }
  }
  return settings;
}

std::string NormalizeFormat(std::string_view name) {
  // ASCII only, so the result never depends on the process locale.
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
  while (!name.empty() && isSpace(name.front())) name.remove_prefix(1);
  while (!name.empty() && isSpace(name.back())) name.remove_suffix(1);
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper == "JPG") upper = "JPEG";
  return MimeTypeOf(upper).empty() ? std::string() : upper;
}

std::string MimeTypeOf(std::string_view format) {
  // The engine's own table, so that the service offers exactly the formats it encodes.
  const std::optional<std::u16string_view> mimeType = MimeTypeOfFormat(format);
  if (!mimeType) return {};
  return std::string(mimeType->begin(), mimeType->end());  // ASCII
}

}  // namespace quillgate::service
