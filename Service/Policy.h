#pragma once
// What a site's challenges may be, set by the operator, never by the visitor: the styles
// (by default all 50, one drawn at random for each challenge so that a solver must read
// every one of them), the code's length and alphabet, the picture's size and format, how
// long a challenge lives, the rate limits, and whether /api/verify (answers checked
// without the site's secret) is open. By default a request chooses nothing: the server
// draws the style and uses the policy's size, length, type and format, because a script
// that may choose picks whatever its solver reads best. A site whose page must choose opens
// that member in `client_choice`, and then only inside the policy: a weaker or larger
// request is refused, never quietly brought into line.
//
// In a sites file a policy is a JSON object; every member is optional and falls back to
// the default policy:
//   {"styles": [0, 3, 31] | "all", "style": 31 | "random",
//    "length": {"min": 5, "max": 8, "default": 5},
//    "types": [0, 1], "type": 0,
//    "width": {"min": 120, "max": 400, "default": 250},
//    "height": {"min": 40, "max": 150, "default": 50},
//    "formats": ["JPEG", "PNG"], "format": "JPEG",
//    "ttl_ms": 300000, "max_render_ms": 60, "verify_api": false,
//    "pow": {"algorithm": "pbkdf2-sha256", "units": 0, "under_load": 2400},
//    "client_choice": ["style", "size", "length", "type", "format"],
//    "limits": {"challenge": {"per_minute": 30, "burst": 10},
//               "audio": {"per_minute": 10, "burst": 4},
//               "verify": {"per_minute": 30, "burst": 10},
//               "puzzle": {"per_minute": 30, "burst": 10}}}

#include "Service/RateLimiter.h"
#include "Service/WorkFunction.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quillgate::service {

// What one challenge looks like.
struct ImageSettings {
  std::int32_t style = 31;
  std::int32_t width = 250;
  std::int32_t height = 50;
  std::int32_t length = 5;
  std::int32_t type = 0;        // 0 letters and digits, 1 letters, 2 digits
  std::string format = "JPEG";  // JPEG, PNG, GIF, BMP or TIFF (uppercase)
};

struct IntRange {
  std::int32_t min = 0;
  std::int32_t max = 0;
  std::int32_t fallback = 0;  // "default": used when the request does not choose
  [[nodiscard]] bool Contains(std::int32_t value) const { return value >= min && value <= max; }
};

// What a challenge request may choose on a site; nothing unless the site opens it.
struct ClientChoice {
  bool style = false;
  bool size = false;  // width and height
  bool length = false;
  bool type = false;
  bool format = false;
  bool operator==(const ClientChoice&) const = default;
};

// Proof of work before a challenge (ProofOfWork.h), in units of the algorithm's work
// (WorkFunction.h): `units` on every challenge, 0 for none; `underLoad` on every challenge
// while the server is under load (its render pool more than half busy or its connection
// table nearly full), whatever `units` says, growing with the load. 0 turns the latter off,
// leaving a flood free to take every drawing the server can make.
struct WorkPolicy {
  WorkAlgorithm algorithm = WorkAlgorithm::Pbkdf2Sha256;
  std::int32_t units = 0;
  std::int32_t underLoad = 2400;
};

struct Policy {
  // The hard bounds no policy may leave: what the engine draws in reasonable time, and
  // codes short enough to guess are never allowed.
  //
  // Guessing: the shortest code of the smallest alphabet a policy allows must have at least
  // kMinCodes possible values, so a script that answers at random (one try per challenge)
  // passes at most once in a million challenges. With the engine's alphabets (type 0: 30
  // characters, type 1: 26, type 2: 10 digits) that means length.min >= 5 for letters with
  // or without digits (30^4 = 810,000 and 26^4 = 456,976 fall short) and length.min >= 6
  // whenever digits only (type 2) are allowed.
  static constexpr std::int64_t kMinCodes = 1'000'000;
  static constexpr std::int32_t kStyles = 50;
  static constexpr std::int32_t kMinLength = 4, kMaxLength = 16;
  static constexpr std::int32_t kMinWidth = 20, kMaxWidth = 1000;
  static constexpr std::int32_t kMinHeight = 10, kMaxHeight = 400;
  static constexpr std::int64_t kMinTtlMs = 1'000, kMaxTtlMs = 86'400'000;

  std::vector<std::int32_t> styles;        // allowed, ascending, no repeats
  std::optional<std::int32_t> fixedStyle;  // unset: a random allowed style per challenge
  IntRange length{5, 8, 5};
  std::vector<std::int32_t> types{0, 1};   // allowed code types
  std::int32_t type = 0;
  IntRange width{120, 400, 250};
  IntRange height{40, 150, 50};
  std::vector<std::string> formats{"JPEG", "PNG"};
  std::string format = "JPEG";
  std::int64_t ttlMs = 300'000;
  // The estimated drawing time (RenderCost.h) of the heaviest challenge the policy allows
  // may not exceed this; checked when the policy is read, so every request is cheap enough.
  double maxRenderMs = 60;
  bool verifyApi = false;
  WorkPolicy work;
  BucketRule challengeLimit{30, 10};
  // Each challenge's audio may be fetched a few times; a person listens to a handful of
  // challenges a minute, a solver training or reading by ear asks for far more.
  BucketRule audioLimit{10, 4};
  BucketRule verifyLimit{30, 10};
  // Issuing a puzzle costs the server its targets' work: a client gets about one a challenge.
  BucketRule puzzleLimit{30, 10};
  ClientChoice clientChoice;

  // All 50 styles, a random one per challenge, the rest as above.
  [[nodiscard]] static Policy Default();
  // `over` is the policy that unset members come from. Throws std::runtime_error naming
  // the member ("policy.length.min: at least 4") for anything out of bounds, of the wrong
  // type, unknown, or too heavy to draw.
  [[nodiscard]] static Policy FromJson(const nlohmann::json& value, const Policy& over);
  // The policy as JSON in the form FromJson reads (for `quillgate serve` to print).
  [[nodiscard]] nlohmann::json ToJson() const;
};

// A challenge request's own wishes: {"style", "width", "height", "length", "type",
// "format"}, each optional and each refused unless the policy's client_choice opens it
// (width and height as "size"). `randomIndex(n)` picks the style when the request names none
// and the policy fixes none (0 <= result < n; the service passes a cryptographic source).
// Returns the settings, or the reason the request is outside the policy.
struct PolicyRefusal {
  // True for a request that is not a settings object at all (wrong JSON type of a member,
  // unknown member): 400 bad_request rather than 400 policy.
  bool malformed = false;
  std::string message;  // "length 3 is outside this site's policy (5 to 8)"
};
[[nodiscard]] std::variant<ImageSettings, PolicyRefusal> ChooseSettings(
    const Policy& policy, const nlohmann::json& request,
    std::int32_t (*randomIndex)(std::int32_t n));

// The format name uppercased, "JPG" read as "JPEG"; empty for an unknown format.
[[nodiscard]] std::string NormalizeFormat(std::string_view name);
[[nodiscard]] std::string MimeTypeOf(std::string_view format);

}  // namespace quillgate::service
