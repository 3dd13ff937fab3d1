#include "Service/RedisReplayStore.h"

#include "Service/MemoryReplayStore.h"

#include <hiredis/hiredis.h>

#include <sys/time.h>

#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace quillgate::service {
namespace {

timeval ToTimeval(std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  return value;
}

struct ReplyDeleter {
  void operator()(redisReply* reply) const noexcept { freeReplyObject(reply); }
};

void Log(const std::string& line) { std::fprintf(stderr, "quillgate serve: %s\n", line.c_str()); }

}  // namespace

void RedisReplayStore::ContextDeleter::operator()(redisContext* context) const noexcept {
  redisFree(context);
}

RedisReplayStore::RedisReplayStore(std::string host, int port, std::chrono::milliseconds timeout)
    : host_(std::move(host)), port_(port), timeout_(timeout) {}

RedisReplayStore::~RedisReplayStore() = default;

bool RedisReplayStore::Admit(std::int64_t, std::int64_t) { return true; }

RedisReplayStore::Connection RedisReplayStore::Acquire() {
  {
    const std::scoped_lock lock(mutex_);
    if (!idle_.empty()) {
      Connection connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
  }
  Connection connection(redisConnectWithTimeout(host_.c_str(), port_, ToTimeval(timeout_)));
  if (!connection || connection->err != 0) {
    Log("redis " + Describe() + " unreachable: " +
        (connection ? std::string(connection->errstr) : std::string("out of memory")) +
        "; verify refused");
    return nullptr;
  }
  redisSetTimeout(connection.get(), ToTimeval(timeout_));
  return connection;
}

void RedisReplayStore::Release(Connection connection) {
  const std::scoped_lock lock(mutex_);
  idle_.push_back(std::move(connection));
}

Redemption RedisReplayStore::Redeem(const TokenId& id, std::int64_t expires, std::int64_t now) {
  Connection connection = Acquire();
  if (!connection) return Redemption::Unavailable;
  const std::string key = "quillgate:used:" + Hex(id);
  // Kept one second past expiry, so clocks a little apart on several servers still agree.
  const long long ttl = std::max<std::int64_t>(1, expires - now + 1);
  const std::unique_ptr<redisReply, ReplyDeleter> reply(static_cast<redisReply*>(
      redisCommand(connection.get(), "SET %b 1 NX EX %lld", key.data(), key.size(), ttl)));
  if (!reply) {
    // The connection is broken (timeout, reset): dropped, a new one is made next time.
    Log("redis " + Describe() + " failed: " + std::string(connection->errstr) + "; verify refused");
    return Redemption::Unavailable;
  }
  Release(std::move(connection));
  if (reply->type == REDIS_REPLY_STATUS && std::string_view(reply->str, reply->len) == "OK") {
    return Redemption::First;
  }
  if (reply->type == REDIS_REPLY_NIL) return Redemption::Used;
  Log("redis " + Describe() + " answered " +
      (reply->type == REDIS_REPLY_ERROR ? std::string(reply->str, reply->len)
                                        : std::string("an unexpected reply")) +
      "; verify refused");
  return Redemption::Unavailable;
}

std::string RedisReplayStore::Describe() const {
  return "redis://" + host_ + ":" + std::to_string(port_);
}

std::unique_ptr<ReplayStore> MakeReplayStore(std::string_view spec, std::size_t memoryCapacity) {
  if (spec == "memory") return std::make_unique<MemoryReplayStore>(memoryCapacity);
  constexpr std::string_view kScheme = "redis://";
  if (spec.starts_with(kScheme)) {
    std::string_view rest = spec.substr(kScheme.size());
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    const std::size_t colon = rest.rfind(':');
    const std::string_view host = rest.substr(0, colon);
    int port = 6379;
    if (colon != std::string_view::npos) {
      const std::string_view digits = rest.substr(colon + 1);
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
      if (error != std::errc{} || end != digits.data() + digits.size() || port < 1 || port > 65535) {
        throw std::runtime_error("--store: bad port in " + std::string(spec));
      }
    }
    if (host.empty() || host.find_first_of("/@?#") != std::string_view::npos) {
      throw std::runtime_error("--store: expected redis://HOST:PORT, got " + std::string(spec));
    }
    return std::make_unique<RedisReplayStore>(std::string(host), port);
  }
  throw std::runtime_error("--store: expected memory or redis://HOST:PORT, got " + std::string(spec));
}

}  // namespace quillgate::service
