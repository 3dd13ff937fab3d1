#pragma once
// What a challenge costs to draw, estimated before it is drawn: each style's measured time
// for a 250 x 50 JPEG (tools/render-cost-table.sh regenerates the table from the benchmarks)
// scaled by the number of pixels. A policy's heaviest allowed challenge is bounded with it.

#include <cstdint>

namespace quillgate::service {

// Estimated milliseconds to draw and encode one challenge of `style` (0..49) at
// `width` x `height` on one core of the reference machine. Throws std::out_of_range for a
// style outside 0..49 or a size that is not positive: asking is a caller's bug, since
// policies admit only real styles and sizes, and a made-up cost would hide it.
[[nodiscard]] double EstimatedRenderMs(std::int32_t style, std::int32_t width, std::int32_t height);

}  // namespace quillgate::service
