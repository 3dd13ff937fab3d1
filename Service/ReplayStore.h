#pragma once
// Remembers which tokens have been used, so that each token verifies once, right or wrong.
// Entries need to live only until their token expires: after that the token is refused as
// expired anyway.

#include "Service/Token.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillgate::service {

enum class Redemption {
  First,        // never used before: now marked used
  Used,         // seen before: refuse
  Unavailable,  // the store cannot tell (unreachable, full): refuse, never accept
};

class ReplayStore {
 public:
  virtual ~ReplayStore() = default;

  // Asked before a challenge is issued. False when the store could not promise to
  // remember the new token's use (a full bounded store): the challenge is then refused,
  // rather than a used token forgotten later.
  virtual bool Admit(std::int64_t expires, std::int64_t now) = 0;
  // Marks the token used; says whether it was the first time.
  virtual Redemption Redeem(const TokenId& id, std::int64_t expires, std::int64_t now) = 0;
  // For the start-up log line: "memory (capacity N)", "redis://host:port".
  [[nodiscard]] virtual std::string Describe() const = 0;
};

// "memory" or "redis://HOST:PORT". Throws std::runtime_error for anything else. A Redis
// store does not connect here: an unreachable Redis shows at the first verify.
[[nodiscard]] std::unique_ptr<ReplayStore> MakeReplayStore(std::string_view spec,
                                                           std::size_t memoryCapacity);

}  // namespace quillgate::service
