#pragma once
// Token buckets in Redis, shared by every server of a fleet: a client that spreads its
// requests over the servers meets one bucket, not one per server. A take is one Lua script
// (one round trip, atomic in Redis) doing exactly TakeFromBucket's arithmetic, so a bucket
// refuses at the same moments whether it lives here or in memory. The time is the caller's
// (not Redis's), as for the memory buckets. A bucket left alone expires once it would be
// full again, so idle clients cost Redis nothing.

#include "Service/RateLimiter.h"
#include "Service/RedisClient.h"

#include <memory>

namespace quillgate::service {

class RedisRateLimiter final : public RateLimiter {
 public:
  explicit RedisRateLimiter(std::shared_ptr<RedisClient> client);

  // Unavailable when Redis does not answer: the request is then refused.
  RateDecision Take(std::string_view key, const BucketRule& rule, std::int64_t nowMs) override;

 private:
  const std::shared_ptr<RedisClient> client_;
};

}  // namespace quillgate::service
