#include "Service/RedisReplayStore.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace quillgate::service {
namespace {

constexpr std::string_view kEpochKey = "quillgate:epoch";

// KEYS[1] the used-token key, KEYS[2] the epoch; ARGV now ms, issued ms, keep ms.
// Answers 0 first use, 1 used before, 2 issued before the epoch.
constexpr std::string_view kRedeemScript = R"lua(
local epoch = redis.call('GET', KEYS[2])
if not epoch then
  -- Redis lost its data: whatever it knew of used tokens is gone, so the epoch starts now.
  redis.call('SET', KEYS[2], ARGV[1])
  epoch = ARGV[1]
end
if tonumber(ARGV[2]) < tonumber(epoch) then
  return 2
end
if redis.call('SET', KEYS[1], '1', 'NX', 'PX', ARGV[3]) then
  return 0
end
return 1
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

Redemption RedisReplayStore::Redeem(const TokenClaims& claims, std::int64_t nowMs) {
  // Kept a second past expiry, so that servers whose clocks differ a little still agree.
  const std::int64_t keepMs = std::max<std::int64_t>(1, claims.expiresMs - nowMs + 1000);
  const std::optional<RedisReply> reply =
      client_->Eval(kRedeemScript, {"quillgate:used:" + Hex(claims.id), std::string(kEpochKey)},
                    {std::to_string(nowMs), std::to_string(claims.issuedMs), std::to_string(keepMs)});
  if (!reply || reply->type != RedisReply::Type::Integer) return Redemption::Unavailable;
  epochMarked_.store(true, std::memory_order_relaxed);
  switch (reply->integer) {
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
