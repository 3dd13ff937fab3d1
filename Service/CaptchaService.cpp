#include "Service/CaptchaService.h"

#include "CommonUtilities/EngineError.h"
#include "Service/Assets.h"
#include "Service/Challenge.h"
#include "Service/ChallengeAudio.h"
#include "Service/ClientAddress.h"
#include "Service/FormBody.h"
#include "Service/Log.h"
#include "Service/ProofOfWork.h"
#include "Service/Token.h"

#include <boost/beast/core/detail/base64.hpp>
#include <nlohmann/json.hpp>

#include <sodium.h>

#include <algorithm>
#include <cmath>
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

// A refusal that the client should retry later: 429 or 503 with Retry-After in seconds.
Response RetryLater(http::status status, std::string_view code, std::string_view message, std::int64_t afterMs) {
  Response response = JsonError(status, code, message);
  response.set(http::field::retry_after, std::to_string(std::max<std::int64_t>(1, (afterMs + 999) / 1000)));
  return response;
}

// The image is public: Beast's table-driven encoder, rather than libsodium's constant-time
// one, which took a tenth of a challenge's time.
std::string Base64(const std::vector<unsigned char>& bytes) {
  std::string text(boost::beast::detail::base64::encoded_size(bytes.size()), '\0');
  text.resize(boost::beast::detail::base64::encode(text.data(), bytes.data(), bytes.size()));
  return text;
}

std::int32_t RandomIndex(std::int32_t n) {
  return static_cast<std::int32_t>(randombytes_uniform(static_cast<std::uint32_t>(n)));
}

// What a verify reply says of the challenge, so that a site can hold it to its own rules.
void DescribeChallenge(json& reply, const TokenClaims& claims) {
  reply["challenge_ts"] = IsoTime(claims.issuedMs);
  reply["hostname"] = claims.hostname;
  reply["sitekey"] = claims.siteKey;
  reply["style"] = claims.style;
  reply["length"] = claims.code.size();
  reply["type"] = claims.type;
  reply["width"] = claims.width;
  reply["height"] = claims.height;
}

// The error code of a refusal's body ({"error":"CODE", ...}, or siteverify's
// {"error-codes":["CODE"], ...}; JSON objects are written with their members sorted), read
// without parsing the body. Every code is one of the service's own names.
std::string_view ErrorCodeOf(std::string_view body) {
  for (const std::string_view prefix : {std::string_view(R"({"error":")"), std::string_view(R"({"error-codes":[")")}) {
    if (body.starts_with(prefix)) {
      body.remove_prefix(prefix.size());
      return body.substr(0, std::min<std::size_t>(body.find('"'), 40));
    }
  }
  return {};
}

// Client errors and "busy" are what a flood is answered with: summarised in the log.
bool IsRefusal(unsigned status) { return (status >= 400 && status < 500) || status == 503; }

std::string_view Header(const Request& request, http::field field) {
  const auto value = request[field];
  return {value.data(), value.size()};
}

}  // namespace

struct CaptchaService::Call {
  CaptchaService* service;
  Request request;
  Peer peer;
  Responder respond;
  std::shared_ptr<const ServiceConfig> config;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  Endpoint endpoint = Endpoint::Other;
  bool head = false;       // a HEAD, routed as its GET: the body is not sent
  std::string client;      // ClientKey of the client
  std::string siteKey;     // once known, for the log
  std::string corsOrigin;  // the Origin to allow in the answer, when the site allows it

  void Finish(Response response) {
    if (!corsOrigin.empty()) {
      response.set(http::field::access_control_allow_origin, corsOrigin);
      response.set(http::field::vary, "Origin");
    }
    response.set("X-Content-Type-Options", "nosniff");
    const auto elapsed = std::chrono::steady_clock::now() - started;
    service->metrics_.ObserveLatency(endpoint, elapsed);
    if (service->options_.logRequests) {
      const unsigned status = response.result_int();
      const auto line = [&]() -> json {
        json fields = {{"client", client}, {"method", std::string(request.method_string())}, {"site", siteKey}};
        if (!IsRefusal(status)) {
          fields["route"] = Metrics::Name(endpoint);
          fields["status"] = status;
          fields["ms"] = std::round(std::chrono::duration<double, std::milli>(elapsed).count() * 100) / 100;
        }
        return fields;
      };
      if (IsRefusal(status)) {
        service->refusals_.Add(Metrics::Name(endpoint), status, ErrorCodeOf(response.body()), line);
      } else {
        WriteLogLine(line());
      }
    }
    respond(std::move(response));
  }
};

CaptchaService::CaptchaService(std::shared_ptr<const ServiceConfig> config, Stores stores, ServiceOptions options)
    : config_(std::move(config)),
      stores_(std::move(stores)),
      options_(std::move(options)),
      pool_(options_.renderThreads, options_.renderQueue, options_.renderPerClient, options_.renderPerNetwork) {
  InitializeSodium();
  if (!config_ || !stores_.replay || !stores_.limiter) {
    throw std::invalid_argument("the service needs its keys, sites and stores");
  }
}

CaptchaService::~CaptchaService() = default;

void CaptchaService::Reload(std::shared_ptr<const ServiceConfig> config) {
  if (!config) throw std::invalid_argument("no configuration to reload");
  const std::scoped_lock lock(configMutex_);
  config_ = std::move(config);
}

std::shared_ptr<const ServiceConfig> CaptchaService::Config() const {
  const std::scoped_lock lock(configMutex_);
  return config_;
}

std::int64_t CaptchaService::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(options_.clock().time_since_epoch()).count();
}

