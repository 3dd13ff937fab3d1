#pragma once
// The one process-wide pseudo-random source of the drawing. Every value a text style or the
// drawing randomizer draws goes through RandomInt, so a given state of the source yields one
// fixed picture of a given code. The code's characters do not come from here (they must be
// unpredictable; see SecureRandom.h).

#include <cstdint>

namespace quillgate {

// An integer in 0..n-1 (0 for n == 0; for negative n a value in n+1..0). Each call
// advances the generator by exactly one step. Safe to call from any thread.
std::int32_t RandomInt(std::int32_t n);

}  // namespace quillgate
