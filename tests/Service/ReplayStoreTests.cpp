// The in-process replay store: each token verifies once, only while it lives, and only on
// the server (and run) that issued it.
#include "Service/MemoryReplayStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

namespace quillgate::service {
namespace {

constexpr std::int64_t kEpoch = 1'800'000'000'000;  // Unix milliseconds
constexpr std::int64_t kNow = kEpoch + 5'000;

// A monotonic clock the test moves, alongside the wall time it passes to each call.
struct SteadyClock {
  std::int64_t ms = 0;
  MemoryReplayStore::SteadyClock Reader() {
    return [this] { return ms; };
  }
};

TokenClaims IssuedBy(const ReplayStore& store, std::int64_t expiresMs = kNow + 60'000,
                     std::int64_t issuedMs = kNow) {
  return {.code = {}, .expiresMs = expiresMs, .issuedMs = issuedMs, .id = NewTokenId(),
          .issuer = store.Issuer(), .siteKey = {}, .hostname = {}};
}

TEST(MemoryReplayStore, RefusesTokensItCannotHaveSeenUsed) {
  MemoryReplayStore store(10, kEpoch);
  MemoryReplayStore otherServer(10, kEpoch);  // same key file, its own memory

  // A restart replay: a token issued (and perhaps used) before this store's memory began.
  EXPECT_EQ(store.Redeem(IssuedBy(store, kNow + 60'000, kEpoch - 1), kNow), Redemption::Stale);
  EXPECT_EQ(store.Redeem(IssuedBy(store, kNow + 60'000, kEpoch), kNow), Redemption::First);

  // A token the other server issued (and perhaps verified there), or a shared store issued:
  // here it would be accepted again.
  TokenClaims theirs = IssuedBy(otherServer);
  EXPECT_EQ(store.Redeem(theirs, kNow), Redemption::Stale);
  theirs.issuer = 0;  // as a shared store would issue it
  EXPECT_EQ(store.Redeem(theirs, kNow), Redemption::Stale);
  EXPECT_EQ(store.Size(), 1u) << "refused tokens take no room";
}

TEST(MemoryReplayStore, WhenFullRefusesVerifiesUntilRoomComesBack) {
  SteadyClock steady;
  MemoryReplayStore store(3, kEpoch, steady.Reader());
  std::vector<TokenClaims> held;
  for (int i = 0; i < 3; ++i) {
    held.push_back(IssuedBy(store, kNow + 10'000 * (i + 1)));
    ASSERT_EQ(store.Redeem(held.back(), kNow), Redemption::First);
  }
  // Full of live tokens: a further verify can be neither remembered nor accepted.
  const TokenClaims late = IssuedBy(store, kNow + 60'000);
  EXPECT_EQ(store.Redeem(late, kNow), Redemption::Unavailable);
  EXPECT_EQ(store.Redeem(late, kNow + 9'999), Redemption::Unavailable);
  for (const TokenClaims& token : held) EXPECT_EQ(store.Redeem(token, kNow), Redemption::Used);
  // The first held token expires: one place again, and only one.
  steady.ms += 10'000;
  EXPECT_EQ(store.Redeem(late, kNow + 10'000), Redemption::First);
  EXPECT_EQ(store.Redeem(late, kNow + 10'000), Redemption::Used);
  EXPECT_EQ(store.Redeem(IssuedBy(store), kNow + 10'000), Redemption::Unavailable);
  EXPECT_EQ(store.Size(), 3u);
}

// A script that fetches one challenge's audio again and again, or after answering it.
TEST(MemoryReplayStore, CountsAudioFetchesAndRefusesThemOnceUsedOrTooMany) {
  SteadyClock steady;
  MemoryReplayStore store(3, kEpoch, steady.Reader());
  const TokenClaims token = IssuedBy(store);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(store.FetchAudio(token, kNow, 3), AudioFetch::Allowed) << i;
  EXPECT_EQ(store.FetchAudio(token, kNow, 3), AudioFetch::Exhausted);
  EXPECT_EQ(store.Size(), 1u) << "one entry per fetched token, however often";
  const TokenClaims answered = IssuedBy(store);
  EXPECT_EQ(store.FetchAudio(answered, kNow, 3), AudioFetch::Allowed);
  ASSERT_EQ(store.Redeem(answered, kNow), Redemption::First);
  EXPECT_EQ(store.FetchAudio(answered, kNow, 3), AudioFetch::Used);
  EXPECT_EQ(store.FetchAudio(IssuedBy(store, kNow + 60'000, kEpoch - 1), kNow, 3), AudioFetch::Stale);
  EXPECT_EQ(store.Size(), 2u) << "a fetched token's entry also stands for its use";
  ASSERT_EQ(store.FetchAudio(IssuedBy(store), kNow, 3), AudioFetch::Allowed);
  // Full: neither a fetch nor a verify is taken on unremembered.
  EXPECT_EQ(store.FetchAudio(IssuedBy(store), kNow, 3), AudioFetch::Unavailable);
  EXPECT_EQ(store.Redeem(IssuedBy(store), kNow), Redemption::Unavailable);
  // At expiry the counts go with the token.
  steady.ms += token.expiresMs - kNow;
  EXPECT_EQ(store.FetchAudio(IssuedBy(store, kNow + 120'000), token.expiresMs, 3), AudioFetch::Allowed);
  EXPECT_EQ(store.Size(), 1u);
}

// The attack: a used token whose entry is forgotten early. The wall clock steps forward past
// the token's expiry (an NTP correction, an operator), an unrelated verify drops expired
// entries, the clock steps back, and the token, alive again by the wall clock, is offered
// again. Entries go only once the monotonic clock agrees; a wall clock set back keeps an
// entry as long as the token lives by it.
TEST(MemoryReplayStore, NoStepOfTheWallClockLetsATokenVerifyTwice) {
  SteadyClock steady;
  MemoryReplayStore store(10, kEpoch, steady.Reader());
  const TokenClaims used = IssuedBy(store, kNow + 60'000);
  ASSERT_EQ(store.Redeem(used, kNow), Redemption::First);
  steady.ms += 1'000;
  ASSERT_EQ(store.Redeem(IssuedBy(store, kNow + 3'600'000), kNow + 3'600'000 - 1), Redemption::First);
  EXPECT_EQ(store.Redeem(used, kNow + 1'000), Redemption::Used) << "the wall clock stepped forward, then back";

  // Set back by an hour after the token expired: it lives again by the wall clock, so its
  // entry stays until the hour has passed as well.
  steady.ms += 60'000;
  EXPECT_EQ(store.Redeem(used, kNow + 61'000 - 3'600'000), Redemption::Used);
  steady.ms += 3'540'000;
  EXPECT_EQ(store.Redeem(used, kNow + 61'000 - 60'000), Redemption::Used);
  EXPECT_EQ(store.Size(), 2u);
  steady.ms += 60'000;
  EXPECT_EQ(store.Redeem(IssuedBy(store, kNow + 7'200'000), kNow + 60'000), Redemption::First);
  EXPECT_EQ(store.Size(), 2u) << "the used token's entry went once both clocks agreed";
}

TEST(MemoryReplayStore, ConcurrentRedeemsOfOneTokenAcceptOnce) {
  for (int round = 0; round < 20; ++round) {
    MemoryReplayStore store(100, kEpoch);
    const TokenClaims token = IssuedBy(store);
    constexpr int kThreads = 8;
    std::barrier start(kThreads);
    std::atomic<int> first{0};
    std::atomic<int> used{0};
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        start.arrive_and_wait();  // all at once, to race for the one acceptance
        const Redemption result = store.Redeem(token, kNow);
        if (result == Redemption::First) ++first;
        if (result == Redemption::Used) ++used;
      });
    }
    threads.clear();
    EXPECT_EQ(first.load(), 1) << "round " << round;
    EXPECT_EQ(used.load(), kThreads - 1) << "round " << round;
  }
}

}  // namespace
}  // namespace quillgate::service
