#include "Service/MemoryReplayStore.h"

#include <stdexcept>

namespace quillgate::service {

MemoryReplayStore::MemoryReplayStore(std::size_t capacity) : capacity_(capacity) {
  if (capacity == 0) throw std::invalid_argument("a replay store needs room for one token");
}

void MemoryReplayStore::DropExpired(std::int64_t now) {
  // A token is refused from its expiry second on, so its entry can go then.
  reserved_.erase(reserved_.begin(), reserved_.upper_bound(now));
  const auto end = usedByExpiry_.upper_bound(now);
  for (auto it = usedByExpiry_.begin(); it != end; ++it) used_.erase(it->second);
  usedByExpiry_.erase(usedByExpiry_.begin(), end);
}

bool MemoryReplayStore::Admit(std::int64_t expires, std::int64_t now) {
  const std::scoped_lock lock(mutex_);
  DropExpired(now);
  if (reserved_.size() + used_.size() >= capacity_) return false;
  reserved_.insert(expires);
  return true;
}

Redemption MemoryReplayStore::Redeem(const TokenId& id, std::int64_t expires, std::int64_t now) {
  const std::scoped_lock lock(mutex_);
  DropExpired(now);
  if (used_.contains(id)) return Redemption::Used;
  // The token's own place moves from "issued" to "used". A token without a place (issued
  // by another process sharing the key) needs a free one, or the answer cannot be trusted.
  if (const auto place = reserved_.find(expires); place != reserved_.end()) {
    reserved_.erase(place);
  } else if (reserved_.size() + used_.size() >= capacity_) {
    return Redemption::Unavailable;
  }
  used_.insert(id);
  usedByExpiry_.emplace(expires, id);
  return Redemption::First;
}

std::string MemoryReplayStore::Describe() const {
  return "memory (capacity " + std::to_string(capacity_) + ")";
}

std::size_t MemoryReplayStore::Size() const {
  const std::scoped_lock lock(mutex_);
  return reserved_.size() + used_.size();
}

}  // namespace quillgate::service
