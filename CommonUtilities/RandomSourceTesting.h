#pragma once
// Seams for tests only: production code never sets the state or counts draws. Tests use
// them to replay a fixed state and to check how many values an operation draws.

#include <cstdint>

namespace quillgate::testing {

// Sets the generator's state; values outside 1..2147483646 are reduced into that range.
void SetRandomState(std::int32_t state);
// The generator's current state.
std::int32_t RandomState();
// Number of RandomInt calls made in this process so far.
std::uint64_t RandomDrawCount();

}  // namespace quillgate::testing