bool CaptchaService::Ready() { return !pool_.Saturated() && stores_.replay->Ready(); }

void CaptchaService::Handle(Request&& request, const Peer& peer, Responder respond) {
  Dispatch(std::move(request), peer, std::move(respond), Listener::Main);
}

void CaptchaService::HandleMetrics(Request&& request, const Peer& peer, Responder respond) {
  Dispatch(std::move(request), peer, std::move(respond), Listener::Metrics);
}

void CaptchaService::Dispatch(Request&& request, const Peer& peer, Responder respond, Listener listener) {
  auto call = std::make_shared<Call>();
  call->service = this;
  call->request = std::move(request);
  call->peer = peer;
  call->respond = std::move(respond);
  call->config = Config();
  call->client = ClientKey(peer.client);

  const std::string_view target(call->request.target().data(), call->request.target().size());
  const std::string_view path = target.substr(0, target.find('?'));
  // HEAD is routed as its GET; handlers whose body costs work skip it.
  call->head = call->request.method() == http::verb::head;
  const http::verb method = call->head ? http::verb::get : call->request.method();
  const auto only = [&](http::verb allowed, std::string_view names, Endpoint endpoint, auto&& handle) {
    call->endpoint = endpoint;
    if (method == allowed) return handle();
    call->Finish(MethodNotAllowed(names));
  };
  if (listener == Listener::Metrics) {
    if (path == "/metrics") return only(http::verb::get, "GET, HEAD", Endpoint::Metrics, [&] { ServeMetrics(call); });
    return call->Finish(JsonError(http::status::not_found, "not_found", "no such path"));
  }
  if (path == "/api/challenge") {
    call->endpoint = Endpoint::Challenge;
    if (method == http::verb::post || method == http::verb::options) return Challenge(call);
    return call->Finish(MethodNotAllowed("POST, OPTIONS"));
  }
  if (path == "/api/puzzle") return only(http::verb::get, "GET, HEAD", Endpoint::Puzzle, [&] { Puzzle(call); });
  if (path.starts_with(kAudioPrefix)) {
    return only(http::verb::get, "GET, HEAD", Endpoint::Audio, [&] { Audio(call, path.substr(kAudioPrefix.size())); });
  }
  if (path == "/api/verify") return only(http::verb::post, "POST", Endpoint::Verify, [&] { Verify(call); });
  if (path == "/siteverify") return only(http::verb::post, "POST", Endpoint::SiteVerify, [&] { SiteVerify(call); });
  // The demo page asks the implicit site for its challenges: with a sites file there is
  // none, and a page that can only fail is not served.
  const bool demo = call->config->sites.IsImplicit();
  if (demo && (path == "/" || path == "/index.html")) {
    return only(http::verb::get, "GET, HEAD", Endpoint::Page, [&] {
      Response response = Asset("text/html; charset=utf-8", DemoPage());
      // The page loads nothing from elsewhere: images come inline, sound from this server,
      // and the proof-of-work solver runs in a worker made from the widget's own text.
      response.set("Content-Security-Policy",
                   "default-src 'self'; img-src 'self' data:; media-src 'self'; worker-src blob:; "
                   "style-src 'self' 'unsafe-inline'; frame-ancestors 'none'");
      call->Finish(std::move(response));
    });
  }
  if (path == "/quillgate.js") {
    return only(http::verb::get, "GET, HEAD", Endpoint::Page, [&] {
      // The widget is included by sites' pages, whatever their origin.
      call->corsOrigin = "*";
      call->Finish(Asset("text/javascript; charset=utf-8", WidgetScript()));
    });
  }
  if (path == "/vendor/argon2id.js") {
    return only(http::verb::get, "GET, HEAD", Endpoint::Page, [&] {
      // Loaded by the widget's worker on sites' pages, whatever their origin.
      call->corsOrigin = "*";
      call->Finish(Asset("text/javascript; charset=utf-8", Argon2idScript()));
    });
  }
  if (demo && path == "/demo.js") {
    return only(http::verb::get, "GET, HEAD", Endpoint::Page,
                [&] { call->Finish(Asset("text/javascript; charset=utf-8", DemoScript())); });
  }
  if (path == "/healthz") {
    return only(http::verb::get, "GET, HEAD", Endpoint::Health,
                [&] { call->Finish(JsonResponse(http::status::ok, {{"status", "ok"}})); });
  }
  if (path == "/readyz") {
    return only(http::verb::get, "GET, HEAD", Endpoint::Ready, [&] {
      const bool storeReady = stores_.replay->Ready();
      const bool poolReady = !pool_.Saturated();
      const bool ready = storeReady && poolReady;
      // A store that counts its room is not ready because it is nearly full; a shared one
      // because it does not answer, holds no epoch, or may evict.
      const char* store = storeReady ? "ok" : stores_.replay->Usage() ? "nearly_full" : "unreachable";
      call->Finish(JsonResponse(ready ? http::status::ok : http::status::service_unavailable,
                                {{"status", ready ? "ready" : "not_ready"},
                                 {"store", store},
                                 {"render_pool", poolReady ? "ok" : "saturated"}}));
    });
  }
  if (path == "/metrics" && options_.metricsOnMainListener) {
    return only(http::verb::get, "GET, HEAD", Endpoint::Metrics, [&] { ServeMetrics(call); });
  }
  call->Finish(JsonError(http::status::not_found, "not_found", "no such path"));
}

