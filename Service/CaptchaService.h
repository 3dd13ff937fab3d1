#pragma once
// The service's endpoints, independent of the transport: each request in, one response out.
//
//   POST /api/challenge    {"style", "width", "height", "length", "type", "format"} (all
//                          optional) -> {"token", "image", "audio", "expires", "width", "height"}
//   GET  /api/audio/TOKEN  the spoken code as audio/wav
//   POST /api/verify       {"token", "answer"} -> {"success", "error"}
//   GET  /  /quillgate.js  /demo.js  /healthz  /metrics
//
// A verify consumes its token before the answer is compared, so a wrong guess costs the
// token: every try needs a new challenge, and a new picture comes with a new code.

#include "Service/Challenge.h"
#include "Service/HttpServer.h"
#include "Service/KeyRing.h"
#include "Service/Metrics.h"
#include "Service/ReplayStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace quillgate::service {

struct ServiceOptions {
  ImageSettings defaults;
  std::int64_t ttlSeconds = 300;
  // Tokens issued before this moment (Unix milliseconds) are refused as expired. A server
  // with the in-memory store sets its start time: it cannot know which of the tokens that
  // an earlier run issued were used.
  std::int64_t refuseIssuedBeforeMs = 0;
  // The clock, replaceable in tests.
  std::function<std::chrono::system_clock::time_point()> clock = [] {
    return std::chrono::system_clock::now();
  };
};

class CaptchaService {
 public:
  // Throws std::runtime_error when the default settings are outside the limits.
  CaptchaService(KeyRing keys, std::unique_ptr<ReplayStore> store, ServiceOptions options);

  [[nodiscard]] Response Handle(const Request& request);
  [[nodiscard]] Metrics& GetMetrics() { return metrics_; }

 private:
  Response Challenge(const Request& request);
  Response Audio(std::string_view token);
  Response Verify(const Request& request);

  [[nodiscard]] std::int64_t NowMs() const;

  const KeyRing keys_;
  const std::unique_ptr<ReplayStore> store_;
  const ServiceOptions options_;
  Metrics metrics_;
};

}  // namespace quillgate::service
