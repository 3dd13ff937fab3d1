// Token buckets in this process: sharded so that workers rarely wait for each other, and
// bounded, so that a flood of new client addresses costs a fixed amount of memory.
#include "Service/RateLimiter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

namespace quillgate::service {

RateDecision TakeFromBucket(BucketState& state, const BucketRule& rule, std::int64_t nowMs) {
  if (rule.perMinute <= 0) return {};
  const double elapsed = static_cast<double>(std::max<std::int64_t>(0, nowMs - state.lastMs));
  state.tokens = std::min(rule.burst, state.tokens + elapsed * rule.perMinute / 60000.0);
  state.lastMs = std::max(state.lastMs, nowMs);
  RateDecision decision;
  if (state.tokens >= 1) {
    state.tokens -= 1;
    decision.tokensLeft = static_cast<std::int64_t>(std::floor(state.tokens));
    return decision;
  }
  decision.tokensLeft = static_cast<std::int64_t>(std::floor(state.tokens));
  decision.verdict = RateDecision::Verdict::Limited;
  decision.retryAfterMs = static_cast<std::int64_t>(std::ceil((1 - state.tokens) * 60000.0 / rule.perMinute));
  return decision;
}

namespace {

class MemoryRateLimiter final : public RateLimiter {
 public:
  // Each shard keeps its own bound and its own order, so the bucket it forgets is the least
  // recently used of its shard only: close enough when every shard holds many buckets, but a
  // small limiter split in shards would hold more than `maxBuckets` and forget live ones.
  explicit MemoryRateLimiter(std::size_t maxBuckets)
      : shardCount_(maxBuckets >= kShards * kMinPerShard ? kShards : 1),
        perShard_(std::max<std::size_t>(1, maxBuckets / shardCount_)) {}

  RateDecision Take(std::string_view key, const BucketRule& rule, std::int64_t nowMs) override {
    if (rule.perMinute <= 0) return {};
    const std::size_t hash = std::hash<std::string_view>{}(key);
    Shard& shard = shards_[hash % shardCount_];
    const std::scoped_lock lock(shard.mutex);
    auto found = shard.buckets.find(std::string(key));
    if (found == shard.buckets.end()) {
      if (shard.buckets.size() >= perShard_) {
        // The bucket used longest ago goes: at worst its client starts again full.
        shard.buckets.erase(shard.order.back());
        shard.order.pop_back();
      }
      shard.order.emplace_front(key);
      found = shard.buckets.emplace(shard.order.front(), Entry{{rule.burst, nowMs}, shard.order.begin()}).first;
    } else {
      shard.order.splice(shard.order.begin(), shard.order, found->second.place);
    }
    return TakeFromBucket(found->second.state, rule, nowMs);
  }

 private:
  static constexpr std::size_t kShards = 16;
  static constexpr std::size_t kMinPerShard = 4096;
  struct Entry {
    BucketState state;
    std::list<std::string>::iterator place;  // in `order`, most recent first
  };
  struct Shard {
    std::mutex mutex;
    std::list<std::string> order;
    std::unordered_map<std::string, Entry> buckets;
  };
  const std::size_t shardCount_;
  const std::size_t perShard_;
  std::array<Shard, kShards> shards_;
};

}  // namespace

std::unique_ptr<RateLimiter> MakeMemoryRateLimiter(std::size_t maxBuckets) {
  return std::make_unique<MemoryRateLimiter>(maxBuckets);
}

}  // namespace quillgate::service
