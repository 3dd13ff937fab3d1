#pragma once
// Concentric rings, the pattern of several styles (24, 25, 34, 37, 41, 46, 47): circles of
// radius 0, step, 2 step, ... while the radius stays below 888, whatever the image size,
// each stroked with the pen (the first a zero-size ellipse). No random draws.

#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

inline constexpr float kRingRadiusLimit = 888.0f;

// How a circle's rectangle (cx - r, cy - r, 2r, 2r) reaches the graphics layer: as it is, or
// with every value truncated to whole pixels (ToRect), as the integer ellipse call takes it.
enum class RingRectangle { kExact, kWholePixels };

// Circles that cannot touch the `bounds` rectangle (normally the bitmap) or the clip's
// bounds are skipped: the picture is the same, and most of the 178 to 296 circles lie
// wholly outside a small image.
void DrawRings(graphics::Graphics& graphics, const graphics::PointF& centre, float step,
               const graphics::Pen& pen, const graphics::RectF& bounds,
               RingRectangle rectangle = RingRectangle::kExact);

}  // namespace quillgate
