#pragma once
// The ways a shape becomes pixels (RasteriserChoice.h chooses among them), each keeping to
// the clip pixel for pixel: fills through Cairo or our aliased scan converter, small
// ellipses with their exact coverage, one-pixel strokes straight into the pixels, marks in
// runs through Cairo, and Cairo's stroker.

#include "Platform/Graphics/Brush.h"
#include "Platform/Graphics/GraphicsPath.h"
#include "Platform/Graphics/GraphicsTypes.h"
#include "Platform/Graphics/Pen.h"
#include "Platform/Graphics/detail/RasteriserChoice.h"

#include <cairo.h>

#include <span>

namespace quillgate::graphics::detail {

struct GraphicsData;
struct ThinTarget;

// Fills the path with the brush the chosen way; `smoothing` is Cairo's anti-aliasing when
// Cairo fills it.
Status FillPathOn(GraphicsData& d, const Brush& brush, const GraphicsPath& path, FillWay way,
                  cairo_antialias_t smoothing);

// A small ellipse painted with its exact coverage. An opaque colour is blended straight into
// the pixels, through the clip's mask when a clip is set; otherwise the coverage becomes a
// mask that Cairo paints the colour through, clip and translucency included.
Status FillSmallEllipse(GraphicsData& d, const Color& color, const RectF& rect);

// Where one-pixel strokes of `pen` go straight into the bitmap, which must be flushed
// before and marked dirty after. False when the clip's mask could not be allocated.
bool ThinTargetOf(GraphicsData& d, const Pen& pen, ThinTarget& target);

// Strokes the figures of points/types (which must fit ThinStroke) with a one-pixel plain
// pen, as one shape.
Status StrokeThin(GraphicsData& d, const Pen& pen, std::span<const PointF> points, std::span<const BYTE> types,
                  PointF minimum, PointF maximum, bool antialiased);

// Strokes the separate figures of points/types with a plain pen: figures that cannot share
// a pixel are stroked together into a coverage mask, then blended into the bitmap box by
// box through the clip's pixels, which also clears the mask again.
Status StrokeFigureRuns(GraphicsData& d, const Pen& pen, std::span<const PointF> points, std::span<const BYTE> types,
                        bool antialiased);

// Strokes the path with Cairo's stroker, through the clip's mask when clipped.
void StrokeWithCairo(GraphicsData& d, const Pen& pen, const GraphicsPath& path, bool antialiased);

}  // namespace quillgate::graphics::detail
