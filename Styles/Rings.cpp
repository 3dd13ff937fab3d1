#include "Styles/Rings.h"

#include "Drawing/Geometry.h"

#include <algorithm>
#include <cmath>

namespace quillgate {

void DrawRings(graphics::Graphics& graphics, const graphics::PointF& centre, float step,
               const graphics::Pen& pen, const graphics::RectF& drawingBounds, RingRectangle rectangle) {
  // Nor can a circle change a pixel outside the clip: rings drawn through the letters skip
  // those that pass wholly around or inside the text's box.
  graphics::RectF clip;
  graphics::RectF bounds = drawingBounds;
  if (graphics.GetClipBounds(&clip) == graphics::Ok) {
    const float left = std::max(bounds.X, clip.X), top = std::max(bounds.Y, clip.Y);
    const float right = std::min(bounds.GetRight(), clip.GetRight());
    const float bottom = std::min(bounds.GetBottom(), clip.GetBottom());
    if (!(left < right && top < bottom)) return;
    bounds = graphics::RectF(left, top, right - left, bottom - top);
  }
  // A circle's ink lies within half a pen width (plus a pixel of smoothing) of its radius;
  // it can touch the bounds only if that band meets the distances from the centre to the
  // nearest and the farthest point of the bounds.
  const double dx = std::max({static_cast<double>(bounds.X) - centre.X, 0.0,
                              static_cast<double>(centre.X) - bounds.GetRight()});
  const double dy = std::max({static_cast<double>(bounds.Y) - centre.Y, 0.0,
                              static_cast<double>(centre.Y) - bounds.GetBottom()});
  const double nearest = std::hypot(dx, dy);
  const double farX = std::max(std::abs(centre.X - bounds.X), std::abs(centre.X - bounds.GetRight()));
  const double farY = std::max(std::abs(centre.Y - bounds.Y), std::abs(centre.Y - bounds.GetBottom()));
  const double farthest = std::hypot(farX, farY);
  // Whole-pixel rectangles move the circle's centre by up to 1.5 pixels and its radius by
  // up to half a pixel.
  const double reach = pen.GetWidth() / 2.0 + 1.0 + (rectangle == RingRectangle::kWholePixels ? 3.0 : 0.0);
  if (!(step > 0)) return;  // a step that never grows the radius would never end

  for (float r = 0; r < kRingRadiusLimit; r += step) {
    if (r + reach < nearest || r - reach > farthest) continue;
    const graphics::RectF circle(centre.X - r, centre.Y - r, 2 * r, 2 * r);
    if (rectangle == RingRectangle::kWholePixels) {
      graphics.DrawEllipse(&pen, ToRect(circle));
    } else {
      graphics.DrawEllipse(&pen, circle);
    }
  }
}

}  // namespace quillgate
