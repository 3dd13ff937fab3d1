#pragma once
// The shared replay store: one Redis for every `quillgate serve` of a fleet that shares a
// key file. A verify is one Lua script, which Redis runs atomically, so between them the
// servers accept each token once. Whenever Redis cannot answer, the verify is refused
// (fail closed); the client logs why.
//
// Two ways a Redis forgets used tokens, and what holds against each:
// - Eviction. A Redis that may evict keys under memory pressure drops used-token marks as
//   readily as anything else, and a flood of keys from many addresses (rate-limit buckets)
//   makes that pressure. So the store works only with maxmemory-policy noeviction: a Redis
//   that says otherwise is refused at start and, if it changes later, every verify fails
//   closed until it is put back. A full noeviction Redis refuses writes, and so verifies
//   fail closed (503), never replay. Where CONFIG is disabled (some managed Redis), the
//   operator states that the policy was checked (`evictionChecked`), and the log says so.
// - Losing its data (a restart without persistence, a flush, a fail-over to an empty
//   replica). The epoch key (quillgate:epoch, Unix milliseconds, no expiry) goes with the
//   data. It is made again from Redis's own clock whenever it is found missing: on every
//   new connection (before the call that needed it) and in every verify. Tokens issued
//   before the epoch plus `skewMarginMs` are refused as stale: Redis may have forgotten
//   their use, and a server whose clock runs up to the margin ahead cannot slip one
//   through.

#include "Service/RedisClient.h"
#include "Service/ReplayStore.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::service {

struct RedisStoreOptions {
  std::int64_t skewMarginMs = 3000;
  // CONFIG cannot be read on this Redis, and the operator has checked that its
  // maxmemory-policy is noeviction.
  bool evictionChecked = false;
};

class RedisReplayStore final : public ReplayStore {
 public:
  // Makes the epoch at once when it is missing (a new fleet's epoch is the moment it first
  // met Redis, before it issued anything) and checks the eviction policy. Throws
  // std::runtime_error when Redis answers that it may evict keys, or refuses CONFIG
  // without `evictionChecked`. A Redis that does not answer yet is checked when it does.
  explicit RedisReplayStore(std::shared_ptr<RedisClient> client, RedisStoreOptions options = {});

  Redemption Redeem(const TokenClaims& claims, std::int64_t nowMs) override;
  AudioFetch FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) override;
  // Every server of the fleet writes to the same Redis: a token from any of them will do.
  [[nodiscard]] std::uint64_t Issuer() const override { return 0; }
  // Redis answers, holds an epoch, and does not evict; checked anew on every call.
  [[nodiscard]] bool Ready() override;
  [[nodiscard]] std::string Describe() const override { return client_->Describe(); }

 private:
  enum class Eviction {
    Unknown,       // Redis has not answered yet
    Safe,          // noeviction, or vouched for by the operator
    Evicting,      // any other policy
    Unverifiable,  // CONFIG refused, and nobody vouched for the policy
  };

  // The script's integer answer, or nothing when Redis did not give one.
  std::optional<long long> Run(std::string_view script, const TokenClaims& claims, std::int64_t nowMs,
                               const std::string& extra);
  // Asks Redis for its eviction policy and remembers the answer; `detail` gets the policy's
  // name or Redis's refusal.
  Eviction CheckEviction(std::string* detail = nullptr);
  // False while the eviction policy is unknown or unsafe (checking it once more if unknown).
  bool MayWrite();
  bool MarkEpoch();

  const std::shared_ptr<RedisClient> client_;
  const RedisStoreOptions options_;
  std::atomic<Eviction> eviction_{Eviction::Unknown};
  std::atomic<bool> epochMarked_{false};
};

}  // namespace quillgate::service
