#include "Service/MemoryReplayStore.h"

#include "Service/KeyRing.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace quillgate::service {
namespace {

std::uint64_t NewIssuer() {
  InitializeSodium();
  std::uint64_t issuer = 0;
  while (issuer == 0) randombytes_buf(&issuer, sizeof issuer);
  return issuer;
}

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch()).count();
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

MemoryReplayStore::MemoryReplayStore(std::size_t capacity, std::int64_t epochMs, SteadyClock steadyMs)
    : capacity_(capacity),
      epochMs_(epochMs < 0 ? NowMs() : epochMs),
      issuer_(NewIssuer()),
      steadyMs_(steadyMs ? std::move(steadyMs) : SteadyClock(&SteadyMs)),
      lastNowMs_(epochMs_) {
  if (capacity == 0) throw std::invalid_argument("a replay store needs room for one token");
}

void MemoryReplayStore::Remember(const TokenId& id, std::int64_t expiresMs, std::int64_t nowMs) {
  byDeadline_.emplace(steadyMs_() + std::max<std::int64_t>(0, expiresMs - nowMs), Entry{id, expiresMs});
}

void MemoryReplayStore::DropExpired(std::int64_t nowMs) {
  lastNowMs_ = std::max(lastNowMs_, nowMs);
  const std::int64_t steadyNow = steadyMs_();
  while (!byDeadline_.empty() && byDeadline_.begin()->first <= steadyNow) {
    auto node = byDeadline_.extract(byDeadline_.begin());
    const Entry& entry = node.mapped();
    if (entry.expiresMs <= nowMs) {
      // A token is refused from its expiry on, so its entry can go then.
      used_.erase(entry.id);
      audioFetches_.erase(entry.id);
      continue;
    }
    // The wall clock was set back: by it the token lives on, so its entry does too, until
    // the time the wall clock now gives it has passed as well.
    node.key() = steadyNow + (entry.expiresMs - nowMs);
    byDeadline_.insert(std::move(node));
  }
}

Redemption MemoryReplayStore::Redeem(const TokenClaims& claims, std::int64_t nowMs) {
  if (claims.issuer != issuer_ || claims.issuedMs < epochMs_) return Redemption::Stale;
  const std::scoped_lock lock(mutex_);
  DropExpired(nowMs);
  if (used_.contains(claims.id)) return Redemption::Used;
  if (audioFetches_.contains(claims.id)) {
    // Its entry is there already (for the audio count): it now stands for the use as well.
    used_.insert(claims.id);
    return Redemption::First;
  }
  if (byDeadline_.size() >= capacity_) return Redemption::Unavailable;
  used_.insert(claims.id);
  Remember(claims.id, claims.expiresMs, nowMs);
  return Redemption::First;
}

AudioFetch MemoryReplayStore::FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) {
  if (claims.issuer != issuer_ || claims.issuedMs < epochMs_) return AudioFetch::Stale;
  const std::scoped_lock lock(mutex_);
  DropExpired(nowMs);
  if (used_.contains(claims.id)) return AudioFetch::Used;
  const auto counted = audioFetches_.find(claims.id);
  if (counted == audioFetches_.end()) {
    if (byDeadline_.size() >= capacity_) return AudioFetch::Unavailable;
    audioFetches_.emplace(claims.id, 1);
    Remember(claims.id, claims.expiresMs, nowMs);
    return limit >= 1 ? AudioFetch::Allowed : AudioFetch::Exhausted;
  }
  if (counted->second >= limit) return AudioFetch::Exhausted;
  ++counted->second;
  return AudioFetch::Allowed;
}

bool MemoryReplayStore::Ready() {
  const std::scoped_lock lock(mutex_);
  DropExpired(lastNowMs_);
  return byDeadline_.size() * 10 < capacity_ * 9;
}

std::optional<StoreUsage> MemoryReplayStore::Usage() {
  const std::scoped_lock lock(mutex_);
  DropExpired(lastNowMs_);
  return StoreUsage{byDeadline_.size(), capacity_};
}

std::string MemoryReplayStore::Describe() const {
  return "memory (capacity " + std::to_string(capacity_) + ")";
}

std::size_t MemoryReplayStore::Size() const {
  const std::scoped_lock lock(mutex_);
  return byDeadline_.size();
}

}  // namespace quillgate::service
