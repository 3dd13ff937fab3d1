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

#include <cstdint>

namespace quillgate {

// An integer in 0..n-1 (0 for n == 0; for negative n a value in n+1..0). Each call
// advances the generator by exactly one step: the thread's bound source when a
// ThreadRandomScope is alive on this thread, the process-wide one otherwise. Safe to call
// from any thread.
std::int32_t RandomInt(std::int32_t n);

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

  // One draw from this scope's generator, as RandomInt does while the scope is bound.
  std::int32_t Draw(std::int32_t n) noexcept;
  // The generator's current state.
  [[nodiscard]] std::int32_t State() const noexcept { return static_cast<std::int32_t>(state_); }

 private:
  std::uint32_t state_;
  ThreadRandomScope* previous_;
};

}  // namespace quillgate
