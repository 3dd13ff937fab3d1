#pragma once
// The one process-wide pseudo-random source of the drawing. Every value a text style or the
// drawing randomizer draws goes through RandomInt, so a given state of the source yields one
// fixed picture of a given code. The code's characters do not come from here (they must be
// unpredictable; see SecureRandom.h).
//
// A thread that draws many images at once with other threads (the HTTP service) binds a
// source of its own for the length of one drawing with ThreadRandomScope: RandomInt on that
// thread then draws from it, without the process-wide lock, and the text styles and the
// drawing randomizer, which only ever call RandomInt, need not know.
//
// One image takes up to a few hundred thousand draws. ProcessRandomRun lets the thread
// drawing it take them from the process-wide source in long runs, one lock per run instead
// of one per draw, without changing which values it gets.

#include <cstdint>
#include <optional>

namespace quillgate {

// An integer in 0..n-1 (0 for n == 0; for negative n a value in n+1..0). Each call
// advances the generator by exactly one step: the thread's bound source when a
// ThreadRandomScope is alive on this thread, the process-wide one otherwise. Safe to call
// from any thread.
inline std::int32_t RandomInt(std::int32_t n);

// Binds a minimal-standard generator of its own to the constructing thread until it is
// destroyed. Same generator and arithmetic as the process-wide source, so a given state
// yields the same draws. Scopes nest (the inner one wins until it ends). A scope must end on
// the thread that made it; it is neither copied nor moved.
class ThreadRandomScope {
 public:
  // Seeded from the operating system's entropy.
  ThreadRandomScope();
  // Seeded with `state`, reduced into 1..2147483646 (reproducible drawings, tests).
  explicit ThreadRandomScope(std::int32_t state);
  ~ThreadRandomScope();

  ThreadRandomScope(const ThreadRandomScope&) = delete;
  ThreadRandomScope& operator=(const ThreadRandomScope&) = delete;

 private:
  friend class ProcessRandomRun;
  struct ProcessRunTag {};

 public:
  // Draws a run reserved from the process-wide source, reserving the next one when it is
  // used up, and hands the unused rest back when it ends. Only ProcessRandomRun can name
  // the tag.
  explicit ThreadRandomScope(ProcessRunTag);

  // One draw from this scope's generator, as RandomInt does while the scope is bound.
  inline std::int32_t Draw(std::int32_t n) noexcept;
  // The generator's current state.
  [[nodiscard]] std::int32_t State() const noexcept { return static_cast<std::int32_t>(state_); }

 private:
  void ReserveNextRun() noexcept;

  std::uint32_t state_;
  // Draws left before the next reservation; own-seeded scopes never run out.
  std::uint64_t remaining_;
  // For a run of the process-wide source: the state it reaches when used up.
  std::uint32_t runEnd_ = 0;
  bool fromProcess_ = false;
  ThreadRandomScope* previous_;
};

// For its lifetime, RandomInt on the constructing thread draws from the process-wide source
// in reserved runs (tens of thousands of draws under one lock) instead of locking for each
// draw. The values are the ones the source would give draw by draw: a run is the source's
// own sequence, and when the run ends what is left of it goes back, so the next caller
// continues exactly where this thread stopped. Only when another thread drew meanwhile does
// the source skip the unused rest, and then no two threads ever share a value. A thread
// that already has a ThreadRandomScope bound keeps drawing from it. Ends on the thread that
// made it; neither copied nor moved.
class ProcessRandomRun {
 public:
  ProcessRandomRun();
  ~ProcessRandomRun();

  ProcessRandomRun(const ProcessRandomRun&) = delete;
  ProcessRandomRun& operator=(const ProcessRandomRun&) = delete;

 private:
  std::optional<ThreadRandomScope> run_;
};

// Inline below: an image takes up to a few hundred thousand draws, and a call per draw
// (two with a bound source) was a tenth of the heaviest styles' time.

namespace detail {

inline constexpr std::uint32_t kRandomModulus = 2147483647;  // 2^31 - 1
inline constexpr std::uint32_t kRandomMultiplier = 48271;

// x * y mod (2^31 - 1) for x, y below the modulus. The modulus is the Mersenne prime
// 2^31 - 1, so the remainder is a shift and an add instead of a division: 2^31 = 1.
constexpr std::uint32_t MulModMersenne31(std::uint32_t x, std::uint32_t y) noexcept {
  const std::uint64_t product = std::uint64_t{x} * y;
  std::uint64_t reduced = (product & kRandomModulus) + (product >> 31);
  if (reduced >= kRandomModulus) reduced -= kRandomModulus;
  return static_cast<std::uint32_t>(reduced);
}

// What RandomInt needs to know about the calling thread: the source bound to it, if any,
// and its draw count. Plain thread-local data: counting is one unshared increment, and a
// thread with a bound source never touches the process-wide lock.
struct ThreadDraws {
  ThreadRandomScope* bound;
  std::uint64_t count;
};
extern constinit thread_local ThreadDraws tThreadDraws;

// One draw from the process-wide source, under its lock.
std::int32_t SharedRandomInt(std::int32_t n);

}  // namespace detail

std::int32_t ThreadRandomScope::Draw(std::int32_t n) noexcept {
  if (remaining_ == 0) [[unlikely]] ReserveNextRun();
  --remaining_;
  // The process-wide source's arithmetic exactly: x <- 48271 x mod (2^31 - 1), then
  // u = (x - 1) / 2147483646 in [0, 1), then u * n truncated toward zero.
  state_ = detail::MulModMersenne31(state_, detail::kRandomMultiplier);
  const double u = static_cast<double>(state_ - 1) * (1.0 / 2147483646.0);
  const double m = n == 0 ? 1.0 : static_cast<double>(n);
  return static_cast<std::int32_t>(u * m);
}

std::int32_t RandomInt(std::int32_t n) {
  detail::ThreadDraws& thread = detail::tThreadDraws;
  ++thread.count;
  if (thread.bound != nullptr) return thread.bound->Draw(n);
  return detail::SharedRandomInt(n);
}

}  // namespace quillgate
