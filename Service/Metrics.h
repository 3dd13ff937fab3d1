#pragma once
// The service's counters, written in the Prometheus text format for GET /metrics. Lock-free
// (relaxed atomics): requests on every worker update them without waiting for each other.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillgate::service {

enum class Endpoint { Challenge, Verify, SiteVerify, Audio, Puzzle, Page, Health, Ready, Metrics, Other, kCount };
enum class VerifyOutcome {
  Success, WrongAnswer, Used, Expired, Tampered, UnknownKey, Malformed, StoreUnavailable,
  BadSecret,   // /siteverify with a secret no site has
  OtherSite,   // a token of another site than the secret's
  NotAllowed,  // /api/verify for a site whose policy keeps it closed
  kCount
};
// Requests the service turned away before doing their work, and connections closed to make
// room (Evicted: waiting longest for a request head when a newcomer found the table full).
enum class RefusalReason {
  RateLimited, Policy, Origin, Work, PoolFull, ClientConnections, NetworkConnections, Connections, Evicted, kCount
};

// What /metrics reads at the moment it renders rather than counts as it happens.
struct MetricGauges {
  std::optional<std::size_t> storeEntries;  // a store that counts its own room
  std::optional<std::size_t> storeCapacity;
  std::size_t renderWaiting = 0;
};

class Metrics {
 public:
  static constexpr std::array<double, 12> kBuckets = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                                      0.05,   0.1,   0.25,   0.5,   1.0,  2.5};

  void CountChallenge() { challenges_.fetch_add(1, std::memory_order_relaxed); }
  void CountRefusal(RefusalReason reason) {
    refusals_[static_cast<std::size_t>(reason)].fetch_add(1, std::memory_order_relaxed);
  }
  void CountVerify(VerifyOutcome outcome);
  void CountStoreError() { storeErrors_.fetch_add(1, std::memory_order_relaxed); }
  void ObserveLatency(Endpoint endpoint, std::chrono::nanoseconds elapsed);

  [[nodiscard]] std::string Render(const MetricGauges& gauges = MetricGauges()) const;

  [[nodiscard]] static std::string_view Name(VerifyOutcome outcome);
  [[nodiscard]] static std::string_view Name(Endpoint endpoint);
  [[nodiscard]] static std::string_view Name(RefusalReason reason);

 private:
  using Counter = std::atomic<std::uint64_t>;
  struct Histogram {
    std::array<Counter, kBuckets.size()> buckets{};  // not cumulative; summed when rendered
    Counter count{0};
    Counter sumNanoseconds{0};
  };

  Counter challenges_{0};
  Counter storeErrors_{0};
  std::array<Counter, static_cast<std::size_t>(RefusalReason::kCount)> refusals_{};
  std::array<Counter, static_cast<std::size_t>(VerifyOutcome::kCount)> verifies_{};
  std::array<Histogram, static_cast<std::size_t>(Endpoint::kCount)> latency_{};
};

}  // namespace quillgate::service
