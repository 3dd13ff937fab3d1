// The /siteverify form body, and the log's time stamps and throttle.
#include "Service/FormBody.h"
#include "Service/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace quillgate::service {
namespace {

using Fields = std::map<std::string, std::string>;

TEST(FormBody, DecodesPairs) {
  const struct { std::string body; Fields fields; } cases[] = {
      {"", {}},
      {"a=one+two&b=%41%2b%2B%00%ff%25", {{"a", "one two"}, {"b", std::string("A++\0\xff%", 6)}}},
      {"&&a=1&&", {{"a", "1"}}},
      {"a=first&a=second", {{"a", "first"}}},
      {"token=x==y=&flag", {{"token", "x==y="}, {"flag", ""}}},
      {"%73ecret=1", {{"secret", "1"}}},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseForm(c.body);
    ASSERT_TRUE(parsed.has_value()) << c.body;
    EXPECT_EQ(*parsed, c.fields) << c.body;
  }
}

TEST(FormBody, RefusesBadEscapes) {
  for (const char* body : {"a=%", "a=%4", "a=%zz", "a=%4g", "a=1&b=x%", "%=1", "a=%%41", "a=%-1"}) {
    EXPECT_FALSE(ParseForm(body).has_value()) << body;
  }
}

TEST(IsoTime, FormatsUtcWithMilliseconds) {
  EXPECT_EQ(IsoTime(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoTime(1'796'625'000'123), "2026-12-07T06:30:00.123Z");
  EXPECT_EQ(IsoTime(951'782'400'007), "2000-02-29T00:00:00.007Z");
}

TEST(LogThrottle, LetsOneThroughPerIntervalAndCountsTheRest) {
  // From many threads at once, one event passes within an interval.
  LogThrottle hourly(std::chrono::hours(1));
  std::atomic<int> passed{0};
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < 500; ++i) {
          std::uint64_t suppressed = 99;
          if (hourly.Allow(suppressed)) {
            ++passed;
            EXPECT_EQ(suppressed, 0u) << "nothing was held back before the first";
          }
        }
      });
    }
  }
  EXPECT_EQ(passed.load(), 1);

  // The next event to pass tells how many were held back since the last one passed.
  LogThrottle brief(std::chrono::milliseconds(20));
  std::uint64_t suppressed = 99;
  std::uint64_t held = 0;
  ASSERT_TRUE(brief.Allow(suppressed));
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 5; ++i) {
      if (brief.Allow(suppressed)) held = 0;  // a slow machine may cross an interval
      else ++held;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(brief.Allow(suppressed)) << "an interval has passed";
    EXPECT_EQ(suppressed, held) << "round " << round;
    held = 0;
  }
}

}  // namespace
}  // namespace quillgate::service