void CaptchaService::ServeMetrics(const std::shared_ptr<Call>& call) {
  MetricGauges gauges;
  if (const auto usage = stores_.replay->Usage()) {
    gauges.storeEntries = usage->entries;
    gauges.storeCapacity = usage->capacity;
  }
  gauges.renderWaiting = pool_.Waiting();
  call->Finish(Asset("text/plain; version=0.0.4; charset=utf-8", metrics_.Render(gauges)));
}

bool CaptchaService::TakeToken(const std::shared_ptr<Call>& call, char kind, const BucketRule& rule) {
  std::string key;
  key.reserve(3 + call->siteKey.size() + call->client.size());
  key.append(1, kind).append("|").append(call->siteKey).append("|").append(call->client);
  const RateDecision decision = stores_.limiter->Take(key, rule, NowMs());
  switch (decision.verdict) {
    case RateDecision::Verdict::Allowed:
      return true;
    case RateDecision::Verdict::Limited:
      metrics_.CountRefusal(RefusalReason::RateLimited);
      call->Finish(RetryLater(http::status::too_many_requests, "rate_limited",
                              "too many requests from this client; try again later", decision.retryAfterMs));
      return false;
    case RateDecision::Verdict::Unavailable:
      break;
  }
  metrics_.CountStoreError();
  call->Finish(RetryLater(http::status::service_unavailable, "store_unavailable",
                          "the server cannot reach its store; try again shortly", 1000));
  return false;
}

const Site* CaptchaService::SiteOf(const std::shared_ptr<Call>& call, const std::string& siteKey) {
  const Sites& sites = call->config->sites;
  const Site* site = nullptr;
  if (sites.IsImplicit() && (siteKey.empty() || siteKey == sites.All().front().siteKey)) {
    site = &sites.All().front();
  } else if (siteKey.empty()) {
    call->Finish(JsonError(http::status::bad_request, "missing_sitekey", "a challenge needs the site's sitekey"));
    return nullptr;
  } else {
    site = sites.ByKey(siteKey);
  }
  if (site == nullptr) {
    call->Finish(JsonError(http::status::bad_request, "invalid_sitekey", "no site has this sitekey"));
    return nullptr;
  }
  call->siteKey = site->siteKey;

  // Only the site's own pages: a third-party page cannot make its visitors ask for them.
  const std::string origin(Header(call->request, http::field::origin));
  if (!site->AllowsOrigin(origin)) {
    metrics_.CountRefusal(RefusalReason::Origin);
    call->Finish(JsonError(http::status::forbidden, "origin_not_allowed",
                           "this site's challenges may not be asked for from " + origin));
    return nullptr;
  }
  if (!origin.empty()) call->corsOrigin = origin;
  return site;
}

