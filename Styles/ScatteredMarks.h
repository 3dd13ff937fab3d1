#pragma once
// The small random marks that the stroke styles (7, 11, 12, 15) scatter by the thousand:
// curls, double arcs and dots. Each call draws `count` marks of one pen or brush (one pen
// or brush per colour paints the same pixels as a new one per mark), every mark taking its
// random values in the order listed. A count of 0 or less draws nothing.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"

#include <cstdint>

namespace quillgate {

// Curls: R = RandomRectOfSize(area, size); p1..p4 = RandomPointsInRect(R); one cubic
// Bezier p1, p2, p3, p4. 10 draws each.
void DrawCurls(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const graphics::RectF& area, const graphics::SizeF& size, std::int64_t count);

// Double arcs: R = RandomRectOfSize(area, size), then seven points, each RandomPointNear
// its anchor on R within `jitter`: two Beziers rising 1.1 R.Height above R's bottom and
// meeting at the middle of R's bottom edge. 16 draws each.
void DrawHumps(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const graphics::RectF& area, const graphics::SizeF& size, float jitter, std::int64_t count);

// Dots: p = RandomPointInRect(area) (y, then x); a filled ellipse in the whole-pixel square
// (trunc p.X, trunc p.Y, side, side). 2 draws each.
void DrawDots(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Brush& brush,
              const graphics::RectF& area, std::int32_t side, std::int64_t count);

}  // namespace quillgate
