#include "Service/Log.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <tuple>
#include <utility>

namespace quillgate::service {

std::string IsoTime(std::int64_t unixMs) {
  const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(unixMs % 1000));
  return text;
}

void WriteLogLine(const nlohmann::json& line) {
  const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch()).count();
  std::string text = "{\"time\":\"" + IsoTime(nowMs) + "\"";
  const std::string rest = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (rest.size() > 2) text += "," + rest.substr(1);
  else text += "}";
  text += '\n';
  // One write: a line is whole or absent, whatever other threads log at the same time.
  while (::write(STDERR_FILENO, text.data(), text.size()) < 0 && errno == EINTR) {
  }
}

bool LogThrottle::Allow(std::uint64_t& suppressed) {
  const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch()).count();
  std::int64_t next = nextNs_.load(std::memory_order_relaxed);
  const std::int64_t interval = std::chrono::duration_cast<std::chrono::nanoseconds>(interval_).count();
  if (now >= next && nextNs_.compare_exchange_strong(next, now + interval, std::memory_order_relaxed)) {
    suppressed = held_.exchange(0, std::memory_order_relaxed);
    return true;
  }
  held_.fetch_add(1, std::memory_order_relaxed);
  return false;
}

namespace {

nlohmann::json RefusalLine(nlohmann::json line, std::string_view route, unsigned status, std::string_view error,
                           std::uint64_t count) {
  if (!line.is_object()) line = nlohmann::json::object();
  line["event"] = "refused";
  line["route"] = route;
  line["status"] = status;
  line["error"] = error;
  line["count"] = count;
  return line;
}

}  // namespace

void RefusalLog::Add(std::string_view route, unsigned status, std::string_view error,
                     const std::function<nlohmann::json()>& describe) {
  const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch()).count();
  std::uint64_t count = 0;
  {
    const std::scoped_lock lock(mutex_);
    Kind& kind = kinds_[{std::string(route), status, std::string(error)}];
    ++kind.held;
    if (now < kind.nextNs) return;
    kind.nextNs = now + std::chrono::duration_cast<std::chrono::nanoseconds>(interval_).count();
    count = std::exchange(kind.held, 0);
  }
  // Written outside the lock: a slow standard error must not hold every refusing thread.
  WriteLogLine(RefusalLine(describe ? describe() : nlohmann::json::object(), route, status, error, count));
}

RefusalLog::~RefusalLog() {
  for (const auto& [key, kind] : kinds_) {
    if (kind.held == 0) continue;
    const auto& [route, status, error] = key;
    WriteLogLine(RefusalLine(nlohmann::json::object(), route, status, error, kind.held));
  }
}

}  // namespace quillgate::service