namespace {

// The site key in the query string (a preflight, and a GET, carry no body).
std::string SiteKeyInQuery(const Request& request) {
  const std::string_view target(request.target().data(), request.target().size());
  if (const std::size_t query = target.find('?'); query != std::string_view::npos) {
    if (const auto fields = ParseForm(target.substr(query + 1))) {
      if (const auto named = fields->find("sitekey"); named != fields->end()) return named->second;
    }
  }
  return {};
}

}  // namespace

CaptchaService::WorkAsked CaptchaService::AskWork(const Policy& policy) const {
  WorkAsked asked{policy.work.units, policy.work.units};
  if (policy.work.underLoad == 0) return asked;
  // Under load every challenge costs work, so a flood from many addresses pays for each
  // drawing it takes while the server's room lasts; the work doubles as the pool's queue
  // reaches a job per thread, or as the connection table fills its last eighth.
  const double pool = pool_.Load();
  const double connections = options_.connectionLoad ? options_.connectionLoad() : 0.0;
  constexpr double kConnectionsNearlyFull = 0.875;
  if (pool <= 0.5 && connections < kConnectionsNearlyFull) return asked;
  const double growth =
      std::clamp(std::max(pool, 1.0 + (connections - kConnectionsNearlyFull) / (1.0 - kConnectionsNearlyFull)), 1.0, 2.0);
  asked.least = std::max(asked.least, policy.work.underLoad);
  asked.units = std::max(asked.units, static_cast<std::int32_t>(std::min<double>(
                                          kMaxWorkUnits, std::round(policy.work.underLoad * growth))));
  asked.underLoad = true;
  return asked;
}

void CaptchaService::Puzzle(const std::shared_ptr<Call>& call) {
  const Site* site = SiteOf(call, SiteKeyInQuery(call->request));
  if (site == nullptr) return;
  const Policy& policy = site->policy;
  // Each puzzle costs the server its targets' work: a bucket of its own keeps one client
  // from spending the server's time on puzzles it never solves.
  if (!TakeToken(call, 'p', policy.puzzleLimit)) return;
  // A client asks for a puzzle because a challenge was refused for want of work; the load
  // that asked it may have passed a moment later and come back by its next request, so a
  // site that ever asks work gives at least the under-load amount rather than none.
  const WorkAsked asked = AskWork(policy);
  const std::int32_t units = asked.units > 0 ? asked.units : policy.work.underLoad;
  if (units == 0) return call->Finish(JsonResponse(http::status::ok, {{"units", 0}}));
  const std::int64_t nowMs = NowMs();
  ::quillgate::service::Puzzle puzzle;
  puzzle.issuedMs = nowMs;
  puzzle.expiresMs = nowMs + kPuzzleTtlMs;
  puzzle.issuer = stores_.replay->Issuer();
  puzzle.algorithm = policy.work.algorithm;
  puzzle.cost = UnitCostOf(policy.work.algorithm);
  puzzle.range = RangeFor(units);
  puzzle.siteKey = site->siteKey;
  call->Finish(JsonResponse(http::status::ok, ToJson(OfferPuzzle(call->config->keys, puzzle))));
}

