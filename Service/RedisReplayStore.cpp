#include "Service/RedisReplayStore.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace quillgate::service {
namespace {

constexpr std::string_view kEpochKey = "quillgate:epoch";

// KEYS[1] the used-token key, KEYS[2] the epoch, KEYS[3] the token's audio count; ARGV now
// ms, issued ms, keep ms, then "redeem" or the audio fetch limit. Answers 2 for a token
// issued before the epoch. A redeem answers 0 first use, 1 used before; an audio fetch 0
// counted, 1 the token was used, 3 fetched too often.
constexpr std::string_view kScript = R"lua(
local epoch = redis.call('GET', KEYS[2])
if not epoch then
  -- Redis lost its data: whatever it knew of used tokens is gone, so the epoch starts now.
  redis.call('SET', KEYS[2], ARGV[1])
  epoch = ARGV[1]
end
if tonumber(ARGV[2]) < tonumber(epoch) then
  return 2
end
if ARGV[4] == 'redeem' then
  if redis.call('SET', KEYS[1], '1', 'NX', 'PX', ARGV[3]) then
    return 0
  end
  return 1
end
if redis.call('EXISTS', KEYS[1]) == 1 then
  return 1
end
local fetches = redis.call('INCR', KEYS[3])
if fetches == 1 then
  redis.call('PEXPIRE', KEYS[3], ARGV[3])
end
if fetches > tonumber(ARGV[4]) then
  return 3
end
return 0
)lua";

std::int64_t WallMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

RedisReplayStore::RedisReplayStore(std::shared_ptr<RedisClient> client) : client_(std::move(client)) {
  if (!client_) throw std::invalid_argument("RedisReplayStore needs a client");
  MarkEpoch(WallMs());
}

bool RedisReplayStore::MarkEpoch(std::int64_t nowMs) {
  const std::optional<RedisReply> reply =
      client_->Command({"SET", std::string(kEpochKey), std::to_string(nowMs), "NX"});
  // OK: set now; nil: already there. Either way Redis holds an epoch.
  if (reply && (reply->type == RedisReply::Type::Status || reply->type == RedisReply::Type::Nil)) {
    epochMarked_.store(true, std::memory_order_relaxed);
    return true;
  }
  return false;
}

std::optional<long long> RedisReplayStore::Run(const TokenClaims& claims, std::int64_t nowMs,
                                               const std::string& mode) {
  // Kept a second past expiry, so that servers whose clocks differ a little still agree.
  const std::int64_t keepMs = std::max<std::int64_t>(1, claims.expiresMs - nowMs + 1000);
  const std::string id = Hex(claims.id);
  const std::optional<RedisReply> reply =
      client_->Eval(kScript, {"quillgate:used:" + id, std::string(kEpochKey), "quillgate:audio:" + id},
                    {std::to_string(nowMs), std::to_string(claims.issuedMs), std::to_string(keepMs), mode});
  if (!reply || reply->type != RedisReply::Type::Integer) return std::nullopt;
  epochMarked_.store(true, std::memory_order_relaxed);
  return reply->integer;
}

AudioFetch RedisReplayStore::FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) {
  const auto answer = Run(claims, nowMs, std::to_string(limit));
  if (!answer) return AudioFetch::Unavailable;
  switch (*answer) {
    case 0:
      return AudioFetch::Allowed;
    case 1:
      return AudioFetch::Used;
    case 2:
      return AudioFetch::Stale;
    case 3:
      return AudioFetch::Exhausted;
    default:
      return AudioFetch::Unavailable;
  }
}

Redemption RedisReplayStore::Redeem(const TokenClaims& claims, std::int64_t nowMs) {
  const auto answer = Run(claims, nowMs, "redeem");
  if (!answer) return Redemption::Unavailable;
  switch (*answer) {
    case 0:
      return Redemption::First;
    case 1:
      return Redemption::Used;
    case 2:
      return Redemption::Stale;
    default:
      return Redemption::Unavailable;
  }
}

bool RedisReplayStore::Ready() {
  // Until the epoch is in Redis, marking it is the readiness probe: a server that came up
  // while Redis was away must not issue tokens before the fleet's epoch exists.
  if (!epochMarked_.load(std::memory_order_relaxed)) return MarkEpoch(WallMs());
  return client_->Ping();
}

}  // namespace quillgate::service
