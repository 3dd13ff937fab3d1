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

 private:
  friend class ProcessRandomRun;
  struct ProcessRunTag {};

 public:
  // Draws a run reserved from the process-wide source, reserving the next one when it is
  // used up, and hands the unused rest back when it ends. Only ProcessRandomRun can name
  // the tag.
  explicit ThreadRandomScope(ProcessRunTag);

  // One draw from this scope's generator, as RandomInt does while the scope is bound.
  std::int32_t Draw(std::int32_t n) noexcept;
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

}  // namespace quillgate