// The proof of work a challenge request carries, checked against what is asked now: true
// when it is good (and now used up), otherwise the refusal is given. A request without
// work costs no more than reading it: the refusal is a fixed reply.
bool CaptchaService::CheckWork(const std::shared_ptr<Call>& call, const Site& site, const json& work,
                               const WorkAsked& asked) {
  const auto refuse = [&](const char* error, const std::string& message) {
    metrics_.CountRefusal(RefusalReason::Work);
    call->Finish(JsonError(http::status::forbidden, error, message));
    return false;
  };
  if (work.is_null()) {
    return refuse("pow_required", std::string(asked.underLoad ? "the server is under load and asks for proof of work: "
                                                               : "this site asks for proof of work: ") +
                                      "get a puzzle from /api/puzzle?sitekey=" + site.siteKey +
                                      " and send {\"puzzle\", \"solution\"} as \"pow\"");
  }
  const auto solution = work.is_object() ? work.find("solution") : work.end();
  WorkAnswers answers{};
  bool wellFormed = work.is_object() && work.contains("puzzle") && work["puzzle"].is_string() &&
                    solution != work.end() && solution->is_array() && solution->size() == answers.size();
  for (std::size_t j = 0; wellFormed && j < answers.size(); ++j) {
    const json& answer = (*solution)[j];
    wellFormed = answer.is_number_unsigned() && answer.get<std::uint64_t>() <= 0xFFFF'FFFFU;
    if (wellFormed) answers[j] = answer.get<std::uint32_t>();
  }
  if (!wellFormed) {
    return refuse("pow_invalid", "pow must be {\"puzzle\": string, \"solution\": [" + std::to_string(kSearches) +
                                     " whole numbers]}");
  }
  const std::string& text = work["puzzle"].get_ref<const std::string&>();
  const std::int64_t nowMs = NowMs();
  const auto opened = OpenPuzzle(call->config->keys, text, nowMs);
  if (const auto* error = std::get_if<PuzzleError>(&opened)) {
    if (*error == PuzzleError::Expired) return refuse("pow_expired", "the puzzle has expired; get a new one");
    return refuse("pow_invalid", "this is not a puzzle of this server");
  }
  const ::quillgate::service::Puzzle& puzzle = std::get<::quillgate::service::Puzzle>(opened);
  if (puzzle.siteKey != site.siteKey) return refuse("pow_invalid", "the puzzle is for another site");
  // Puzzles of another algorithm or unit, or fewer units than asked without growth, come
  // from an older policy: the visitor may solve a new one.
  if (puzzle.algorithm != site.policy.work.algorithm || puzzle.cost != UnitCostOf(puzzle.algorithm) ||
      puzzle.Units() < asked.least) {
    return refuse("pow_too_easy", "the puzzle asks for less work than this site does now; get a new one");
  }
  if (!Solves(call->config->keys, puzzle, answers)) return refuse("pow_wrong", "the solution does not solve the puzzle");
  switch (stores_.replay->Redeem(PuzzleUse(puzzle, text), nowMs)) {
    case Redemption::First:
      return true;
    case Redemption::Used:
      return refuse("pow_used", "this puzzle was used already; get a new one");
    case Redemption::Stale:
      return refuse("pow_expired", "the puzzle has expired; get a new one");
    case Redemption::Unavailable:
      break;
  }
  metrics_.CountStoreError();
  call->Finish(RetryLater(http::status::service_unavailable, "store_unavailable",
                          "the server cannot reach its store; try again shortly", 1000));
  return false;
}

