#pragma once
// Small filled ellipses scattered over the text rectangle: in the text colour they grow blobs
// on the letters, in the background colour they punch holes in them. Their number and size
// grow with the logarithm of the image area.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

namespace quillgate {

enum class SpotShape {
  kRound,  // one size r for width and height: 1 draw
  kOval,   // width, then height, drawn separately: 2 draws
};

// L = NaturalLog(W x H); n = trunc(countFactor x L) spots; size limit s = trunc(0.8 x L).
// Per spot: p = RandomPointInRect(area) (2 draws: y, then x), then its size(s), each
// RandomInteger(0, s); filled with a new solid brush of `color` on the whole-pixel rectangle
// (trunc p.X, trunc p.Y, width, height). A spot of size 0 paints nothing.
void DrawSpots(StyleCanvas& canvas, const DrawingRandomizer& randomizer, const graphics::RectF& area,
               float countFactor, SpotShape shape, const graphics::Color& color);

}  // namespace quillgate
