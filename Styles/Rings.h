#pragma once
// Concentric rings, the pattern of several styles (24, 25, 34, 37, 41, 46, 47): circles of
// radius 0, step, 2 step, ... while the radius stays below 888, whatever the image size,
// each stroked with the pen (the first a zero-size ellipse). No random draws.

#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

inline constexpr float kRingRadiusLimit = 888.0f;

// Circles that cannot touch the `bounds` rectangle (normally the bitmap) are skipped: the
// picture is the same, and most of the 178 to 296 circles lie wholly outside a small image.
void DrawRings(graphics::Graphics& graphics, const graphics::PointF& centre, float step,
               const graphics::Pen& pen, const graphics::RectF& bounds);

}  // namespace quillgate
