#include "Service/Stores.h"

#include "Service/MemoryReplayStore.h"
#include "Service/RedisClient.h"
#include "Service/RedisRateLimiter.h"
#include "Service/RedisReplayStore.h"

#include <stdexcept>
#include <string>

namespace quillgate::service {

void CheckStoreSpec(std::string_view spec) {
  if (spec == "memory") return;
  if (spec.find("://") == std::string_view::npos) {
    throw std::runtime_error("store: expected \"memory\" or a Redis URL (redis://HOST[:PORT][/DB] or unix:///PATH)");
  }
  (void)RedisUrl::Parse(spec);
}

Stores MakeStores(std::string_view spec, std::size_t memoryCapacity, std::chrono::milliseconds redisTimeout,
                  RedisStoreOptions redis) {
  CheckStoreSpec(spec);
  if (spec == "memory") return {std::make_unique<MemoryReplayStore>(memoryCapacity), MakeMemoryRateLimiter()};
  // One pool for both: a request takes a token and verifies over the same connections.
  auto client = std::make_shared<RedisClient>(RedisUrl::Parse(spec), redisTimeout);
  return {std::make_unique<RedisReplayStore>(client, redis), std::make_unique<RedisRateLimiter>(client)};
}

}  // namespace quillgate::service