void CaptchaService::Challenge(const std::shared_ptr<Call>& call) {
  const Request& request = call->request;

  // The site: named by the request, or the implicit one of a server without a sites file.
  json wishes = json::object();
  if (!request.body().empty() && request.method() == http::verb::post) {
    wishes = json::parse(request.body(), nullptr, false);
    if (wishes.is_discarded() || !wishes.is_object()) {
      return call->Finish(JsonError(http::status::bad_request, "bad_request", "the body must be a JSON object"));
    }
  }
  std::string siteKey;
  if (const auto named = wishes.find("sitekey"); named != wishes.end()) {
    if (!named->is_string()) {
      return call->Finish(JsonError(http::status::bad_request, "bad_request", "sitekey must be a string"));
    }
    siteKey = named->get<std::string>();
    wishes.erase("sitekey");
  } else {
    siteKey = SiteKeyInQuery(request);
  }
  const Site* site = SiteOf(call, siteKey);
  if (site == nullptr) return;
  const std::string origin(Header(request, http::field::origin));
  if (request.method() == http::verb::options) {
    Response response{http::status::no_content, 11};
    response.set(http::field::access_control_allow_methods, "POST");
    response.set(http::field::access_control_allow_headers, "Content-Type");
    response.set(http::field::access_control_max_age, "600");
    return call->Finish(std::move(response));
  }

  const Policy& policy = site->policy;
  json work;
  if (const auto sent = wishes.find("pow"); sent != wishes.end()) {
    work = std::move(*sent);
    wishes.erase("pow");
  }
  const auto chosen = ChooseSettings(policy, wishes, &RandomIndex);
  if (const auto* refusal = std::get_if<PolicyRefusal>(&chosen)) {
    metrics_.CountRefusal(RefusalReason::Policy);
    return call->Finish(JsonError(http::status::bad_request, refusal->malformed ? "bad_request" : "policy",
                                  refusal->message));
  }
  if (!TakeToken(call, 'c', policy.challengeLimit)) return;
  if (const WorkAsked asked = AskWork(policy); asked.units > 0 && !CheckWork(call, *site, work, asked)) return;

  const ImageSettings settings = std::get<ImageSettings>(chosen);
  TokenClaims claims;
  claims.issuedMs = NowMs();
  claims.expiresMs = claims.issuedMs + policy.ttlMs;
  claims.id = NewTokenId();
  claims.issuer = stores_.replay->Issuer();
  claims.siteKey = site->siteKey;
  claims.hostname = HostnameOf(origin);
  claims.style = static_cast<std::uint8_t>(settings.style);
  claims.type = static_cast<std::uint8_t>(settings.type);
  claims.width = static_cast<std::uint16_t>(settings.width);
  claims.height = static_cast<std::uint16_t>(settings.height);

  // Drawing happens on the render pool, never on the thread that serves connections.
  auto answer = std::make_shared<Response>();
  const auto admission = pool_.Submit(
      call->client, NetworkKey(call->peer.client),
      [this, call, settings, claims, answer]() mutable {
        try {
          claims.code = GenerateCode(settings.length, settings.type);
          const std::vector<unsigned char> image = RenderImage(claims.code, settings);
          const std::string token = SealToken(call->config->keys, claims);
          metrics_.CountChallenge();
          *answer = JsonResponse(http::status::ok, {{"token", token},
                                                    {"audio", std::string(kAudioPrefix) + token},
                                                    {"expires", claims.expiresMs / 1000},
                                                    {"expires_ms", claims.expiresMs},
                                                    {"style", settings.style},
                                                    {"width", settings.width},
                                                    {"height", settings.height}});
          // The image goes in as it stands: a data: URI of the base64 alphabet has nothing
          // JSON would escape, and passing its ~15 KB through the serializer's escaping byte
          // by byte cost a third as much as drawing the image.
          answer->body().insert(1, "\"image\":\"data:" + std::string(MimeTypeOf(settings.format)) + ";base64," +
                                       Base64(image) + "\",");
        } catch (const std::exception& error) {
          *answer = JsonError(http::status::internal_server_error, "render_failed", error.what());
        }
      },
      [call, answer] { call->Finish(std::move(*answer)); });
  if (admission == RenderPool::Admission::Full) {
    metrics_.CountRefusal(RefusalReason::PoolFull);
    call->Finish(RetryLater(http::status::service_unavailable, "busy",
                            "the server is drawing as many challenges as it can; try again shortly", 1000));
  } else if (admission == RenderPool::Admission::ClientFull) {
    metrics_.CountRefusal(RefusalReason::PoolFull);
    call->Finish(RetryLater(http::status::too_many_requests, "too_many_pending",
                            "this client already has challenges being drawn", 1000));
  } else if (admission == RenderPool::Admission::NetworkFull) {
    metrics_.CountRefusal(RefusalReason::PoolFull);
    call->Finish(RetryLater(http::status::too_many_requests, "too_many_pending",
                            "this client's network already has many challenges being drawn", 1000));
  }
}

