// The drawing threads: a bounded queue, a few places per client, and clients served in turn
// so that one client's flood does not delay everyone else.
#include "Service/RenderPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <mutex>
#include <string>
#include <vector>

namespace quillgate::service {
namespace {

using Admission = RenderPool::Admission;

// A job that holds its thread until released, so that what queues behind it stays queued.
struct Held {
  std::latch started{1};
  std::promise<void> release;
  std::function<void()> Job() {
    return [this, go = release.get_future().share()] {
      started.count_down();
      // A hang guard only: a broken pool fails the test instead of stalling it.
      EXPECT_EQ(go.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    };
  }
};

TEST(RenderPool, AFloodingClientIsCappedAndOthersGoFirst) {
  std::mutex mutex;
  std::vector<std::string> ran;
  const auto record = [&](std::string name) {
    return [&, name] { const std::scoped_lock lock(mutex); ran.push_back(name); };
  };
  Held held;
  {
    RenderPool pool(1, 100, 3, 100);
    ASSERT_EQ(pool.Submit("flooder", "net1", held.Job()), Admission::Queued);
    held.started.wait();
    std::vector<Admission> flood;
    for (int i = 2; i <= 20; ++i) flood.push_back(pool.Submit("flooder", "net1", record("f" + std::to_string(i))));
    // The first two are queued (they run, below); the rest are refused.
    for (std::size_t i = 2; i < flood.size(); ++i) EXPECT_EQ(flood[i], Admission::ClientFull) << i;
    EXPECT_EQ(pool.Waiting(), 2u) << "refused jobs take no place";
    EXPECT_EQ(pool.Submit("visitor", "net2", record("visitor")), Admission::Queued);
    held.release.set_value();
  }
  // Checked once the pool is gone: its destructor ran every job still queued.
  EXPECT_EQ(ran, (std::vector<std::string>{"visitor", "f2", "f3"}));
}

// The queue's bound is exact, and /readyz reports the pool saturated from the moment it is.
TEST(RenderPool, AFullQueueRefusesAtOnceAndSaysSo) {
  Held held;
  std::atomic<int> done{0};
  {
    RenderPool pool(1, 2, 10, 10);
    ASSERT_EQ(pool.Submit("a", "n", held.Job()), Admission::Queued);
    held.started.wait();  // running, so no longer waiting
    EXPECT_EQ(pool.Submit("a", "n", [&] { ++done; }), Admission::Queued);
    EXPECT_FALSE(pool.Saturated());
    EXPECT_EQ(pool.Submit("b", "n", [&] { ++done; }), Admission::Queued);
    EXPECT_TRUE(pool.Saturated());
    EXPECT_EQ(pool.Submit("c", "m", [&] { ++done; }), Admission::Full);
    held.release.set_value();
  }
  EXPECT_EQ(done.load(), 2) << "the refused job never ran";
}

// The attack: many addresses of one network, each within its own share, together holding
// the whole queue. The network's share stops them; another network's visitor still gets
// in, and the network has room again as its jobs finish.
TEST(RenderPool, ManyAddressesOfOneNetworkShareOneNetworksPlaces) {
  Held held;
  std::atomic<int> done{0};
  {
    RenderPool pool(1, 100, 2, 5);
    ASSERT_EQ(pool.Submit("10.0.0.1", "10.0.0.0/24", held.Job()), Admission::Queued);
    held.started.wait();
    int queued = 1;
    for (int address = 2; address <= 40; ++address) {
      const std::string client = "10.0.0." + std::to_string(address);
      for (int i = 0; i < 2; ++i) queued += pool.Submit(client, "10.0.0.0/24", [&] { ++done; }) == Admission::Queued;
    }
    EXPECT_EQ(queued, 5) << "one network's share, whatever its number of addresses";
    EXPECT_EQ(pool.Submit("10.0.0.99", "10.0.0.0/24", [&] { ++done; }), Admission::NetworkFull);
    EXPECT_EQ(pool.Submit("10.0.1.7", "10.0.1.0/24", [&] { ++done; }), Admission::Queued);
    held.release.set_value();
  }
  EXPECT_EQ(done.load(), 5);
  RenderPool again(1, 100, 2, 1);
  std::promise<void> finished;
  ASSERT_EQ(again.Submit("a", "n", [] {}, [&] { finished.set_value(); }), Admission::Queued);
  finished.get_future().wait();
  EXPECT_EQ(again.Submit("b", "n", [] {}), Admission::Queued) << "the network's place came back";
}

}  // namespace
}  // namespace quillgate::service
