#include "Service/RedisReplayStore.h"

#include "Service/Log.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>

namespace quillgate::service {
namespace {

constexpr std::string_view kEpochKey = "quillgate:epoch";

// Lua shared by every script: the epoch, made from Redis's own clock when it is missing,
// so that no server's clock decides it. KEYS[1] is the epoch.
#define QG_EPOCH_LUA                                                                      \
  "local epoch = redis.call('GET', KEYS[1])\n"                                            \
  "if not epoch then\n"                                                                   \
  "  local now = redis.call('TIME')\n"                                                    \
  "  epoch = string.format('%.0f', tonumber(now[1]) * 1000 + math.floor(tonumber(now[2]) / 1000))\n" \
  "  redis.call('SET', KEYS[1], epoch)\n"                                                 \
  "end\n"

// On every new connection: the epoch is there before anything else is asked.
constexpr std::string_view kEnsureEpoch = QG_EPOCH_LUA "return 1\n";

// KEYS[1] epoch, KEYS[2] the used-token mark; ARGV issued ms, keep ms, skew margin ms.
// Answers 0 first use, 1 used before, 2 issued before the epoch and its margin.
constexpr std::string_view kRedeem = QG_EPOCH_LUA
    "if tonumber(ARGV[1]) < tonumber(epoch) + tonumber(ARGV[3]) then return 2 end\n"
    "if redis.call('SET', KEYS[2], '1', 'NX', 'PX', ARGV[2]) then return 0 end\n"
    "return 1\n";

// KEYS[1] epoch, KEYS[2] the used-token mark, KEYS[3] the audio count; ARGV issued ms, keep
// ms, skew margin ms, fetch limit. Answers 0 counted, 1 the token was used, 2 stale, 3
// fetched too often.
constexpr std::string_view kFetchAudio = QG_EPOCH_LUA
    "if tonumber(ARGV[1]) < tonumber(epoch) + tonumber(ARGV[3]) then return 2 end\n"
    "if redis.call('EXISTS', KEYS[2]) == 1 then return 1 end\n"
    "local fetches = redis.call('INCR', KEYS[3])\n"
    "if fetches == 1 then redis.call('PEXPIRE', KEYS[3], ARGV[2]) end\n"
    "if fetches > tonumber(ARGV[4]) then return 3 end\n"
    "return 0\n";

#undef QG_EPOCH_LUA

}  // namespace

RedisReplayStore::RedisReplayStore(std::shared_ptr<RedisClient> client, RedisStoreOptions options)
    : client_(std::move(client)), options_(options) {
  if (!client_) throw std::invalid_argument("RedisReplayStore needs a client");
  if (options_.skewMarginMs < 0) throw std::invalid_argument("the clock skew margin cannot be negative");
  client_->RunOnConnect({"EVAL", std::string(kEnsureEpoch), "1", std::string(kEpochKey)});
  std::string detail;
  switch (CheckEviction(&detail)) {
    case Eviction::Evicting:
      throw std::runtime_error("the Redis at " + client_->Describe() + " has maxmemory-policy " + detail +
                               ": under memory pressure it would evict used-token records and let used tokens "
                               "verify again. Set maxmemory-policy noeviction (CONFIG SET maxmemory-policy "
                               "noeviction, and in redis.conf)");
    case Eviction::Unverifiable:
      throw std::runtime_error("the Redis at " + client_->Describe() + " refuses CONFIG GET maxmemory-policy (" +
                               detail + "), so whether it may evict used-token records cannot be checked. "
                               "Make sure its maxmemory-policy is noeviction, then start with "
                               "--redis-noeviction-checked");
    case Eviction::Unknown:
    case Eviction::Safe:
      break;
  }
  MarkEpoch();
}

RedisReplayStore::Eviction RedisReplayStore::CheckEviction(std::string* detail) {
  const std::optional<RedisReply> reply = client_->Query({"CONFIG", "GET", "maxmemory-policy"});
  if (!reply) return eviction_.load();  // no answer: what was known stays known
  Eviction found = Eviction::Evicting;
  if (reply->type == RedisReply::Type::Error) {
    // CONFIG is disabled or renamed: only the operator's word can tell.
    if (detail != nullptr) *detail = reply->text;
    found = options_.evictionChecked ? Eviction::Safe : Eviction::Unverifiable;
    if (found == Eviction::Safe && eviction_.load() != Eviction::Safe) {
      WriteLogLine({{"event", "redis_eviction_unchecked"},
                    {"store", client_->Describe()},
                    {"note", "this Redis refuses CONFIG (" + reply->text +
                                 "); its maxmemory-policy is taken to be noeviction, as "
                                 "--redis-noeviction-checked states"}});
    }
  } else if (reply->type == RedisReply::Type::Array && reply->elements.size() == 2) {
    if (detail != nullptr) *detail = reply->elements[1].text;
    if (reply->elements[1].text == "noeviction") found = Eviction::Safe;
  }
  eviction_.store(found);
  return found;
}

bool RedisReplayStore::MayWrite() {
  Eviction now = eviction_.load(std::memory_order_relaxed);
  if (now == Eviction::Unknown) now = CheckEviction();
  return now == Eviction::Safe;
}

bool RedisReplayStore::MarkEpoch() {
  const std::optional<RedisReply> reply = client_->Eval(kEnsureEpoch, {std::string(kEpochKey)}, {});
  const bool marked = reply && reply->type == RedisReply::Type::Integer;
  if (marked) epochMarked_.store(true, std::memory_order_relaxed);
  return marked;
}

std::optional<long long> RedisReplayStore::Run(std::string_view script, const TokenClaims& claims,
                                               std::int64_t nowMs, const std::string& extra) {
  if (!MayWrite()) return std::nullopt;
  // Kept a second past expiry, so that servers whose clocks differ a little still agree.
  const std::int64_t keepMs = std::max<std::int64_t>(1, claims.expiresMs - nowMs + 1000);
  const std::string id = Hex(claims.id);
  std::vector<std::string> args = {std::to_string(claims.issuedMs), std::to_string(keepMs),
                                   std::to_string(options_.skewMarginMs)};
  if (!extra.empty()) args.push_back(extra);
  const std::optional<RedisReply> reply =
      client_->Eval(script, {std::string(kEpochKey), "quillgate:used:" + id, "quillgate:audio:" + id}, args);
  if (!reply || reply->type != RedisReply::Type::Integer) return std::nullopt;
  epochMarked_.store(true, std::memory_order_relaxed);
  return reply->integer;
}

AudioFetch RedisReplayStore::FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) {
  const auto answer = Run(kFetchAudio, claims, nowMs, std::to_string(limit));
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
  const auto answer = Run(kRedeem, claims, nowMs, {});
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
  // Marking the epoch is the probe: a server that came up while Redis was away must not
  // issue tokens before the fleet's epoch exists, and a Redis that lost it gets it back now
  // rather than at the next verify.
  if (!MarkEpoch()) return false;
  return CheckEviction() == Eviction::Safe;
}

}  // namespace quillgate::service
