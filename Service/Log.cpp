#include "Service/Log.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

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

}  // namespace quillgate::service
