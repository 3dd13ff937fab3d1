#pragma once
// The embedded replay store: the ids of verified tokens, in this process's memory, each
// until its token expires. Only verifies write, so issuing challenges costs it nothing;
// at most `capacity` used tokens are remembered at once, and when that many live ones are
// held a further verify is refused (never accepted unremembered). From 90 % full it says it
// is not ready, so that a load balancer sends new visitors elsewhere before it refuses.
//
// An entry is forgotten only once both clocks agree its token has expired: the wall clock
// (the token's own expiry, which the service checks by it) and a monotonic clock (the
// token's remaining life measured when the entry was made). A wall clock stepped forward
// then back could otherwise drop a used token's entry while the token still looked alive.
//
// Its epoch is its creation: it cannot know which tokens an earlier run saw used, so it
// refuses tokens issued before then. It also refuses tokens that another server issued
// (tokens name their issuer): two servers with a memory store each and a shared key file
// would otherwise accept every token once each.

#include "Service/ReplayStore.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace quillgate::service {

class MemoryReplayStore final : public ReplayStore {
 public:
  // A monotonic clock in milliseconds.
  using SteadyClock = std::function<std::int64_t()>;

  // `epochMs` (Unix milliseconds, default now) is when this store's memory begins;
  // `steadyMs` replaces the monotonic clock (tests).
  explicit MemoryReplayStore(std::size_t capacity, std::int64_t epochMs = -1, SteadyClock steadyMs = {});

  Redemption Redeem(const TokenClaims& claims, std::int64_t nowMs) override;
  AudioFetch FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) override;
  [[nodiscard]] std::uint64_t Issuer() const override { return issuer_; }
  // Below 90 % of its capacity.
  [[nodiscard]] bool Ready() override;
  [[nodiscard]] std::optional<StoreUsage> Usage() override;
  [[nodiscard]] std::string Describe() const override;

  // Used tokens and audio counts remembered now (expired ones are dropped as time passes).
  [[nodiscard]] std::size_t Size() const;

 private:
  struct IdHash {
    std::size_t operator()(const TokenId& id) const noexcept;
  };
  struct Entry {
    TokenId id;
    std::int64_t expiresMs;  // wall clock
  };
  void DropExpired(std::int64_t nowMs);
  void Remember(const TokenId& id, std::int64_t expiresMs, std::int64_t nowMs);

  const std::size_t capacity_;
  const std::int64_t epochMs_;
  const std::uint64_t issuer_;  // random, never 0
  const SteadyClock steadyMs_;
  mutable std::mutex mutex_;
  std::int64_t lastNowMs_;  // the latest wall time a caller gave, for Ready()
  // Every entry of used_ and audioFetches_, by the monotonic time its token expires.
  std::multimap<std::int64_t, Entry> byDeadline_;
  std::unordered_set<TokenId, IdHash> used_;
  std::unordered_map<TokenId, int, IdHash> audioFetches_;
};

}  // namespace quillgate::service
