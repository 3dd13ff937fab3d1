#pragma once
// Counts and sizes that grow with the logarithm of the image area: trunc(factor x ln(W x H)).
// Used by the crossing lines and the spots.

#include "Drawing/Geometry.h"

#include <cmath>
#include <cstdint>

namespace quillgate {

// trunc(factor x NaturalLog(width x height)), the product in float; 0 when that is not a
// positive finite number (an empty image has no logarithm), and held below 2^31.
[[nodiscard]] inline std::int32_t CountForArea(float factor, float width, float height) {
  const float value = factor * NaturalLog(width * height);
  if (!(value > 0) || !std::isfinite(value)) return 0;
  return value < 2147483520.0f ? static_cast<std::int32_t>(value) : 2147483520;
}

}  // namespace quillgate
