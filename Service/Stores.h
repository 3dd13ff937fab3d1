#pragma once
// Where the service keeps what must outlive one request: the used tokens and the clients'
// buckets. "memory" keeps both in this process; a Redis URL keeps both in one Redis, shared
// by every server of a fleet, over one pool of connections.

#include "Service/RateLimiter.h"
#include "Service/RedisReplayStore.h"
#include "Service/ReplayStore.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

namespace quillgate::service {

struct Stores {
  std::unique_ptr<ReplayStore> replay;
  std::unique_ptr<RateLimiter> limiter;
};

// Throws std::runtime_error unless `spec` is "memory" or a Redis URL that parses: what
// MakeStores checks before connecting, for the command line to refuse a mistyped --store.
void CheckStoreSpec(std::string_view spec);

// `spec` is "memory" or a Redis URL (RedisClient.h). `memoryCapacity` bounds the used
// tokens the memory store remembers; `redisTimeout` bounds every Redis call, connecting
// included; `redis` says how the Redis store guards against a Redis that forgets. Throws
// std::runtime_error for a spec it cannot use, or a Redis that may evict used tokens.
[[nodiscard]] Stores MakeStores(std::string_view spec, std::size_t memoryCapacity,
                                std::chrono::milliseconds redisTimeout = std::chrono::milliseconds(250),
                                RedisStoreOptions redis = {});

}  // namespace quillgate::service
