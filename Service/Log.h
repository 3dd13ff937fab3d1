#pragma once
// The service's log: one JSON object per line on standard error, each line written with one
// write() so that lines from different threads never interleave. Request lines are
// {"time", "client", "method", "route", "status", "ms", "site"}; events are {"time",
// "event", ...}.

#include <nlohmann/json_fwd.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace quillgate::service {

// Writes `line` (a JSON object) with "time" (ISO 8601, UTC, milliseconds) put first.
void WriteLogLine(const nlohmann::json& line);

// "2026-12-07T06:30:00.123Z"
[[nodiscard]] std::string IsoTime(std::int64_t unixMs);

// Lets through at most one event per `interval`, from any number of threads: for errors
// that a failing dependency raises on every request (one line a second says as much as a
// thousand). Counts what it held back, for the next line that passes.
class LogThrottle {
 public:
  explicit LogThrottle(std::chrono::milliseconds interval = std::chrono::seconds(1)) : interval_(interval) {}
  // True when this event may be logged; `suppressed` then says how many were held back.
  bool Allow(std::uint64_t& suppressed);

 private:
  const std::chrono::milliseconds interval_;
  std::atomic<std::int64_t> nextNs_{0};
  std::atomic<std::uint64_t> held_{0};
};

}  // namespace quillgate::service
