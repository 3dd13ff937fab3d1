#include "CommonUtilities/RandomSource.h"
#include "CommonUtilities/RandomSourceTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

namespace quillgate {
namespace {

// The shared state `steps` draws after `state`.
std::int64_t Stepped(std::int64_t state, int steps) {
  for (int i = 0; i < steps; ++i) state = state * 48271 % 2147483647;
  return state;
}

TEST(RandomSource, MatchesTheExactArithmeticOverManyStepsAndCountsEveryDraw) {
  // x <- 48271 x mod (2^31 - 1); u = (x - 1) * (1 / 2147483646); result = trunc(u * n): for
  // n of 0 and 1 that is 0 (the state still advances), for a negative n from n + 1 to 0.
  std::int64_t x = 123456789;
  testing::SetRandomState(static_cast<std::int32_t>(x));
  const auto countBefore = testing::RandomDrawCount();
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t n = (i % 7 == 0) ? 2147483647 : i % 1000 - 10;
    x = Stepped(x, 1);
    const double u = static_cast<double>(x - 1) * (1.0 / 2147483646.0);
    ASSERT_EQ(RandomInt(n), static_cast<std::int32_t>(u * n)) << "draw " << i;
  }
  EXPECT_EQ(testing::RandomState(), x);
  EXPECT_EQ(testing::RandomDrawCount() - countBefore, 20000u);
}

TEST(RandomSource, ConcurrentDrawsLoseNoStepAndNeverTouchAnotherThreadsScope) {
  // Every draw advances the shared state exactly once, whatever the threads do, and a
  // source bound on this thread is not theirs.
  testing::SetRandomState(42);
  const ThreadRandomScope scope(7);
  constexpr int kThreads = 4;
  constexpr int kDraws = 5000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < kDraws; ++i) (void)RandomInt(100);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(testing::RandomState(), Stepped(42, kThreads * kDraws));
  EXPECT_EQ(scope.State(), 7);
}

TEST(RandomSource, StatesOutsideTheRangeAreReduced) {
  testing::SetRandomState(0);  // an all-zero state would stick at zero forever
  (void)RandomInt(1000);
  EXPECT_NE(testing::RandomState(), 0);
  // So is the state of a thread's own source, from 0 or the modulus itself.
  for (const std::int32_t state : {0, 2147483647}) {
    ThreadRandomScope scope(state);
    for (int i = 0; i < 10; ++i) {
      const std::int32_t drawn = RandomInt(1000);
      ASSERT_TRUE(drawn >= 0 && drawn < 1000) << state << ": " << drawn;
      ASSERT_NE(scope.State(), 0) << state;
    }
  }
}

// The shared source's values, draw by draw, from `state`, and the state they leave.
struct SharedDraws {
  std::vector<std::int32_t> values;
  std::int32_t after;
};
std::int32_t Bound(int i) { return 1 + i % 977; }
SharedDraws DrawShared(std::int32_t state, int count, std::int32_t (*bound)(int) = Bound) {
  testing::SetRandomState(state);
  SharedDraws draws;
  for (int i = 0; i < count; ++i) draws.values.push_back(RandomInt(bound(i)));
  draws.after = testing::RandomState();
  return draws;
}

TEST(ThreadRandomScope, NestsAndUnbindsInOrderAndAProcessRunLeavesItBound) {
  testing::SetRandomState(1);
  const auto countBefore = testing::RandomDrawCount();
  {
    const ThreadRandomScope outer(1);
    {
      const ThreadRandomScope inner(1);
      {
        const ProcessRandomRun run;  // the thread's own source is still the one drawn from
        (void)RandomInt(30);
      }
      EXPECT_EQ(inner.State(), 48271);
      EXPECT_EQ(outer.State(), 1);
    }
    (void)RandomInt(30);
    EXPECT_EQ(outer.State(), 48271);
  }
  EXPECT_EQ(testing::RandomState(), 1) << "the shared source must not move";
  EXPECT_EQ(testing::RandomDrawCount() - countBefore, 2u) << "bound draws are counted too";
  (void)RandomInt(30);  // the shared source again, from state 1
  EXPECT_EQ(testing::RandomState(), 48271);
}

TEST(ProcessRandomRun, GivesTheSharedSourcesValuesAndLeavesItWhereTheyEnd) {
  // Short of one reserved run, exactly one, and across several: the values and the state
  // left behind must be those of drawing one by one.
  for (const int count : {0, 1, 5000, 65536, 65537, 200000}) {
    const SharedDraws expected = DrawShared(2024, count);
    testing::SetRandomState(2024);
    {
      const ProcessRandomRun run;
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(RandomInt(Bound(i)), expected.values[static_cast<std::size_t>(i)]) << count << " draw " << i;
      }
    }
    EXPECT_EQ(testing::RandomState(), expected.after) << count << " draws";
  }
}

TEST(ProcessRandomRun, NeverSharesValuesWithAThreadThatDrawsMeanwhile) {
  testing::SetRandomState(77);
  std::vector<std::int32_t> runValues, otherValues;
  std::int32_t stateAfterOther = 0;
  {
    const ProcessRandomRun run;
    for (int i = 0; i < 100; ++i) runValues.push_back(RandomInt(2147483647));
    std::thread other([&] {
      for (int i = 0; i < 100; ++i) otherValues.push_back(RandomInt(2147483647));
      stateAfterOther = testing::RandomState();
    });
    other.join();
    for (int i = 0; i < 100; ++i) runValues.push_back(RandomInt(2147483647));
  }
  EXPECT_EQ(testing::RandomState(), stateAfterOther) << "the rest of the run must not overwrite the other's draws";
  EXPECT_EQ(runValues, DrawShared(77, 200, [](int) { return 2147483647; }).values) << "the run is the shared sequence";
  for (const std::int32_t v : otherValues) {
    EXPECT_EQ(std::count(runValues.begin(), runValues.end(), v), 0) << v << " drawn by both threads";
  }
}

}  // namespace
}  // namespace quillgate
