#pragma once
// How a shape becomes pixels. For a shape, its pen or brush and the smoothing, this unit
// chooses which of the rasterisers draws it, and no other place does: Cairo, or one of our
// own where Cairo is slow or inexact (ShapeRasterisers.h). The clip never changes the
// choice; every rasteriser keeps to it pixel for pixel.

#include "Platform/Graphics/Brush.h"
#include "Platform/Graphics/GraphicsTypes.h"
#include "Platform/Graphics/Pen.h"

#include <span>

namespace quillgate::graphics::detail {

// Filling a path (shapes, text, the outline of an inset pen's stroke).
enum class FillWay {
  kAliased,  // our scan converter: whole pixels, no smoothing
  kCairo,    // Cairo's smoothing, through the clip's mask when clipped
};
// Without smoothing, and for hatches of two colours (which are never smoothed), aliased.
[[nodiscard]] FillWay ChooseFill(const Brush& brush, bool antialiased);

// Filling an ellipse.
enum class EllipseWay {
  kCentrePixel,    // the pixel under its centre: a dot asked for must show
  kExactCoverage,  // each pixel gets the area the ellipse covers
  kAsPath,         // its outline filled as any path
};
// Without smoothing an ellipse under 2 x 2 could fall between pixel centres and vanish:
// its centre pixel. With smoothing, a small one (see SmallEllipse.h) in one colour: exact
// coverage. Anything else: a path.
[[nodiscard]] EllipseWay ChooseEllipse(const RectF& rect, const Brush* brush, bool antialiased);

// Stroking a path with a pen, or one mark of many.
enum class StrokeWay {
  kWidenedFill,  // an inset pen: the widened outline, filled, so the stroke stays inside
  kThinStroke,   // a one-pixel stroke of small figures, straight into the pixels
  kFigureRuns,   // marks: many at once through Cairo, blended box by box
  kCairo,        // Cairo's stroker, one path (or one mark) at a time
};
// An opaque solid pen centred on its lines is plain: its coverage can be blended straight
// into the pixels. A plain pen one pixel wide (or thinner: it draws like one) along points
// that fit ThinStroke: the thin stroke. Otherwise an inset pen is widened and any other
// stroked by Cairo, except that marks of a plain pen go in runs.
[[nodiscard]] bool IsPlainPen(const Pen& pen);
[[nodiscard]] StrokeWay ChooseStroke(const Pen& pen, std::span<const PointF> points, bool mark, PointF& minimum,
                                     PointF& maximum);

}  // namespace quillgate::graphics::detail
