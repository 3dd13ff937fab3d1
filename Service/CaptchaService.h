#pragma once
// The service's endpoints, independent of the transport: each request in, one answer out
// (at once, or from the render pool once the picture is drawn).
//
//   POST /api/challenge  {"sitekey", "style", "width", "height", "length", "type", "format"}
//                        [, "pow": {"puzzle", "solution"}]
//                        -> {"token", "image", "audio", "expires", "expires_ms", "style",
//                            "width", "height"}
//   GET  /api/audio/TOKEN the spoken code as audio/wav
//   GET  /api/puzzle?sitekey=K  -> a proof-of-work puzzle (ProofOfWork.h), or {"units": 0}
//   POST /siteverify     secret, response[, remoteip] (form or JSON), for a site's server
//                        -> {"success", "challenge_ts", "hostname", "error-codes", ...}
//   POST /api/verify     {"token", "answer"} -> {"success", "error", ...}, only for sites
//                        whose policy opens it (the demo, sites without a secret)
//   GET  /  /quillgate.js  /vendor/argon2id.js  /demo.js  /healthz  /readyz  /metrics
//        (and HEAD on each; the demo page and its script only without a sites file,
//        /metrics perhaps elsewhere)
//
// Who may ask for what is the operator's: each site's policy bounds the challenges, the
// site's origins bound the pages, and every client has buckets for challenges, audio and
// verifies. A verify consumes its token before the answer is compared, so a wrong guess
// costs the token: every try needs a new challenge, and a new picture comes with a new code.

#include "Service/HttpServer.h"
#include "Service/KeyRing.h"
#include "Service/Log.h"
#include "Service/Metrics.h"
#include "Service/RenderPool.h"
#include "Service/Sites.h"
#include "Service/Stores.h"

#include <nlohmann/json_fwd.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace quillgate::service {

// What SIGHUP reloads: the keys and the sites, swapped as one.
struct ServiceConfig {
  KeyRing keys;
  Sites sites;
};

struct ServiceOptions {
  int renderThreads = 2;
  std::size_t renderQueue = 64;
  std::size_t renderPerClient = 8;
  std::size_t renderPerNetwork = 16;
  bool logRequests = true;
  // False when /metrics has a listener of its own (HandleMetrics): the main one, open to
  // anyone, then answers it 404, as what the counters tell is the operator's alone.
  bool metricsOnMainListener = true;
  // The share of the connection table in use (0 to 1), when the server tells it: nearly
  // full, every challenge needs proof of work.
  std::function<double()> connectionLoad;
  // The clock, replaceable in tests.
  std::function<std::chrono::system_clock::time_point()> clock = [] {
    return std::chrono::system_clock::now();
  };
};

class CaptchaService {
 public:
  // Fetches of one challenge's audio that are served.
  static constexpr int kAudioFetchesPerToken = 3;
  // How long a proof-of-work puzzle may take to solve and use.
  static constexpr std::int64_t kPuzzleTtlMs = 120'000;

  CaptchaService(std::shared_ptr<const ServiceConfig> config, Stores stores, ServiceOptions options);
  ~CaptchaService();

  void Handle(Request&& request, const Peer& peer, Responder respond);
  // The handler of a private listener that serves /metrics alone.
  void HandleMetrics(Request&& request, const Peer& peer, Responder respond);
  // Takes effect for requests that start after it; tokens sealed with a key the new ring
  // still holds keep working.
  void Reload(std::shared_ptr<const ServiceConfig> config);
  [[nodiscard]] Metrics& GetMetrics() { return metrics_; }
  // The store answers and the render pool has room.
  [[nodiscard]] bool Ready();

 private:
  struct Call;  // one request on its way through (defined in CaptchaService.cpp)
  enum class Listener { Main, Metrics };

  void Dispatch(Request&& request, const Peer& peer, Responder respond, Listener listener);
  void ServeMetrics(const std::shared_ptr<Call>& call);

  void Challenge(const std::shared_ptr<Call>& call);
  void Audio(const std::shared_ptr<Call>& call, std::string_view token);
  void Puzzle(const std::shared_ptr<Call>& call);
  // The site a request names (the implicit one when there is no sites file), checked
  // against the request's origin; nullptr once the refusal is given.
  const Site* SiteOf(const std::shared_ptr<Call>& call, const std::string& siteKey);
  // The work a challenge must carry now: `units` for a new puzzle, `least` that a solved
  // one must have had (what the policy asks, before any growth with the load).
  struct WorkAsked {
    std::int32_t units = 0;
    std::int32_t least = 0;
    bool underLoad = false;
  };
  [[nodiscard]] WorkAsked AskWork(const Policy& policy) const;
  bool CheckWork(const std::shared_ptr<Call>& call, const Site& site, const nlohmann::json& work,
                 const WorkAsked& asked);
  void Verify(const std::shared_ptr<Call>& call);
  void SiteVerify(const std::shared_ptr<Call>& call);
  // False (and the 429/503 given) when the client's bucket refuses the request.
  bool TakeToken(const std::shared_ptr<Call>& call, char kind, const BucketRule& rule);

  [[nodiscard]] std::shared_ptr<const ServiceConfig> Config() const;
  [[nodiscard]] std::int64_t NowMs() const;

  mutable std::mutex configMutex_;
  std::shared_ptr<const ServiceConfig> config_;
  const Stores stores_;
  const ServiceOptions options_;
  Metrics metrics_;
  RefusalLog refusals_;
  // Declared last: destroyed first, finishing the drawings still queued while the rest is
  // there for them.
  RenderPool pool_;
};

}  // namespace quillgate::service
