#pragma once
// Seams for tests only: production code never sets the state or counts draws. Tests use
// them to replay a fixed state and to check how many values an operation draws.

#include <cstdint>

namespace quillgate::testing {

// Sets the process-wide generator's state; values outside 1..2147483646 are reduced into
// that range.
void SetRandomState(std::int32_t state);
// The process-wide generator's current state.
std::int32_t RandomState();
// Number of RandomInt calls made on the calling thread so far, from whichever source they
// drew. Kept per thread, so that counting costs no shared write on the drawing path.
std::uint64_t RandomDrawCount();

}  // namespace quillgate::testing
