#pragma once
// The built-in pair of guide curves that envelope-warped text runs between.

#include "Platform/Graphics/GraphicsTypes.h"

#include <cstdint>
#include <vector>

namespace quillgate {

inline constexpr std::int32_t kEnvelopeTopPointCount = 452;
inline constexpr std::int32_t kEnvelopeBottomPointCount = 469;

// Presets 1 and 2 (the same pair): empties `top` and fills it with the 452 points of the
// upper curve, then empties `bottom` and fills it with the 469 points of the lower curve,
// both left to right in whole-pixel coordinates. Any other preset leaves both lists alone.
void LoadEnvelopeCurves(std::int32_t preset, std::vector<graphics::PointF>& top,
                        std::vector<graphics::PointF>& bottom);

}  // namespace quillgate