void CaptchaService::Audio(const std::shared_ptr<Call>& call, std::string_view token) {
  const std::int64_t nowMs = NowMs();
  const auto opened = OpenToken(call->config->keys, token, nowMs);
  if (const auto* error = std::get_if<TokenError>(&opened)) {
    return call->Finish(JsonError(*error == TokenError::Expired ? http::status::gone : http::status::not_found,
                                  ErrorName(*error), "no such live challenge"));
  }
  const TokenClaims& claims = std::get<TokenClaims>(opened);
  const Site* site = call->config->sites.ByKey(claims.siteKey);
  if (site == nullptr) return call->Finish(JsonError(http::status::not_found, "unknown_site", "no such live challenge"));
  call->siteKey = site->siteKey;
  // The recording is the same on every fetch, so the browser may keep it until expiry.
  const std::int64_t maxAge = std::max<std::int64_t>(0, (claims.expiresMs - nowMs) / 1000);
  const auto audioHeaders = [maxAge](Response& response) {
    response.set(http::field::content_type, "audio/wav");
    response.set(http::field::cache_control, "private, max-age=" + std::to_string(maxAge));
  };
  if (call->head) {
    // A HEAD neither draws the recording nor counts as one of its few fetches: it would
    // otherwise cost a drawing for nothing, and use up the visitor's fetches.
    Response response{http::status::ok, 11};
    audioHeaders(response);
    return call->Finish(std::move(response));
  }
  if (!TakeToken(call, 'a', site->policy.audioLimit)) return;
  // A few fetches let a visitor replay the recording on a page that does not cache it;
  // more would only serve a script.
  switch (stores_.replay->FetchAudio(claims, nowMs, kAudioFetchesPerToken)) {
    case AudioFetch::Allowed:
      break;
    case AudioFetch::Exhausted:
      return call->Finish(JsonError(http::status::gone, "audio_exhausted",
                                    "this challenge's audio was fetched as often as it may be; ask for a new challenge"));
    case AudioFetch::Used:
      return call->Finish(JsonError(http::status::gone, "used", "this challenge was answered already"));
    case AudioFetch::Stale:
      return call->Finish(JsonError(http::status::gone, "expired", "no such live challenge"));
    case AudioFetch::Unavailable:
      metrics_.CountStoreError();
      return call->Finish(RetryLater(http::status::service_unavailable, "store_unavailable",
                                     "the server cannot reach its store; try again shortly", 1000));
  }
  auto answer = std::make_shared<Response>();
  const auto admission = pool_.Submit(
      call->client, NetworkKey(call->peer.client),
      [answer, audioHeaders, code = claims.code, seed = AudioSeedOf(claims)] {
        try {
          const std::vector<unsigned char> wave = RecordChallengeAudio(code, seed);
          *answer = Response{http::status::ok, 11};
          audioHeaders(*answer);
          answer->body().assign(wave.begin(), wave.end());
        } catch (const std::exception& error) {
          *answer = JsonError(http::status::internal_server_error, "audio_failed", error.what());
        }
      },
      [call, answer] { call->Finish(std::move(*answer)); });
  if (admission != RenderPool::Admission::Queued) {
    metrics_.CountRefusal(RefusalReason::PoolFull);
    call->Finish(RetryLater(admission == RenderPool::Admission::Full ? http::status::service_unavailable
                                                                     : http::status::too_many_requests,
                            "busy", "try again shortly", 1000));
  }
}

void CaptchaService::Verify(const std::shared_ptr<Call>& call) {
  const json body = json::parse(call->request.body(), nullptr, false);
  if (body.is_discarded() || !body.is_object() || !body.contains("token") || !body["token"].is_string() ||
      !body.contains("answer") || !body["answer"].is_string()) {
    return call->Finish(JsonResponse(http::status::bad_request,
                                     {{"success", false},
                                      {"error", "bad_request"},
                                      {"message", "expected a JSON object with the strings token and answer"}}));
  }
  const std::int64_t nowMs = NowMs();
  const auto opened = OpenToken(call->config->keys, body["token"].get_ref<const std::string&>(), nowMs);
  const TokenClaims* claims = std::get_if<TokenClaims>(&opened);
  const Site* site = claims != nullptr ? call->config->sites.ByKey(claims->siteKey) : nullptr;
  // Tokens that do not open still cost the client: guessing at tokens is no free game.
  if (site != nullptr) call->siteKey = site->siteKey;
  if (!TakeToken(call, 'v', site != nullptr ? site->policy.verifyLimit : Policy::Default().verifyLimit)) return;

  const auto reply = [&](http::status status, VerifyOutcome outcome, std::string_view error) {
    metrics_.CountVerify(outcome);
    json result = {{"success", error.empty()}, {"error", nullptr}};
    if (!error.empty()) result["error"] = error;
    if (claims != nullptr) DescribeChallenge(result, *claims);
    call->Finish(JsonResponse(status, result));
  };
  if (const auto* error = std::get_if<TokenError>(&opened)) {
    static constexpr VerifyOutcome kOutcome[] = {VerifyOutcome::Malformed, VerifyOutcome::UnknownKey,
                                                 VerifyOutcome::Tampered, VerifyOutcome::Expired};
    return reply(http::status::ok, kOutcome[static_cast<int>(*error)], ErrorName(*error));
  }
  if (site == nullptr || !site->policy.verifyApi) {
    metrics_.CountVerify(VerifyOutcome::NotAllowed);
    return call->Finish(JsonResponse(http::status::forbidden,
                                     {{"success", false},
                                      {"error", "verify_api_off"},
                                      {"message", "this site checks answers with its secret at /siteverify"}}));
  }
  switch (stores_.replay->Redeem(*claims, nowMs)) {
    case Redemption::Used: return reply(http::status::ok, VerifyOutcome::Used, "used");
    case Redemption::Stale: return reply(http::status::ok, VerifyOutcome::Expired, "expired");
    case Redemption::Unavailable:
      metrics_.CountStoreError();
      return reply(http::status::service_unavailable, VerifyOutcome::StoreUnavailable, "store_unavailable");
    case Redemption::First: break;
  }
  if (!AnswerMatches(body["answer"].get_ref<const std::string&>(), claims->code)) {
    return reply(http::status::ok, VerifyOutcome::WrongAnswer, "wrong_answer");
  }
  reply(http::status::ok, VerifyOutcome::Success, {});
}

