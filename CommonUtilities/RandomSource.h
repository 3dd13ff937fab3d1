#pragma once
// The one process-wide pseudo-random source. Every random decision of the component (code
// characters, every value a text style draws) goes through RandomInt, so a given state of
// the source yields one fixed code and one fixed image.

#include <cstdint>

namespace quillgate {

// An integer in 0..n-1 (0 for n == 0; for negative n a value in n+1..0). Each call
// advances the generator by exactly one step. Safe to call from any thread.
std::int32_t RandomInt(std::int32_t n);

}  // namespace quillgate
