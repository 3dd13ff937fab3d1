#pragma once
// The service's counters, written in the Prometheus text format for GET /metrics. Lock-free
// (relaxed atomics): requests on every worker update them without waiting for each other.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillgate::service {

enum class Endpoint { Challenge, Verify, Audio, Page, Health, Metrics, Other, kCount };
enum class VerifyOutcome {
  Success, WrongAnswer, Used, Expired, Tampered, UnknownKey, Malformed, StoreUnavailable, kCount
};

class Metrics {
 public:
  static constexpr std::array<double, 12> kBuckets = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                                      0.05,   0.1,   0.25,   0.5,   1.0,  2.5};

  void CountChallenge() { challenges_.fetch_add(1, std::memory_order_relaxed); }
  void CountChallengeRefused() { challengesRefused_.fetch_add(1, std::memory_order_relaxed); }
  void CountVerify(VerifyOutcome outcome);
  void CountStoreError() { storeErrors_.fetch_add(1, std::memory_order_relaxed); }
  void CountConnectionRefused() { connectionsRefused_.fetch_add(1, std::memory_order_relaxed); }
  void ObserveLatency(Endpoint endpoint, std::chrono::nanoseconds elapsed);

  [[nodiscard]] std::string Render() const;

  [[nodiscard]] static std::string_view Name(VerifyOutcome outcome);
  [[nodiscard]] static std::string_view Name(Endpoint endpoint);

 private:
  using Counter = std::atomic<std::uint64_t>;
  struct Histogram {
    std::array<Counter, kBuckets.size()> buckets{};  // not cumulative; summed when rendered
    Counter count{0};
    Counter sumNanoseconds{0};
  };

  Counter challenges_{0};
  Counter challengesRefused_{0};
  Counter storeErrors_{0};
  Counter connectionsRefused_{0};
  std::array<Counter, static_cast<std::size_t>(VerifyOutcome::kCount)> verifies_{};
  std::array<Histogram, static_cast<std::size_t>(Endpoint::kCount)> latency_{};
};

}  // namespace quillgate::service
