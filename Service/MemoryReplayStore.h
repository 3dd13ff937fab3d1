#pragma once
// The embedded replay store: used token ids in memory, bounded. Every live challenge holds
// a place from issue until it expires, so a used token is always remembered for as long as
// it could be replayed; when all places are taken, new challenges are refused instead.
// Known limit: a restarted server forgets; it refuses tokens issued before it started.

#include "Service/ReplayStore.h"

#include <map>
#include <mutex>
#include <set>

namespace quillgate::service {

class MemoryReplayStore final : public ReplayStore {
 public:
  explicit MemoryReplayStore(std::size_t capacity);

  bool Admit(std::int64_t expires, std::int64_t now) override;
  Redemption Redeem(const TokenId& id, std::int64_t expires, std::int64_t now) override;
  [[nodiscard]] std::string Describe() const override;

  // Places taken: live issued challenges plus used tokens that still hold one.
  [[nodiscard]] std::size_t Size() const;

 private:
  void DropExpired(std::int64_t now);

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  // Places of issued, not yet used challenges, by expiry (equal expiries are interchangeable).
  std::multiset<std::int64_t> reserved_;
  // Used tokens by expiry, and the same ids for lookup.
  std::multimap<std::int64_t, TokenId> usedByExpiry_;
  std::set<TokenId> used_;
};

}  // namespace quillgate::service
