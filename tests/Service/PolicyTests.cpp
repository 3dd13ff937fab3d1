// The server-owned challenge policy: reading it, its floors, and holding requests to it.
#include "Service/Policy.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <span>
#include <stdexcept>
#include <string>
#include <variant>

namespace quillgate::service {
namespace {

using nlohmann::json;

// Each policy refused with a message holding `refusal`, or accepted when `refusal` is "".
struct PolicyCase { const char* policy; const char* refusal; };
void ExpectRefusals(std::span<const PolicyCase> cases) {
  for (const PolicyCase& c : cases) {
    const std::string message =
        test::RefusalOf([&] { return Policy::FromJson(json::parse(c.policy), Policy::Default()); });
    if (std::string(c.refusal).empty()) {
      EXPECT_EQ(message, "") << c.policy;
    } else {
      EXPECT_NE(message.find(c.refusal), std::string::npos) << c.policy << " gave: " << message;
    }
  }
}

// Random sources for ChooseSettings: each always picks the same index.
std::int32_t PickLast(std::int32_t n) { return n - 1; }
std::int32_t PickPastEnd(std::int32_t n) { return n; }
std::int32_t NeverCalled(std::int32_t /*n*/) { throw std::logic_error("the random source was asked"); }

TEST(Policy, ReadsEveryMemberAndWritesItBack) {
  const json read = json::parse(R"({
      "styles": [31, 3, 0], "style": 3,
      "length": {"min": 6, "max": 10, "default": 7},
      "types": [2, 0], "type": 2,
      "width": {"min": 100, "max": 300, "default": 200},
      "height": {"min": 30, "max": 100, "default": 60},
      "formats": [" png", "jpg"], "format": "Jpeg",
      "ttl_ms": 60000, "max_render_ms": 12.5, "verify_api": true,
      "pow": {"algorithm": "argon2id", "units": 300, "under_load": 900},
      "client_choice": ["size", "style"],
      "limits": {"challenge": {"per_minute": 12, "burst": 4},
                 "audio": {"per_minute": 0.5, "burst": 1.5},
                 "verify": {"per_minute": 0},
                 "puzzle": {"per_minute": 5, "burst": 2}}})");
  const json written = Policy::FromJson(read, Policy::Default()).ToJson();
  // Sorted, named the one way, and the unset verify burst from the policy below.
  json expected = read;
  expected.update(json::parse(R"({"styles": [0, 3, 31], "types": [0, 2],
                                  "formats": ["PNG", "JPEG"], "format": "JPEG",
                                  "client_choice": ["style", "size"]})"));
  expected["limits"]["verify"]["burst"] = 10;
  EXPECT_EQ(written, expected);
  // Read over a policy that differs in every member: nothing may come from below.
  const Policy other = Policy::FromJson(json::parse(R"({"styles": [40], "style": 40, "verify_api": false})"),
                                        Policy::Default());
  EXPECT_EQ(Policy::FromJson(written, other).ToJson(), written);
  // "all" and "random" undo a list and a style from below.
  json reset = Policy::Default().ToJson();
  reset["styles"] = "all";
  EXPECT_EQ(Policy::FromJson(reset, other).ToJson(), Policy::Default().ToJson());
}

TEST(Policy, RefusesEachBadMemberByName) {
  const PolicyCase cases[] = {
      {R"([])", "policy: must be a JSON object"},
      {R"({"colour": "red"})", "policy.colour: unknown member"},
      {R"({"length": 5})", "policy.length: must be a JSON object"},
      {R"({"length": {"max": 17}})", "policy.length.max: at most 16"},
      {R"({"length": {"min": 5.5}})", "policy.length.min: must be a whole number"},
      {R"({"length": {"min": 9}})", "policy.length: min 9 is above max 8"},
      {R"({"width": {"min": 19}})", "policy.width.min: at least 20"},
      {R"({"width": {"default": 500}})", "policy.width.default: 500 is outside 120 to 400"},
      {R"({"height": {"max": 18446744073709551615}})", "policy.height.max: at most 400"},
      {R"({"styles": []})", "policy.styles: must name at least one"},
      {R"({"styles": [50]})", "policy.styles[0]: at most 49"},
      {R"({"styles": [3, 4, 3]})", "policy.styles: 3 appears twice"},
      {R"({"styles": 7})", "policy.styles: must be an array"},
      {R"({"styles": "some"})", "policy.styles: must be \"all\""},
      {R"({"style": "first"})", "policy.style: must be \"random\""},
      {R"({"styles": [1, 2], "style": 3})", "policy.style: 3 is not among policy.styles (1, 2)"},
      {R"({"types": [1]})", "policy.type: 0 is not among policy.types (1)"},
      {R"({"formats": ["JPEG", "WEBP"]})", "policy.formats[1]: \"WEBP\" is not a picture format"},
      {R"({"formats": ["jpg", "JPEG"]})", "policy.formats: JPEG appears twice"},
      {R"({"formats": ["PNG"]})", "policy.format: JPEG is not among policy.formats (PNG)"},
      {R"({"format": 7})", "policy.format: must be a string"},
      {R"({"ttl_ms": 999})", "policy.ttl_ms: at least 1000"},
      {R"({"max_render_ms": 0})", "policy.max_render_ms: must be above 0"},
      {R"({"max_render_ms": "60"})", "policy.max_render_ms: must be a number"},
      {R"({"verify_api": 1})", "policy.verify_api: must be true or false"},
      {R"({"limits": {"siteverify": {}}})", "policy.limits.siteverify: unknown member"},
      {R"({"limits": {"challenge": {"per_minute": -1}}})", "policy.limits.challenge.per_minute: at least 0"},
      {R"({"limits": {"puzzle": {"burst": 0}}})", "policy.limits.puzzle.burst: at least 1"},
      {R"({"pow": {"algorithm": "sha256"}})", "policy.pow.algorithm: must be \"pbkdf2-sha256\" or \"argon2id\""},
      {R"({"pow": {"units": 200001}})", "policy.pow.units: at most 200000"},
      {R"({"pow": {"under_load": -1}})", "policy.pow.under_load: at least 0"},
      {R"({"pow": {"bits": 12}})", "policy.pow.bits: unknown member"},
      {R"({"pow_bits": 12})", "policy.pow_bits: leading-bits proof of work is gone; use \"pow\""},
      {R"({"client_choice": "style"})", "policy.client_choice: must be an array"},
      {R"({"client_choice": ["width"]})", "policy.client_choice[0]: must be one of style, size, length, type"},
      {R"({"client_choice": ["size", "size"]})", "policy.client_choice: size appears twice"},
  };
  ExpectRefusals(cases);
}

// A request may take the shortest code of any allowed type, so the weakest allowed
// alphabet at length.min must leave at least a million codes.
TEST(Policy, RefusesCodesShortEnoughToGuess) {
  const PolicyCase cases[] = {
      {R"({"types": [2], "type": 2})",
       "policy.length.min: 5 digits (type 2) make only 100,000 codes, fewer than the 1,000,000"},
      {R"({"types": [0, 2], "length": {"min": 5}})", "raise length.min to 6 or drop type 2"},
      {R"({"types": [2], "type": 2, "length": {"min": 6, "default": 6}})", ""},
      {R"({"types": [0], "length": {"min": 4}})",
       "policy.length.min: 4 letters and digits (type 0) make only 810,000"},
      {R"({"types": [1], "type": 1, "length": {"min": 4}})",
       "policy.length.min: 4 letters (type 1) make only 456,976"},
      {R"({"types": [0, 1], "length": {"min": 4}})", "raise length.min to 5 or drop type 1"},
  };
  ExpectRefusals(cases);
}

TEST(Policy, RefusesChallengesTooHeavyToDraw) {
  const PolicyCase cases[] = {
      {R"({"width": {"max": 1000}, "height": {"max": 400}})",
       "policy: style 7 at 1000x400 is estimated at 187 ms, over max_render_ms 60; lower width.max/height.max, "
       "drop the style or raise max_render_ms"},
      // Without style 7 the heaviest is style 11 (3.98 ms at 250 x 50): 127 ms.
      {R"({"styles": [11, 31, 42], "width": {"max": 1000}, "height": {"max": 400}, "max_render_ms": 120})",
       "style 11 at 1000x400 is estimated at 127 ms, over max_render_ms 120"},
      {R"({"styles": [11, 31, 42], "width": {"max": 1000}, "height": {"max": 400}, "max_render_ms": 130})", ""},
  };
  ExpectRefusals(cases);
}

// The policy's defaults, each wish inside the policy, and a style drawn from the allowed
// list only; a source of NeverCalled shows that no style was drawn.
TEST(ChooseSettings, TakesTheDefaultsAndEveryWishInsideThePolicy) {
  // A site that allows three styles, letters with or without digits, and the default sizes.
  const Policy narrow = Policy::FromJson(
      json::parse(R"({"styles": [3, 7, 31], "length": {"min": 5, "max": 8, "default": 6},
                      "client_choice": ["style", "size", "length", "type", "format"]})"),
      Policy::Default());
  Policy fixed = narrow;
  fixed.fixedStyle = 7;
  struct Case {
    const Policy* policy;
    const char* request;
    std::int32_t (*source)(std::int32_t);
    ImageSettings want;
  };
  const Case cases[] = {
      {&narrow, "{}", &PickLast, {31, 250, 50, 6, 0, "JPEG"}},
      {&fixed, "{}", &NeverCalled, {7, 250, 50, 6, 0, "JPEG"}},
      {&fixed, R"({"style": 31})", &NeverCalled, {31, 250, 50, 6, 0, "JPEG"}},
      {&narrow, R"({"width": 400, "height": 40, "length": 8, "type": 1, "format": "png"})", &PickLast,
       {31, 400, 40, 8, 1, "PNG"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const auto chosen = ChooseSettings(*c.policy, json::parse(c.request), c.source);
    ASSERT_TRUE(std::holds_alternative<ImageSettings>(chosen));
    const auto& got = std::get<ImageSettings>(chosen);
    EXPECT_EQ(std::tie(got.style, got.width, got.height, got.length, got.type, got.format),
              std::tie(c.want.style, c.want.width, c.want.height, c.want.length, c.want.type,
                       c.want.format));
  }
  EXPECT_THROW((void)ChooseSettings(narrow, json::object(), &PickPastEnd), std::out_of_range);
}

// The attack: a script naming the style and size its solver reads best. By default a
// request chooses nothing, even a value the server would have chosen itself; each member is
// opened alone, and the refusal names the entry of client_choice that opens it.
TEST(ChooseSettings, ARequestChoosesOnlyWhatTheSiteOpened) {
  const Policy closed = Policy::Default();
  const Policy sizeOnly = Policy::FromJson(json::parse(R"({"client_choice": ["size"]})"), Policy::Default());
  struct Case { const Policy* policy; const char* request; const char* open; };
  const Case refused[] = {
      {&closed, R"({"style": 45})", "\"style\""},      {&closed, R"({"style": 31})", "\"style\""},
      {&closed, R"({"width": 250})", "\"size\""},      {&sizeOnly, R"({"height": 40, "length": 5})", "\"length\""},
      {&closed, R"({"type": 0})", "\"type\""},         {&sizeOnly, R"({"format": "JPEG"})", "\"format\""},
      {&sizeOnly, R"({"style": "x"})", "\"style\""},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.request);
    const auto chosen = ChooseSettings(*c.policy, json::parse(c.request), &PickLast);
    ASSERT_TRUE(std::holds_alternative<PolicyRefusal>(chosen));
    const PolicyRefusal& refusal = std::get<PolicyRefusal>(chosen);
    EXPECT_FALSE(refusal.malformed);
    EXPECT_NE(refusal.message.find("add " + std::string(c.open) + " to the policy's client_choice"), std::string::npos)
        << refusal.message;
  }
  const auto sized = ChooseSettings(sizeOnly, json::parse(R"({"width": 400, "height": 150})"), &PickLast);
  ASSERT_TRUE(std::holds_alternative<ImageSettings>(sized));
  EXPECT_EQ(std::get<ImageSettings>(sized).width, 400);
  EXPECT_EQ(std::get<ImageSettings>(sized).style, 49) << "the style is still the server's";
}

TEST(Formats, NormalizeAndName) {
  struct Case { const char* name; const char* format; const char* mime; };
  const Case cases[] = {
      {"Gif", "GIF", "image/gif"}, {"bmp", "BMP", "image/bmp"}, {"tiff", "TIFF", "image/tiff"},
      {"webp", "", ""}, {"", "", ""}, {"J PEG", "", ""}, {"jpegx", "", ""}, {"TIF", "", ""},
      {"t\xc4\xb1" "ff", "", ""},  // a dotless i is not ASCII
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormalizeFormat(c.name), c.format) << '"' << c.name << '"';
    EXPECT_EQ(MimeTypeOf(NormalizeFormat(c.name)), c.mime) << '"' << c.name << '"';
  }
}

}  // namespace
}  // namespace quillgate::service
