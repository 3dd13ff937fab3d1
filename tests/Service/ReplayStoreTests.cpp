// The replay stores: each token redeemed once; bounded memory; Redis shared and fail-closed.
#include "Service/MemoryReplayStore.h"
#include "Service/RedisReplayStore.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace quillgate::service {
namespace {

constexpr std::int64_t kNow = 1'800'000'000;

TEST(MemoryReplayStore, RedeemsOnceUntilExpiry) {
  MemoryReplayStore store(10);
  const TokenId id = NewTokenId();
  ASSERT_TRUE(store.Admit(kNow + 60, kNow));
  EXPECT_EQ(store.Redeem(id, kNow + 60, kNow), Redemption::First);
  EXPECT_EQ(store.Redeem(id, kNow + 60, kNow + 1), Redemption::Used);
  EXPECT_EQ(store.Redeem(id, kNow + 60, kNow + 59), Redemption::Used);
  EXPECT_EQ(store.Size(), 1u);
  // From its expiry second the token is refused as expired, so the entry may go.
  EXPECT_TRUE(store.Admit(kNow + 200, kNow + 60));
  EXPECT_EQ(store.Size(), 1u);
}

TEST(MemoryReplayStore, WhenFullRefusesChallengesNotMemory) {
  MemoryReplayStore store(3);
  const TokenId ids[] = {NewTokenId(), NewTokenId(), NewTokenId()};
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(store.Admit(kNow + 10 + i, kNow));
  EXPECT_FALSE(store.Admit(kNow + 20, kNow)) << "full: refuse the challenge";
  // The admitted ones can all be redeemed and are all remembered.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(store.Redeem(ids[i], kNow + 10 + i, kNow), Redemption::First);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(store.Redeem(ids[i], kNow + 10 + i, kNow), Redemption::Used);
  EXPECT_FALSE(store.Admit(kNow + 20, kNow));
  // A token it never admitted (another process's) cannot be recorded: not accepted.
  EXPECT_EQ(store.Redeem(NewTokenId(), kNow + 30, kNow), Redemption::Unavailable);
  // Places come back as tokens expire.
  EXPECT_TRUE(store.Admit(kNow + 40, kNow + 10));
  EXPECT_FALSE(store.Admit(kNow + 40, kNow + 10));
  EXPECT_TRUE(store.Admit(kNow + 40, kNow + 12));
}

TEST(ReplayStoreSpec, ParsesMemoryAndRedisAndRefusesTheRest) {
  EXPECT_EQ(MakeReplayStore("memory", 5)->Describe(), "memory (capacity 5)");
  EXPECT_EQ(MakeReplayStore("redis://127.0.0.1:6390", 5)->Describe(), "redis://127.0.0.1:6390");
  EXPECT_EQ(MakeReplayStore("redis://cache.local", 5)->Describe(), "redis://cache.local:6379");
  for (const char* bad : {"", "mem", "redis://", "redis://h:0", "redis://h:99999", "redis://h:12x",
                          "redis://u@h:1", "http://h:1"}) {
    EXPECT_THROW((void)MakeReplayStore(bad, 5), std::runtime_error) << bad;
  }
}

TEST(RedisReplayStore, TwoStoresOnOneRedisRedeemEachTokenOnce) {
  const test::RedisServer redis;
  RedisReplayStore a("127.0.0.1", redis.Port());
  RedisReplayStore b("127.0.0.1", redis.Port());
  const TokenId id = NewTokenId();
  EXPECT_TRUE(a.Admit(kNow + 60, kNow));
  EXPECT_EQ(a.Redeem(id, kNow + 60, kNow), Redemption::First);
  EXPECT_EQ(b.Redeem(id, kNow + 60, kNow), Redemption::Used);
  EXPECT_EQ(a.Redeem(id, kNow + 60, kNow), Redemption::Used);
  EXPECT_EQ(b.Redeem(NewTokenId(), kNow + 60, kNow), Redemption::First);
}

TEST(RedisReplayStore, EntriesExpireWithTheirToken) {
  const test::RedisServer redis;
  RedisReplayStore store("127.0.0.1", redis.Port());
  const TokenId id = NewTokenId();
  // Expiring now: kept one second (plus Redis's rounding), then gone.
  ASSERT_EQ(store.Redeem(id, kNow, kNow), Redemption::First);
  EXPECT_EQ(store.Redeem(id, kNow, kNow), Redemption::Used);
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  EXPECT_EQ(store.Redeem(id, kNow, kNow), Redemption::First);
}

TEST(RedisReplayStore, FailsClosedWhenRedisIsGone) {
  std::optional<test::RedisServer> redis(std::in_place);
  RedisReplayStore store("127.0.0.1", redis->Port(), std::chrono::milliseconds(300));
  const TokenId id = NewTokenId();
  ASSERT_EQ(store.Redeem(id, kNow + 60, kNow), Redemption::First);
  redis.reset();  // the pooled connection now points at nothing
  EXPECT_EQ(store.Redeem(NewTokenId(), kNow + 60, kNow), Redemption::Unavailable);
  EXPECT_EQ(store.Redeem(NewTokenId(), kNow + 60, kNow), Redemption::Unavailable) << "and reconnecting fails";
  RedisReplayStore never("127.0.0.1", test::FreeLoopbackPort(), std::chrono::milliseconds(300));
  EXPECT_EQ(never.Redeem(id, kNow + 60, kNow), Redemption::Unavailable);
}

}  // namespace
}  // namespace quillgate::service
