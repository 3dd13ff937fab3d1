// Token buckets in memory: a burst, then refusals that say when to come back; bounded
// memory whatever the number of clients.
#include "Service/RateLimiter.h"

#include <gtest/gtest.h>

#include <string>

namespace quillgate::service {
namespace {

using Verdict = RateDecision::Verdict;
constexpr std::int64_t kNow = 1'800'000'000'000;  // Unix milliseconds
constexpr BucketRule kRule{.perMinute = 30, .burst = 3};  // one token every 2 s

// How many takes in a row succeed at `nowMs`, up to 100.
int Allowed(RateLimiter& limiter, const std::string& key, std::int64_t nowMs,
            const BucketRule& rule = kRule) {
  int allowed = 0;
  while (allowed < 100 && limiter.Take(key, rule, nowMs).verdict == Verdict::Allowed) ++allowed;
  return allowed;
}

TEST(MemoryRateLimiter, BurstThenLimitedUntilTheNextToken) {
  const auto limiter = MakeMemoryRateLimiter();
  EXPECT_EQ(Allowed(*limiter, "c|site|1.2.3.4", kNow), 3);
  RateDecision refused = limiter->Take("c|site|1.2.3.4", kRule, kNow);
  EXPECT_EQ(refused.verdict, Verdict::Limited);
  EXPECT_EQ(refused.retryAfterMs, 2'000);
  refused = limiter->Take("c|site|1.2.3.4", kRule, kNow + 1'500);
  EXPECT_EQ(refused.verdict, Verdict::Limited);
  EXPECT_EQ(refused.retryAfterMs, 500) << "counts from the refill, not from the refusal";
  // Exactly when it said: one token, and no more.
  EXPECT_EQ(Allowed(*limiter, "c|site|1.2.3.4", kNow + 2'000), 1);
  // A long rest refills to the burst, never beyond.
  EXPECT_EQ(Allowed(*limiter, "c|site|1.2.3.4", kNow + 3'600'000), 3);
  // An uneven rate still tells a wait after which the token is really there.
  const BucketRule odd{.perMinute = 7, .burst = 1};
  ASSERT_EQ(Allowed(*limiter, "odd", kNow, odd), 1);
  const std::int64_t wait = limiter->Take("odd", odd, kNow).retryAfterMs;
  EXPECT_EQ(wait, 8'572);
  EXPECT_EQ(Allowed(*limiter, "odd", kNow + wait - 1, odd), 0);
  EXPECT_EQ(Allowed(*limiter, "odd", kNow + wait, odd), 1);
}

TEST(MemoryRateLimiter, ClockGoingBackMintsNothing) {
  const auto limiter = MakeMemoryRateLimiter();
  ASSERT_EQ(Allowed(*limiter, "k", kNow), 3);
  EXPECT_EQ(Allowed(*limiter, "k", kNow - 60'000), 0);
  // Back at the present, the refill still counts from the latest time seen.
  EXPECT_EQ(Allowed(*limiter, "k", kNow + 1'999), 0);
  EXPECT_EQ(Allowed(*limiter, "k", kNow + 2'000), 1);
}

TEST(MemoryRateLimiter, BoundedBucketsForgetTheLeastRecentlyUsed) {
  // A flood of new clients: each still gets its burst, and a client that keeps coming
  // keeps its (empty) bucket whatever the flood.
  const auto bounded = MakeMemoryRateLimiter(4);
  ASSERT_EQ(Allowed(*bounded, "steady", kNow), 3);
  ASSERT_EQ(Allowed(*bounded, "idle", kNow), 3);
  for (int i = 0; i < 5'000; ++i) {
    ASSERT_EQ(Allowed(*bounded, "new " + std::to_string(i), kNow), 3) << i;
    ASSERT_EQ(Allowed(*bounded, "steady", kNow), 0) << i;
  }
  EXPECT_EQ(Allowed(*bounded, "idle", kNow), 3) << "forgotten by the flood";
}

}  // namespace
}  // namespace quillgate::service
