#pragma once
// The embedded replay store: the ids of verified tokens, in this process's memory, each
// until its token expires. Only verifies write, so issuing challenges costs it nothing;
// at most `capacity` used tokens are remembered at once, and when that many live ones are
// held a further verify is refused (never accepted unremembered).
//
// Its epoch is its creation: it cannot know which tokens an earlier run saw used, so it
// refuses tokens issued before then. It also refuses tokens that another server issued
// (tokens name their issuer): two servers with a memory store each and a shared key file
// would otherwise accept every token once each.

#include "Service/ReplayStore.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace quillgate::service {

class MemoryReplayStore final : public ReplayStore {
 public:
  // `epochMs` (Unix milliseconds, default now) is when this store's memory begins.
  explicit MemoryReplayStore(std::size_t capacity, std::int64_t epochMs = -1);

  Redemption Redeem(const TokenClaims& claims, std::int64_t nowMs) override;
  AudioFetch FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) override;
  [[nodiscard]] std::uint64_t Issuer() const override { return issuer_; }
  [[nodiscard]] bool Ready() override { return true; }
  [[nodiscard]] std::string Describe() const override;

  // Used tokens and audio counts remembered now (expired ones are dropped as time passes).
  [[nodiscard]] std::size_t Size() const;

 private:
  struct IdHash {
    std::size_t operator()(const TokenId& id) const noexcept;
  };
  void DropExpired(std::int64_t nowMs);

  const std::size_t capacity_;
  const std::int64_t epochMs_;
  const std::uint64_t issuer_;  // random, never 0
  mutable std::mutex mutex_;
  std::multimap<std::int64_t, TokenId> byExpiry_;  // of both used_ and audioFetches_
  std::unordered_set<TokenId, IdHash> used_;
  std::unordered_map<TokenId, int, IdHash> audioFetches_;
};

}  // namespace quillgate::service
