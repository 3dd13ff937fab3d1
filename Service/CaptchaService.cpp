#include "Service/CaptchaService.h"

#include "CommonUtilities/EngineError.h"
#include "Service/Assets.h"

#include <boost/beast/core/detail/base64.hpp>
#include <nlohmann/json.hpp>

#include <limits>
#include <stdexcept>

namespace quillgate::service {
namespace {

namespace http = boost::beast::http;
using nlohmann::json;

constexpr std::string_view kAudioPrefix = "/api/audio/";

Response JsonResponse(http::status status, const json& body) {
  Response response{status, 11};
  response.set(http::field::content_type, "application/json");
  response.set(http::field::cache_control, "no-store");
  response.body() = body.dump();
  return response;
}

Response VerifyResult(http::status status, bool success, std::string_view error) {
  json body = {{"success", success}, {"error", nullptr}};
  if (!error.empty()) body["error"] = error;
  return JsonResponse(status, body);
}

// The widget may run on any site's page: its reads are open to every origin. Verify is
// not: a site's own server checks answers.
void AllowAnyOrigin(Response& response) {
  response.set(http::field::access_control_allow_origin, "*");
}

Response MethodNotAllowed(std::string_view allowed) {
  Response response = JsonError(http::status::method_not_allowed, "method_not_allowed",
                                "this path accepts " + std::string(allowed));
  response.set(http::field::allow, boost::beast::string_view(allowed.data(), allowed.size()));
  return response;
}

Response Asset(std::string_view type, std::string_view body) {
  Response response{http::status::ok, 11};
  response.set(http::field::content_type, boost::beast::string_view(type.data(), type.size()));
  response.body() = std::string(body);
  return response;
}

// The image is public: Beast's table-driven encoder, rather than libsodium's constant-time
// one, which took a tenth of a challenge's time.
std::string Base64(const std::vector<unsigned char>& bytes) {
  std::string text(boost::beast::detail::base64::encoded_size(bytes.size()), '\0');
  text.resize(boost::beast::detail::base64::encode(text.data(), bytes.data(), bytes.size()));
  return text;
}

// Reads the optional settings of a challenge request over the server's defaults. Returns
// the reason when the body is not acceptable.
std::string ReadSettings(const std::string& body, ImageSettings& settings) {
  if (body.empty()) return {};
  const json request = json::parse(body, nullptr, false);
  if (request.is_discarded()) return "the body is not valid JSON";
  if (!request.is_object()) return "the body must be a JSON object";
  for (const auto& [name, value] : request.items()) {
    std::int32_t* field = name == "style"    ? &settings.style
                          : name == "width"  ? &settings.width
                          : name == "height" ? &settings.height
                          : name == "length" ? &settings.length
                          : name == "type"   ? &settings.type
                                             : nullptr;
    if (field != nullptr) {
      if (!value.is_number_integer()) return name + " must be an integer";
      const auto number = value.get<std::int64_t>();
      // Out of int32 range is out of every limit; clamp so the check below names the field.
      *field = static_cast<std::int32_t>(std::clamp<std::int64_t>(
          number, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    } else if (name == "format") {
      if (!value.is_string()) return "format must be a string";
      settings.format = NormalizeFormat(value.get<std::string>());
      if (settings.format.empty()) return "format must be JPEG, PNG, GIF, BMP or TIFF";
    } else {
      return "unknown field: " + name;
    }
  }
  return CheckSettings(settings);
}

}  // namespace

CaptchaService::CaptchaService(KeyRing keys, std::unique_ptr<ReplayStore> store, ServiceOptions options)
    : keys_(std::move(keys)), store_(std::move(store)), options_(std::move(options)) {
  InitializeSodium();
  if (const std::string problem = CheckSettings(options_.defaults); !problem.empty()) {
    throw std::runtime_error("default image settings: " + problem);
  }
  if (options_.ttlSeconds < 1 || options_.ttlSeconds > 86400) {
    throw std::runtime_error("--ttl must be between 1 and 86400 seconds");
  }
}

std::int64_t CaptchaService::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(options_.clock().time_since_epoch()).count();
}

Response CaptchaService::Handle(const Request& request) {
  const auto started = std::chrono::steady_clock::now();
  const std::string_view target(request.target().data(), request.target().size());
  const std::string_view path = target.substr(0, target.find('?'));
  const http::verb method = request.method();
  Endpoint endpoint = Endpoint::Other;
  Response response;
  if (path == "/api/challenge") {
    endpoint = Endpoint::Challenge;
    if (method == http::verb::post) {
      response = Challenge(request);
    } else if (method == http::verb::options) {
      response = Response{http::status::no_content, 11};
      response.set(http::field::access_control_allow_methods, "POST");
      response.set(http::field::access_control_allow_headers, "Content-Type");
      response.set(http::field::access_control_max_age, "600");
    } else {
      response = MethodNotAllowed("POST, OPTIONS");
    }
    AllowAnyOrigin(response);
  } else if (path.starts_with(kAudioPrefix)) {
    endpoint = Endpoint::Audio;
    response = method == http::verb::get ? Audio(path.substr(kAudioPrefix.size())) : MethodNotAllowed("GET");
    AllowAnyOrigin(response);
  } else if (path == "/api/verify") {
    endpoint = Endpoint::Verify;
    response = method == http::verb::post ? Verify(request) : MethodNotAllowed("POST");
  } else if (path == "/" || path == "/index.html") {
    endpoint = Endpoint::Page;
    response = method == http::verb::get ? Asset("text/html; charset=utf-8", DemoPage()) : MethodNotAllowed("GET");
    // The page loads nothing from elsewhere: images come inline, sound from this server.
    response.set("Content-Security-Policy",
                 "default-src 'self'; img-src 'self' data:; media-src 'self'; "
                 "style-src 'self' 'unsafe-inline'; frame-ancestors 'none'");
  } else if (path == "/quillgate.js") {
    endpoint = Endpoint::Page;
    response = method == http::verb::get ? Asset("text/javascript; charset=utf-8", WidgetScript())
                                         : MethodNotAllowed("GET");
    AllowAnyOrigin(response);
  } else if (path == "/demo.js") {
    endpoint = Endpoint::Page;
    response = method == http::verb::get ? Asset("text/javascript; charset=utf-8", DemoScript())
                                         : MethodNotAllowed("GET");
  } else if (path == "/healthz") {
    endpoint = Endpoint::Health;
    response = method == http::verb::get ? JsonResponse(http::status::ok, {{"status", "ok"}})
                                         : MethodNotAllowed("GET");
  } else if (path == "/metrics") {
    endpoint = Endpoint::Metrics;
    response = method == http::verb::get ? Asset("text/plain; version=0.0.4; charset=utf-8", metrics_.Render())
                                         : MethodNotAllowed("GET");
  } else {
    response = JsonError(http::status::not_found, "not_found", "no such path");
  }
  response.set("X-Content-Type-Options", "nosniff");
  metrics_.ObserveLatency(endpoint, std::chrono::steady_clock::now() - started);
  return response;
}

Response CaptchaService::Challenge(const Request& request) {
  ImageSettings settings = options_.defaults;
  if (const std::string problem = ReadSettings(request.body(), settings); !problem.empty()) {
    return JsonError(http::status::bad_request, "invalid_settings", problem);
  }
  const std::int64_t nowMs = NowMs();
  const std::int64_t now = nowMs / 1000;
  TokenClaims claims;
  claims.code = GenerateCode(settings.length, settings.type);
  claims.expires = now + options_.ttlSeconds;
  claims.issuedMs = nowMs;
  claims.id = NewTokenId();

  std::vector<unsigned char> image;
  try {
    image = RenderImage(claims.code, settings);
  } catch (const EngineError& error) {
    if (std::string_view(error.what()) == "This text style is not supported !") {
      return JsonError(http::status::bad_request, "unsupported_style",
                       "style " + std::to_string(settings.style) + " is not drawn by this server");
    }
    return JsonError(http::status::internal_server_error, "render_failed", error.what());
  }
  // Asked only once the image exists, so a failed drawing takes no place in the store.
  if (!store_->Admit(claims.expires, now)) {
    metrics_.CountChallengeRefused();
    return JsonError(http::status::service_unavailable, "store_full",
                     "too many live challenges; try again shortly");
  }
  const std::string token = SealToken(keys_, claims);
  metrics_.CountChallenge();
  Response response = JsonResponse(http::status::ok, {{"token", token},
                                                      {"audio", std::string(kAudioPrefix) + token},
                                                      {"expires", claims.expires},
                                                      {"width", settings.width},
                                                      {"height", settings.height}});
  // The image goes in as it stands: a data: URI of the base64 alphabet has nothing JSON
  // would escape, and passing its ~15 KB through the serializer's escaping byte by byte
  // cost a third as much as drawing the image.
  std::string& body = response.body();
  const std::string imageField = "\"image\":\"data:" + std::string(MimeTypeOf(settings.format)) +
                            ";base64," + Base64(image) + "\",";
  body.insert(1, imageField);
  return response;
}

Response CaptchaService::Audio(std::string_view token) {
  const auto opened = OpenToken(keys_, token, NowMs() / 1000);
  if (const auto* error = std::get_if<TokenError>(&opened)) {
    return JsonError(*error == TokenError::Expired ? http::status::gone : http::status::not_found,
                     ErrorName(*error), "no such live challenge");
  }
  std::vector<unsigned char> wave;
  try {
    wave = SpeakCode(std::get<TokenClaims>(opened).code);
  } catch (const EngineError& error) {
    return JsonError(http::status::internal_server_error, "audio_failed", error.what());
  }
  Response response{http::status::ok, 11};
  response.set(http::field::content_type, "audio/wav");
  response.set(http::field::cache_control, "no-store");
  response.body().assign(wave.begin(), wave.end());
  return response;
}

Response CaptchaService::Verify(const Request& request) {
  const json body = json::parse(request.body(), nullptr, false);
  if (body.is_discarded() || !body.is_object() || !body.contains("token") ||
      !body["token"].is_string() || !body.contains("answer") || !body["answer"].is_string()) {
    json error = {{"success", false},
                  {"error", "bad_request"},
                  {"message", "expected a JSON object with the strings token and answer"}};
    return JsonResponse(http::status::bad_request, error);
  }
  const std::int64_t nowMs = NowMs();
  const std::int64_t now = nowMs / 1000;
  const auto opened = OpenToken(keys_, body["token"].get_ref<const std::string&>(), now);
  if (const auto* error = std::get_if<TokenError>(&opened)) {
    static constexpr VerifyOutcome kOutcome[] = {VerifyOutcome::Malformed, VerifyOutcome::UnknownKey,
                                                 VerifyOutcome::Tampered, VerifyOutcome::Expired};
    metrics_.CountVerify(kOutcome[static_cast<int>(*error)]);
    return VerifyResult(http::status::ok, false, ErrorName(*error));
  }
  const TokenClaims& claims = std::get<TokenClaims>(opened);
  if (claims.issuedMs < options_.refuseIssuedBeforeMs) {
    metrics_.CountVerify(VerifyOutcome::Expired);
    return VerifyResult(http::status::ok, false, "expired");
  }
  switch (store_->Redeem(claims.id, claims.expires, now)) {
    case Redemption::Used:
      metrics_.CountVerify(VerifyOutcome::Used);
      return VerifyResult(http::status::ok, false, "used");
    case Redemption::Unavailable:
      metrics_.CountVerify(VerifyOutcome::StoreUnavailable);
      metrics_.CountStoreError();
      return VerifyResult(http::status::service_unavailable, false, "store_unavailable");
    case Redemption::First:
      break;
  }
  if (!AnswerMatches(body["answer"].get_ref<const std::string&>(), claims.code)) {
    metrics_.CountVerify(VerifyOutcome::WrongAnswer);
    return VerifyResult(http::status::ok, false, "wrong_answer");
  }
  metrics_.CountVerify(VerifyOutcome::Success);
  return VerifyResult(http::status::ok, true, {});
}

}  // namespace quillgate::service
