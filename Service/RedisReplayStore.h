#pragma once
// The shared replay store: one Redis for every `quillgate serve` of a fleet that shares a
// key file. A verify is one Lua script, which Redis runs atomically, so between them the
// servers accept each token once. Whenever Redis cannot answer, the verify is refused
// (fail closed); the client logs why.
//
// The epoch lives in Redis too (quillgate:epoch, Unix milliseconds, no expiry). Redis that
// lost its data (restarted without persistence, flushed, failed over to an empty replica)
// has lost the epoch with it: the next verify sets it to its own time, so every token issued
// before then, whose use Redis may have forgotten, is refused as stale instead of accepted
// a second time.

#include "Service/RedisClient.h"
#include "Service/ReplayStore.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::service {

class RedisReplayStore final : public ReplayStore {
 public:
  // Marks the epoch at once when it is missing (a new fleet's epoch is the moment it first
  // met Redis, before it issued anything); Ready() tries again if Redis did not answer.
  explicit RedisReplayStore(std::shared_ptr<RedisClient> client);

  Redemption Redeem(const TokenClaims& claims, std::int64_t nowMs) override;
  AudioFetch FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) override;
  // Every server of the fleet writes to the same Redis: a token from any of them will do.
  [[nodiscard]] std::uint64_t Issuer() const override { return 0; }
  [[nodiscard]] bool Ready() override;
  [[nodiscard]] std::string Describe() const override { return client_->Describe(); }

 private:
  // Runs the store's script for the token in `mode` ("redeem", or an audio fetch limit):
  // its integer answer, or nothing when Redis did not give one.
  std::optional<long long> Run(const TokenClaims& claims, std::int64_t nowMs, const std::string& mode);
  // SET quillgate:epoch NX: true once Redis holds an epoch.
  bool MarkEpoch(std::int64_t nowMs);

  const std::shared_ptr<RedisClient> client_;
  std::atomic<bool> epochMarked_{false};
};

}  // namespace quillgate::service
