#include "Platform/Graphics/detail/CairoPainting.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/ClipMask.h"
#include "Platform/Graphics/detail/Geometry.h"
#include "Platform/Graphics/detail/GraphicsData.h"
#include "Platform/Graphics/detail/Premultiply.h"

#include <cmath>
#include <cstdint>

namespace quillgate::graphics::detail {

namespace {

bool Finite(const PointF& p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

// Hatch pattern as an 8x8 repeating surface anchored at the device origin.
cairo_pattern_t* HatchPattern(const Brush& brush) {
  BYTE rows[8];
  if (!HatchBrush::PatternRows(Access::Hatch(brush), rows)) return nullptr;
  cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  if (cairo_surface_status(tile) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(tile);
    return nullptr;
  }
  cairo_surface_flush(tile);
  unsigned char* data = cairo_image_surface_get_data(tile);
  const int stride = cairo_image_surface_get_stride(tile);
  const std::uint32_t fore = Premultiply(Access::Fore(brush).GetValue());
  const std::uint32_t back = Premultiply(Access::Back(brush).GetValue());
  for (int r = 0; r < 8; ++r) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + r * stride);
    for (int c = 0; c < 8; ++c) row[c] = (rows[r] & (0x80 >> c)) ? fore : back;
  }
  cairo_surface_mark_dirty(tile);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
  cairo_surface_destroy(tile);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  return pattern;
}

cairo_line_cap_t CapOf(LineCap cap) {
  switch (cap) {
    case LineCapSquare: return CAIRO_LINE_CAP_SQUARE;
    case LineCapRound: return CAIRO_LINE_CAP_ROUND;
    default: return CAIRO_LINE_CAP_BUTT;
  }
}

cairo_line_join_t JoinOf(LineJoin join) {
  switch (join) {
    case LineJoinBevel: return CAIRO_LINE_JOIN_BEVEL;
    case LineJoinRound: return CAIRO_LINE_JOIN_ROUND;
    default: return CAIRO_LINE_JOIN_MITER;
  }
}

}  // namespace

bool AntiAliased(SmoothingMode mode) { return mode == SmoothingModeAntiAlias || mode == SmoothingModeHighQuality; }

void AppendPath(cairo_t* cr, std::span<const PointF> points, std::span<const BYTE> types, double shift) {
  const std::size_t n = std::min(points.size(), types.size());
  std::size_t i = 0;
  auto x = [shift](const PointF& p) { return Clamp(p.X) + shift; };
  auto y = [shift](const PointF& p) { return Clamp(p.Y) + shift; };
  while (i < n) {
    const std::size_t begin = i++;
    bool closed = (types[begin] & PathPointTypeCloseSubpath) != 0;
    while (i < n && !closed && (types[i] & PathPointTypePathTypeMask) != PathPointTypeStart) {
      closed = (types[i] & PathPointTypeCloseSubpath) != 0;
      ++i;
    }
    bool finite = true;
    for (std::size_t k = begin; k < i && finite; ++k) finite = Finite(points[k]);
    if (!finite) continue;
    cairo_move_to(cr, x(points[begin]), y(points[begin]));
    std::size_t k = begin + 1;
    while (k < i) {
      if ((types[k] & PathPointTypePathTypeMask) == PathPointTypeBezier && k + 2 < i) {
        cairo_curve_to(cr, x(points[k]), y(points[k]), x(points[k + 1]), y(points[k + 1]), x(points[k + 2]),
                       y(points[k + 2]));
        k += 3;
      } else {
        cairo_line_to(cr, x(points[k]), y(points[k]));
        ++k;
      }
    }
    if (closed) cairo_close_path(cr);
  }
}


void SetColor(cairo_t* cr, const Color& c) {
  cairo_set_source_rgba(cr, c.GetR() / 255.0, c.GetG() / 255.0, c.GetB() / 255.0, c.GetA() / 255.0);
}

bool IsTwoColourHatch(const Brush& brush) {
  return brush.GetType() == BrushTypeHatchFill && Access::Fore(brush) != Access::Back(brush);
}

Status SetBrush(cairo_t* cr, const Brush* brush) {
  if (brush == nullptr) return InvalidParameter;
  if (brush->GetLastStatus() != Ok) return brush->GetLastStatus();
  if (IsTwoColourHatch(*brush)) {
    cairo_pattern_t* pattern = HatchPattern(*brush);
    if (pattern == nullptr) return NotImplemented;
    cairo_set_source(cr, pattern);
    cairo_pattern_destroy(pattern);
    return Ok;
  }
  SetColor(cr, Access::Fore(*brush));
  return Ok;
}

// Sets cr up to stroke with the pen's colour, width, caps, joins and dashes.
void SetStroke(cairo_t* cr, const Pen& pen, cairo_antialias_t antialias) {
  SetColor(cr, pen.GetColor());
  // Pens thinner than a pixel draw like a one-pixel pen.
  const double width = std::max(static_cast<double>(pen.GetWidth()), 1.0);
  cairo_set_line_width(cr, width);
  cairo_set_line_cap(cr, CapOf(pen.GetStartCap()));
  cairo_set_line_join(cr, JoinOf(pen.GetLineJoin()));
  cairo_set_miter_limit(cr, pen.GetMiterLimit());
  double dashes[6];
  int count = 0;
  switch (pen.GetDashStyle()) {
    case DashStyleDash: dashes[0] = 3; dashes[1] = 1; count = 2; break;
    case DashStyleDot: dashes[0] = 1; dashes[1] = 1; count = 2; break;
    case DashStyleDashDot: dashes[0] = 3; dashes[1] = 1; dashes[2] = 1; dashes[3] = 1; count = 4; break;
    case DashStyleDashDotDot:
      dashes[0] = 3; dashes[1] = 1; dashes[2] = 1; dashes[3] = 1; dashes[4] = 1; dashes[5] = 1; count = 6;
      break;
    default: break;
  }
  for (int i = 0; i < count; ++i) dashes[i] *= width;
  cairo_set_dash(cr, dashes, count, 0);
  cairo_set_antialias(cr, antialias);
}

// Fills or strokes cr's current path, through the clip mask when a clip is set.
void RenderShape(cairo_t* cr, ClipMask* clipMask, bool stroke) {
  if (clipMask != nullptr) {
    clipMask->Render(cr, stroke);
  } else if (stroke) {
    cairo_stroke(cr);
  } else {
    cairo_fill(cr);
  }
}

// The clip's pixels for blending straight into the bitmap: null with no clip. False when
// the clip's mask could not be made.
bool ClipPixels(const GraphicsData& d, const unsigned char*& clip, int& stride) {
  clip = nullptr;
  stride = 0;
  if (!d.clipMask) return true;
  clip = d.clipMask->Pixels();
  stride = d.clipMask->Stride();
  return clip != nullptr;
}

}  // namespace quillgate::graphics::detail
