#pragma once
// Token buckets per client: each kind of request (challenge, audio, verify) of each site has
// its own bucket per client, which holds at most `burst` tokens and refills at `perMinute`.
// A request takes one token; an empty bucket refuses it and says when the next token comes.
// The rules are set by a site's policy so that a person never meets them and a script does.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillgate::service {

struct BucketRule {
  double perMinute = 30;  // refill rate; 0 turns the bucket off (never refuses)
  double burst = 10;      // capacity, at least 1
};

struct RateDecision {
  enum class Verdict { Allowed, Limited, Unavailable } verdict = Verdict::Allowed;
  std::int64_t retryAfterMs = 0;  // with Limited: when one token is back
  // Whole tokens left in the bucket after this take: with a deep bucket, how far a client
  // is above the refill rate lately (the proof of work's difficulty rises with it).
  std::int64_t tokensLeft = 0;
};

class RateLimiter {
 public:
  virtual ~RateLimiter() = default;
  // Takes one token from the bucket named `key` (for example "c|SITEKEY|CLIENT") under
  // `rule` at `nowMs` (Unix milliseconds). A limiter that cannot tell (Redis down) answers
  // Unavailable, and the request is then refused.
  virtual RateDecision Take(std::string_view key, const BucketRule& rule, std::int64_t nowMs) = 0;
};

// Buckets in this process, at most `maxBuckets` of them (the least recently refilled go
// first when more clients come, which only ever gives a client a full bucket back).
[[nodiscard]] std::unique_ptr<RateLimiter> MakeMemoryRateLimiter(std::size_t maxBuckets = 1'000'000);

// The arithmetic shared by every limiter, so the memory and Redis buckets agree: the
// bucket's state after taking one token at `nowMs`, starting from `tokens` at `lastMs`.
struct BucketState {
  double tokens = 0;
  std::int64_t lastMs = 0;
};
[[nodiscard]] RateDecision TakeFromBucket(BucketState& state, const BucketRule& rule, std::int64_t nowMs);

}  // namespace quillgate::service
