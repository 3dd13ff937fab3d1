#pragma once
// The service's log: one JSON object per line on standard error, each line written with one
// write() so that lines from different threads never interleave. Request lines are
// {"time", "client", "method", "route", "status", "ms", "site"} for answers that succeed and
// for server errors; refusals are summarised (RefusalLog, below); events are {"time",
// "event", ...}.

#include <nlohmann/json_fwd.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>

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

// Refusals are what a flood is made of: a line for each would let any client fill the disk
// as fast as it can be refused. So each kind of refusal (route, status and error) gets at
// most one line per `interval`, the first of its interval, carrying in "count" how many
// refusals of that kind it stands for: itself and those held back since the kind's last
// line. What is still held back when the log goes is written then, so every refusal is
// counted in some line.
class RefusalLog {
 public:
  explicit RefusalLog(std::chrono::milliseconds interval = std::chrono::seconds(1)) : interval_(interval) {}
  ~RefusalLog();
  RefusalLog(const RefusalLog&) = delete;
  RefusalLog& operator=(const RefusalLog&) = delete;

  // One refusal. `describe` makes the request's line (client, method, site ...) and is
  // called only when a line is written; "event", "route", "status", "error" and "count"
  // are added to it.
  void Add(std::string_view route, unsigned status, std::string_view error,
           const std::function<nlohmann::json()>& describe);

 private:
  struct Kind {
    std::int64_t nextNs = 0;   // steady clock: no line of this kind before then
    std::uint64_t held = 0;    // refusals not yet counted in a line
  };
  const std::chrono::milliseconds interval_;
  std::mutex mutex_;
  // Keyed by route, status and error, all from the service's own fixed names, so the map
  // stays small whatever clients send.
  std::map<std::tuple<std::string, unsigned, std::string>, Kind> kinds_;
};

}  // namespace quillgate::service
