#include "Service/MemoryReplayStore.h"

#include "Service/KeyRing.h"

#include <sodium.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace quillgate::service {
namespace {

std::uint64_t NewIssuer() {
  InitializeSodium();
  std::uint64_t issuer = 0;
  while (issuer == 0) randombytes_buf(&issuer, sizeof issuer);
  return issuer;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::size_t MemoryReplayStore::IdHash::operator()(const TokenId& id) const noexcept {
  // The ids are random: any eight of their bytes are a good hash.
  std::size_t hash = 0;
  std::memcpy(&hash, id.data(), sizeof hash);
  return hash;
}

MemoryReplayStore::MemoryReplayStore(std::size_t capacity, std::int64_t epochMs)
    : capacity_(capacity), epochMs_(epochMs < 0 ? NowMs() : epochMs), issuer_(NewIssuer()) {
  if (capacity == 0) throw std::invalid_argument("a replay store needs room for one token");
}

void MemoryReplayStore::DropExpired(std::int64_t nowMs) {
  // A token is refused from its expiry on, so its entry can go then.
  const auto end = byExpiry_.upper_bound(nowMs);
  for (auto it = byExpiry_.begin(); it != end; ++it) {
    used_.erase(it->second);
    audioFetches_.erase(it->second);
  }
  byExpiry_.erase(byExpiry_.begin(), end);
}

Redemption MemoryReplayStore::Redeem(const TokenClaims& claims, std::int64_t nowMs) {
  if (claims.issuer != issuer_ || claims.issuedMs < epochMs_) return Redemption::Stale;
  const std::scoped_lock lock(mutex_);
  DropExpired(nowMs);
  if (used_.contains(claims.id)) return Redemption::Used;
  if (byExpiry_.size() >= capacity_) return Redemption::Unavailable;
  used_.insert(claims.id);
  byExpiry_.emplace(claims.expiresMs, claims.id);
  return Redemption::First;
}

AudioFetch MemoryReplayStore::FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) {
  if (claims.issuer != issuer_ || claims.issuedMs < epochMs_) return AudioFetch::Stale;
  const std::scoped_lock lock(mutex_);
  DropExpired(nowMs);
  if (used_.contains(claims.id)) return AudioFetch::Used;
  const auto counted = audioFetches_.find(claims.id);
  if (counted == audioFetches_.end()) {
    if (byExpiry_.size() >= capacity_) return AudioFetch::Unavailable;
    audioFetches_.emplace(claims.id, 1);
    byExpiry_.emplace(claims.expiresMs, claims.id);
    return limit >= 1 ? AudioFetch::Allowed : AudioFetch::Exhausted;
  }
  if (counted->second >= limit) return AudioFetch::Exhausted;
  ++counted->second;
  return AudioFetch::Allowed;
}

std::string MemoryReplayStore::Describe() const {
  return "memory (capacity " + std::to_string(capacity_) + ")";
}

std::size_t MemoryReplayStore::Size() const {
  const std::scoped_lock lock(mutex_);
  return byExpiry_.size();
}

}  // namespace quillgate::service
