#pragma once
// Handing shapes, pens and brushes to Cairo: the plumbing that every Cairo-drawn shape
// shares, whichever call drew it.

#include "Platform/Graphics/Brush.h"
#include "Platform/Graphics/GraphicsTypes.h"
#include "Platform/Graphics/Pen.h"

#include <cairo.h>

#include <span>

namespace quillgate::graphics::detail {

class ClipMask;
struct GraphicsData;

// Anti-aliasing of shapes and pens: Cairo's 4x4-sample rasteriser. It looks the same as the
// finer one at these sizes (and like the original library's own smoothing) at a third of
// the cost; strings, which are small and read closely, keep the finer one.
inline constexpr cairo_antialias_t kShapeAntialias = CAIRO_ANTIALIAS_FAST;
inline constexpr cairo_antialias_t kTextAntialias = CAIRO_ANTIALIAS_GRAY;

[[nodiscard]] bool AntiAliased(SmoothingMode mode);

// Builds the path in Cairo, curves kept, moved by `shift` each way (see PixelGrid.h).
// Figures with non-finite points are left out and far-away coordinates clamped, so that no
// input can upset the fixed-point rasteriser.
void AppendPath(cairo_t* cr, std::span<const PointF> points, std::span<const BYTE> types, double shift);

void SetColor(cairo_t* cr, const Color& c);
// A hatch of two different colours: a pattern, never smoothed.
[[nodiscard]] bool IsTwoColourHatch(const Brush& brush);
// Sets the brush as cr's source: its colour, or its hatch as an 8 x 8 pattern anchored at
// the device origin.
Status SetBrush(cairo_t* cr, const Brush* brush);
// Sets cr up to stroke with the pen's colour, width, caps, joins and dashes.
void SetStroke(cairo_t* cr, const Pen& pen, cairo_antialias_t antialias);
// Fills or strokes cr's current path, through the clip mask when a clip is set.
void RenderShape(cairo_t* cr, ClipMask* clipMask, bool stroke);

// The clip's pixels for blending straight into the bitmap: null with no clip. False when
// the clip's mask could not be made.
bool ClipPixels(const GraphicsData& d, const unsigned char*& clip, int& stride);

}  // namespace quillgate::graphics::detail
