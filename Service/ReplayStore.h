#pragma once
// Remembers which tokens have been verified, so that each token verifies once, right or
// wrong. A challenge takes no room here: only a verify writes, and its entry needs to live
// only until the token expires (after that the token is refused as expired anyway). So a
// client that asks for challenges and never answers them costs the store nothing.
//
// Each store also has an epoch: tokens issued before it are refused, because the store
// cannot know whether they were used before it (re)started with no memory of them.

#include "Service/Token.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::service {

enum class Redemption {
  First,        // never verified before: now marked used
  Used,         // verified before: refuse
  Stale,        // issued before the store's epoch, or by a server whose uses this store
                // does not see: refuse as expired
  Unavailable,  // the store cannot tell (unreachable, slow, full): refuse, never accept
};

// A fetch of a challenge's audio, counted per token so that a recording cannot be fetched
// over and over (nor once the token is spent).
enum class AudioFetch {
  Allowed,      // counted
  Exhausted,    // fetched the most times allowed already
  Used,         // the token was verified: its audio is of no more use to anyone
  Stale,        // as for Redemption
  Unavailable,  // the store cannot tell: refuse
};

// How full a store of bounded size is, for /metrics and /readyz.
struct StoreUsage {
  std::size_t entries = 0;
  std::size_t capacity = 0;
};

class ReplayStore {
 public:
  virtual ~ReplayStore() = default;

  // Marks the token used unless it was already; `nowMs` is Unix time in milliseconds.
  virtual Redemption Redeem(const TokenClaims& claims, std::int64_t nowMs) = 0;
  // Counts one fetch of the token's audio; at most `limit` are allowed. Like a verify, the
  // count lives only until the token expires, and only fetched tokens take room.
  virtual AudioFetch FetchAudio(const TokenClaims& claims, std::int64_t nowMs, int limit) = 0;
  // The issuer id that new tokens carry (TokenClaims::issuer). A store shared by several
  // servers answers 0: any of them may have issued a token.
  [[nodiscard]] virtual std::uint64_t Issuer() const = 0;
  // For /readyz: the store answers now and has room to go on answering. Never blocks beyond
  // the store's own timeout.
  [[nodiscard]] virtual bool Ready() = 0;
  // A store whose room is its own to count says how full it is; a shared one does not.
  [[nodiscard]] virtual std::optional<StoreUsage> Usage() { return std::nullopt; }
  // For the start-up log line: "memory (capacity N)", "redis://host:port/db".
  [[nodiscard]] virtual std::string Describe() const = 0;
};

}  // namespace quillgate::service
