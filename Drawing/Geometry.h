#pragma once
// Small geometry helpers shared by the text styles.

#include "Platform/Graphics/Gdiplus.h"

#include <vector>

namespace quillgate {

// ln(x), computed in double precision.
[[nodiscard]] float NaturalLog(float x);

// Each field truncated toward zero (3.9 -> 3, -2.5 -> -2). Values beyond the integer range
// are held at its ends, and NaN becomes 0, instead of converting out of range.
[[nodiscard]] graphics::Rect ToRect(const graphics::RectF& rect);

// ((X + Right) / 2, (Y + Bottom) / 2).
[[nodiscard]] graphics::PointF RectCenter(const graphics::RectF& rect);

// Replaces `rects` with the region's scan rectangles, in the library's order (bands top to
// bottom, left to right within a band), untransformed. An empty region gives none.
void GetRegionRects(const graphics::Region& region, std::vector<graphics::RectF>& rects);

}  // namespace quillgate