void CaptchaService::SiteVerify(const std::shared_ptr<Call>& call) {
  // The fields come form-encoded (as most sites' code sends them) or as JSON.
  std::map<std::string, std::string> fields;
  bool wellFormed = true;
  const std::string_view type = Header(call->request, http::field::content_type);
  if (type.starts_with("application/json")) {
    const json body = json::parse(call->request.body(), nullptr, false);
    wellFormed = body.is_object();
    if (wellFormed) {
      for (const auto& [name, value] : body.items()) {
        if (value.is_string()) fields.emplace(name, value.get<std::string>());
        else if (name == "secret" || name == "response" || name == "remoteip") wellFormed = false;
      }
    }
  } else if (auto form = ParseForm(call->request.body())) {
    fields = std::move(*form);
  } else {
    wellFormed = false;
  }

  const std::int64_t nowMs = NowMs();
  const auto reply = [&](http::status status, VerifyOutcome outcome, std::vector<std::string> errors,
                         const TokenClaims* claims) {
    metrics_.CountVerify(outcome);
    json result = {{"success", errors.empty()}, {"error-codes", errors}};
    if (claims != nullptr) DescribeChallenge(result, *claims);
    call->Finish(JsonResponse(status, result));
  };
  if (!wellFormed) return reply(http::status::bad_request, VerifyOutcome::Malformed, {"bad-request"}, nullptr);
  const auto secret = fields.find("secret");
  if (secret == fields.end() || secret->second.empty()) {
    return reply(http::status::ok, VerifyOutcome::Malformed, {"missing-input-secret"}, nullptr);
  }
  const Site* site = call->config->sites.BySecret(secret->second);
  if (site == nullptr) {
    // Guessing secrets is hopeless, but it is still not free.
    if (!TakeToken(call, 's', Policy::Default().verifyLimit)) return;
    return reply(http::status::ok, VerifyOutcome::BadSecret, {"invalid-input-secret"}, nullptr);
  }
  call->siteKey = site->siteKey;
  const auto response = fields.find("response");
  if (response == fields.end() || response->second.empty()) {
    return reply(http::status::ok, VerifyOutcome::Malformed, {"missing-input-response"}, nullptr);
  }
  // The response field is TOKEN.ANSWER: the token has no '.', the answer may.
  const std::string_view text = response->second;
  const std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) {
    return reply(http::status::ok, VerifyOutcome::Malformed, {"invalid-input-response"}, nullptr);
  }
  const auto opened = OpenToken(call->config->keys, text.substr(0, dot), nowMs);
  if (const auto* error = std::get_if<TokenError>(&opened)) {
    if (*error == TokenError::Expired) {
      return reply(http::status::ok, VerifyOutcome::Expired, {"timeout-or-duplicate"}, nullptr);
    }
    static constexpr VerifyOutcome kOutcome[] = {VerifyOutcome::Malformed, VerifyOutcome::UnknownKey,
                                                 VerifyOutcome::Tampered, VerifyOutcome::Expired};
    return reply(http::status::ok, kOutcome[static_cast<int>(*error)], {"invalid-input-response"}, nullptr);
  }
  const TokenClaims& claims = std::get<TokenClaims>(opened);
  // Another site's token is not this site's to spend: refused, and left unused.
  if (claims.siteKey != site->siteKey) {
    return reply(http::status::ok, VerifyOutcome::OtherSite, {"invalid-input-response"}, nullptr);
  }
  switch (stores_.replay->Redeem(claims, nowMs)) {
    case Redemption::Used: return reply(http::status::ok, VerifyOutcome::Used, {"timeout-or-duplicate"}, &claims);
    case Redemption::Stale: return reply(http::status::ok, VerifyOutcome::Expired, {"timeout-or-duplicate"}, &claims);
    case Redemption::Unavailable:
      metrics_.CountStoreError();
      return reply(http::status::service_unavailable, VerifyOutcome::StoreUnavailable, {"internal-error"}, &claims);
    case Redemption::First: break;
  }
  if (!AnswerMatches(text.substr(dot + 1), claims.code)) {
    return reply(http::status::ok, VerifyOutcome::WrongAnswer, {"invalid-input-response"}, &claims);
  }
  reply(http::status::ok, VerifyOutcome::Success, {}, &claims);
}

}  // namespace quillgate::service
