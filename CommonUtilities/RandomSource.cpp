#include "CommonUtilities/RandomSource.h"

#include "CommonUtilities/RandomSourceTesting.h"

#include <boost/random/linear_congruential.hpp>
#include <boost/random/uniform_01.hpp>
#include <boost/random/uniform_real.hpp>
#include <boost/random/variate_generator.hpp>

#include <sys/random.h>

#include <chrono>
#include <limits>
#include <mutex>

namespace quillgate {
namespace {

constexpr std::uint32_t kModulus = detail::kRandomModulus;
constexpr std::uint32_t kMultiplier = detail::kRandomMultiplier;

constexpr std::uint32_t PowMod(std::uint32_t base, std::uint32_t exponent) noexcept {
  std::uint32_t result = 1;
  for (; exponent != 0; exponent >>= 1, base = detail::MulModMersenne31(base, base)) {
    if ((exponent & 1) != 0) result = detail::MulModMersenne31(result, base);
  }
  return result;
}

// Steps the generator back: the modulus is prime, so the multiplier has an inverse
// (Fermat). The Boost engine shows its state only through its next output; this turns an
// output back into the state that gave it.
constexpr std::uint32_t kInverseMultiplier = PowMod(kMultiplier, kModulus - 2);
static_assert(detail::MulModMersenne31(kMultiplier, kInverseMultiplier) == 1);

// Draws per reserved run: one lock for about a third of the heaviest image's draws.
constexpr std::uint64_t kRunLength = 1u << 16;

// The minimal-standard generator (multiplier 48271), its outputs turned into reals in
// [0, 1) by (x - 1) / 2147483646, then passed through a uniform distribution over 0..1.
using Engine = boost::minstd_rand;
using UnitInterval = boost::uniform_01<Engine, double>;
using Generator = boost::variate_generator<UnitInterval, boost::uniform_real<double>>;

// Seeds from the operating system's entropy. A clock seed in whole seconds would give
// every worker process started in the same second the same codes, and would let anyone
// who knows the start time predict them.
std::uint32_t EntropySeed() {
  std::uint64_t raw = 0;
  if (getrandom(&raw, sizeof raw, 0) != static_cast<ssize_t>(sizeof raw)) {
    // No entropy source at all (very early boot, seccomp): mix the fine clock and the
    // address of a stack object rather than fail to load.
    raw = static_cast<std::uint64_t>(
              std::chrono::steady_clock::now().time_since_epoch().count()) ^
          reinterpret_cast<std::uintptr_t>(&raw);
  }
  return static_cast<std::uint32_t>(1 + raw % (kModulus - 1));  // 1..2147483646
}

class RandomSource {
 public:
  static RandomSource& Instance() {
    static RandomSource source;
    return source;
  }

  std::int32_t Draw(std::int32_t n) {
    const double m = n == 0 ? 1.0 : static_cast<double>(n);
    const std::scoped_lock lock(mutex_);
    return static_cast<std::int32_t>(generator_() * m);
  }

  void SetState(std::int32_t state) {
    const std::scoped_lock lock(mutex_);
    generator_.engine().base().seed(static_cast<std::uint32_t>(state));
  }

  std::int32_t State() {
    const std::scoped_lock lock(mutex_);
    return static_cast<std::int32_t>(StateOf(generator_.engine().base()));
  }

  struct Run {
    std::uint32_t start;  // the state before the run's first draw
    std::uint32_t end;    // the state after its last
  };

  // Takes the next `length` steps of the generator for one thread to draw on its own.
  Run Reserve(std::uint64_t length) {
    const std::scoped_lock lock(mutex_);
    Engine& engine = generator_.engine().base();
    const std::uint32_t start = StateOf(engine);
    engine.discard(length);
    return {start, StateOf(engine)};
  }

  // Makes `state` current again when the generator still stands where the run `runEnd`
  // left it, that is when nobody drew since: the unused rest of the run is then drawn
  // next, as if the run had never been reserved.
  void GiveBack(std::uint32_t runEnd, std::uint32_t state) {
    const std::scoped_lock lock(mutex_);
    Engine& engine = generator_.engine().base();
    if (StateOf(engine) == runEnd) engine.seed(state);
  }

 private:
  static std::uint32_t StateOf(Engine engine) {  // a copy: reading it takes a step
    return detail::MulModMersenne31(static_cast<std::uint32_t>(engine()), kInverseMultiplier);
  }

  RandomSource()
      : generator_(UnitInterval(Engine(EntropySeed())), boost::uniform_real<double>(0.0, 1.0)) {}

  std::mutex mutex_;
  Generator generator_;
};

std::uint32_t ReducedState(std::int32_t state) {
  const std::uint32_t reduced = static_cast<std::uint32_t>(state) % kModulus;
  return reduced == 0 ? 1 : reduced;  // an all-zero state would stay zero forever
}

}  // namespace

namespace detail {

constinit thread_local ThreadDraws tThreadDraws{nullptr, 0};

std::int32_t SharedRandomInt(std::int32_t n) { return RandomSource::Instance().Draw(n); }

}  // namespace detail

ThreadRandomScope::ThreadRandomScope() : ThreadRandomScope(static_cast<std::int32_t>(EntropySeed())) {}

ThreadRandomScope::ThreadRandomScope(std::int32_t state)
    : state_(ReducedState(state)),
      remaining_(std::numeric_limits<std::uint64_t>::max()),
      previous_(detail::tThreadDraws.bound) {
  detail::tThreadDraws.bound = this;
}

ThreadRandomScope::ThreadRandomScope(ProcessRunTag)
    : state_(1), remaining_(0), fromProcess_(true), previous_(detail::tThreadDraws.bound) {
  detail::tThreadDraws.bound = this;
}

ThreadRandomScope::~ThreadRandomScope() {
  detail::tThreadDraws.bound = previous_;
  if (fromProcess_ && remaining_ != 0) RandomSource::Instance().GiveBack(runEnd_, state_);
}

void ThreadRandomScope::ReserveNextRun() noexcept {
  if (!fromProcess_) {  // 2^64 draws: unreachable, but never wrap into a reservation
    remaining_ = std::numeric_limits<std::uint64_t>::max();
    return;
  }
  const RandomSource::Run run = RandomSource::Instance().Reserve(kRunLength);
  state_ = run.start;
  runEnd_ = run.end;
  remaining_ = kRunLength;
}

ProcessRandomRun::ProcessRandomRun() {
  if (detail::tThreadDraws.bound == nullptr) run_.emplace(ThreadRandomScope::ProcessRunTag{});
}

ProcessRandomRun::~ProcessRandomRun() = default;

namespace testing {

void SetRandomState(std::int32_t state) { RandomSource::Instance().SetState(state); }
std::int32_t RandomState() { return RandomSource::Instance().State(); }
std::uint64_t RandomDrawCount() { return detail::tThreadDraws.count; }

}  // namespace testing
}  // namespace quillgate
