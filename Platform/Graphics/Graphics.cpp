#include "Platform/Graphics/Graphics.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/AliasedFill.h"
#include "Platform/Graphics/detail/BitmapData.h"
#include "Platform/Graphics/detail/ClipMask.h"
#include "Platform/Graphics/detail/CoverageBlend.h"
#include "Platform/Graphics/detail/FigureRuns.h"
#include "Platform/Graphics/detail/Geometry.h"
#include "Platform/Graphics/detail/PixelGrid.h"
#include "Platform/Graphics/detail/RegionData.h"
#include "Platform/Graphics/detail/TextLayout.h"
#include "Platform/Graphics/detail/ThinStroke.h"
#include "Platform/Graphics/detail/SmallEllipse.h"

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillgate::graphics {

namespace detail {

struct CairoDeleter {
  void operator()(cairo_t* cr) const noexcept { cairo_destroy(cr); }
};

struct GraphicsData {
  std::unique_ptr<cairo_t, CairoDeleter> cr;
  cairo_surface_t* surface = nullptr;  // owned by cr's reference
  int width = 0;
  int height = 0;
  Region clip;  // infinite
  bool clipInfinite = true;  // clip.IsInfinite(), kept for the per-speck fast path
  std::unique_ptr<ClipMask> clipMask;  // set while the clip is not infinite
  // For DrawFigures: a coverage mask of the bitmap's size, all zero between calls, with its
  // context (made when first needed), and the record of which runs figures went into.
  CairoSurfacePtr figureCoverage;
  std::unique_ptr<cairo_t, CairoDeleter> figureContext;
  OverlapLayers layers;
  ThinStroke thin;  // for one-pixel strokes along small figures, clear between them
  std::vector<BYTE> markTypes;  // the point types of DrawBezierMarks' figures, kept for reuse
};

}  // namespace detail

namespace {

using detail::Access;

std::u16string_view TextOf(const WCHAR* string, INT length) {
  if (string == nullptr) return {};
  if (length < 0) return std::u16string_view(string);
  return {string, static_cast<std::size_t>(length)};
}

bool Finite(const PointF& p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

// Builds the path in Cairo, curves kept, moved by `shift` each way (see PixelGrid.h).
// Figures with non-finite points are left out and far-away coordinates clamped, so that no
// input can upset the fixed-point rasteriser.
void AppendPath(cairo_t* cr, std::span<const PointF> points, std::span<const BYTE> types, double shift) {
  const std::size_t n = std::min(points.size(), types.size());
  std::size_t i = 0;
  auto x = [shift](const PointF& p) { return detail::Clamp(p.X) + shift; };
  auto y = [shift](const PointF& p) { return detail::Clamp(p.Y) + shift; };
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
  const std::uint32_t fore = detail::Premultiply(Access::Fore(brush).GetValue());
  const std::uint32_t back = detail::Premultiply(Access::Back(brush).GetValue());
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

void SetColor(cairo_t* cr, const Color& c) {
  cairo_set_source_rgba(cr, c.GetR() / 255.0, c.GetG() / 255.0, c.GetB() / 255.0, c.GetA() / 255.0);
}

// Sets the brush as source; `aliased` tells whether the paint must not be anti-aliased.
Status SetBrush(cairo_t* cr, const Brush* brush, bool& aliased) {
  aliased = false;
  if (brush == nullptr) return InvalidParameter;
  if (brush->GetLastStatus() != Ok) return brush->GetLastStatus();
  if (brush->GetType() == BrushTypeHatchFill && Access::Fore(*brush) != Access::Back(*brush)) {
    cairo_pattern_t* pattern = HatchPattern(*brush);
    if (pattern == nullptr) return NotImplemented;
    cairo_set_source(cr, pattern);
    cairo_pattern_destroy(pattern);
    aliased = true;
    return Ok;
  }
  SetColor(cr, Access::Fore(*brush));
  return Ok;
}

bool AntiAliased(SmoothingMode mode) { return mode == SmoothingModeAntiAlias || mode == SmoothingModeHighQuality; }

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

cairo_filter_t FilterOf(InterpolationMode mode) {
  switch (mode) {
    case InterpolationModeNearestNeighbor: return CAIRO_FILTER_NEAREST;
    case InterpolationModeHighQuality:
    case InterpolationModeHighQualityBilinear:
    case InterpolationModeHighQualityBicubic:
    case InterpolationModeBicubic: return CAIRO_FILTER_GOOD;
    default: return CAIRO_FILTER_BILINEAR;
  }
}

bool IsWhole(double v) { return std::floor(v) == v; }

}  // namespace

Graphics::Graphics(Bitmap* image) {
  detail::BitmapData* bitmap = image != nullptr ? Access::Data(*image) : nullptr;
  if (bitmap == nullptr) {
    lastStatus_ = InvalidParameter;
    return;
  }
  auto data = std::make_unique<detail::GraphicsData>();
  data->cr.reset(cairo_create(bitmap->surface.get()));
  if (cairo_status(data->cr.get()) != CAIRO_STATUS_SUCCESS) {
    lastStatus_ = OutOfMemory;
    return;
  }
  // Curves are flattened to within a quarter pixel, as the original library does by default.
  cairo_set_tolerance(data->cr.get(), 0.25);
  data->surface = bitmap->surface.get();
  data->width = bitmap->width;
  data->height = bitmap->height;
  data_ = std::move(data);
}

Graphics::~Graphics() = default;

Status Graphics::SetSmoothingMode(SmoothingMode mode) {
  if (mode < SmoothingModeDefault || mode > SmoothingModeAntiAlias) return Remember(InvalidParameter);
  smoothing_ = mode;
  return Remember(Ok);
}

Status Graphics::SetInterpolationMode(InterpolationMode mode) {
  if (mode < InterpolationModeDefault || mode > InterpolationModeHighQualityBicubic) return Remember(InvalidParameter);
  interpolation_ = mode;
  return Remember(Ok);
}

Status Graphics::Clear(const Color& color) {
  if (!data_) return Remember(WrongState);
  cairo_t* cr = data_->cr.get();
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  SetColor(cr, color);
  cairo_paint(cr);
  cairo_restore(cr);
  return Remember(Ok);
}

// ---- clipping -------------------------------------------------------------------------

namespace {

// Hands the clip to Cairo as whole-pixel rectangles within the bitmap (pixel-aligned, so
// Cairo keeps it as a region and never softens it).
void ApplyClip(detail::GraphicsData& d) {
  cairo_t* cr = d.cr.get();
  cairo_reset_clip(cr);
  d.clipMask.reset();
  d.clipInfinite = d.clip.IsInfinite();
  if (d.clipInfinite) return;
  Region visible(Rect(0, 0, d.width, d.height));
  visible.Intersect(&d.clip);
  // Shapes are clipped through this mask; Cairo's own clip serves the other operations.
  d.clipMask = std::make_unique<detail::ClipMask>(Access::Data(visible).pixels.get(), d.width, d.height);
  cairo_new_path(cr);
  const cairo_region_t* pixels = Access::Data(visible).pixels.get();
  const int n = cairo_region_num_rectangles(pixels);
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(pixels, i, &r);
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
  if (n == 0) cairo_rectangle(cr, 0, 0, 0, 0);
  // cairo_clip reads antialias and fill rule from the current state.
  const cairo_antialias_t antialias = cairo_get_antialias(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr);
  cairo_set_antialias(cr, antialias);
}

}  // namespace

Status Graphics::SetClip(const Region* region, CombineMode mode) {
  if (!data_) return Remember(WrongState);
  if (region == nullptr) return Remember(InvalidParameter);
  const Status s = data_->clip.Combine(region, mode);
  ApplyClip(*data_);
  return Remember(s);
}

Status Graphics::SetClip(const GraphicsPath* path, CombineMode mode) {
  if (path == nullptr) return Remember(InvalidParameter);
  const Region region(path);
  return SetClip(&region, mode);
}

Status Graphics::SetClip(const RectF& rect, CombineMode mode) {
  const Region region(rect);
  return SetClip(&region, mode);
}

Status Graphics::SetClip(const Rect& rect, CombineMode mode) { return SetClip(RectF(rect), mode); }

Status Graphics::SetClip(const Graphics* other, CombineMode mode) {
  if (other == nullptr || !other->data_) return Remember(InvalidParameter);
  const Region copy(other->data_->clip);
  return SetClip(&copy, mode);
}

Status Graphics::ResetClip() {
  if (!data_) return Remember(WrongState);
  data_->clip.MakeInfinite();
  ApplyClip(*data_);
  return Remember(Ok);
}

Status Graphics::GetClipBounds(RectF* rect) const {
  if (rect == nullptr) return Remember(InvalidParameter);
  if (!data_) return Remember(WrongState);
  if (data_->clip.IsInfinite()) {
    *rect = RectF(-4194304.0f, -4194304.0f, 8388608.0f, 8388608.0f);
    return Remember(Ok);
  }
  return Remember(data_->clip.GetBounds(rect));
}

// ---- fills and strokes ------------------------------------------------------------------

namespace {

// Anti-aliasing of shapes and pens: Cairo's 4x4-sample rasteriser. It looks the same as the
// finer one at these sizes (and like the original library's own smoothing) at a third of
// the cost; strings, which are small and read closely, keep the finer one.
constexpr cairo_antialias_t kShapeAntialias = CAIRO_ANTIALIAS_FAST;
constexpr cairo_antialias_t kTextAntialias = CAIRO_ANTIALIAS_GRAY;

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
void RenderShape(cairo_t* cr, detail::ClipMask* clipMask, bool stroke) {
  if (clipMask != nullptr) {
    clipMask->Render(cr, stroke);
  } else if (stroke) {
    cairo_stroke(cr);
  } else {
    cairo_fill(cr);
  }
}

Status FillPathOn(cairo_t* cr, detail::ClipMask* clipMask, const Brush* brush, const GraphicsPath& path,
                  cairo_antialias_t antialias) {
  bool aliased = false;
  const Status s = SetBrush(cr, brush, aliased);
  if (s != Ok) return s;
  // Two-colour hatches are never smoothed.
  if (aliased || antialias == CAIRO_ANTIALIAS_NONE) {
    std::optional<std::uint32_t> opaque;
    if (!aliased) opaque = Access::Fore(*brush).GetValue();
    detail::FillAliased(cr, path, opaque);
    return Ok;
  }
  cairo_new_path(cr);
  AppendPath(cr, path.Points(), path.Types(), detail::kSmoothGridShift);
  cairo_set_fill_rule(cr, path.GetFillMode() == FillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  cairo_set_antialias(cr, antialias);
  RenderShape(cr, clipMask, false);
  return Ok;
}

// The clip's pixels for blending straight into the bitmap: null with no clip. False when
// the clip's mask could not be made.
bool ClipPixels(const detail::GraphicsData& d, const unsigned char*& clip, int& stride) {
  clip = nullptr;
  stride = 0;
  if (!d.clipMask) return true;
  clip = d.clipMask->Pixels();
  stride = d.clipMask->Stride();
  return clip != nullptr;
}

// A small ellipse painted with its exact coverage. An opaque colour is blended straight into
// the pixels, through the clip's mask when a clip is set; otherwise the coverage becomes a
// mask that Cairo paints the colour through, clip and translucency included.
Status FillSmallEllipse(detail::GraphicsData& d, const Color& color, const RectF& rect) {
  const detail::EllipseCoverage coverage =
      detail::SmallEllipseCoverage(rect.X + detail::kSmoothGridShift, rect.Y + detail::kSmoothGridShift, rect.Width,
                                   rect.Height, d.width, d.height);
  if (coverage.Empty()) return Ok;
  const cairo_rectangle_int_t box{coverage.x, coverage.y, coverage.width, coverage.height};
  const unsigned char* clip = nullptr;
  int clipStride = 0;
  if (color.GetA() == 255 && ClipPixels(d, clip, clipStride)) {
    cairo_surface_flush(d.surface);
    const detail::PixelTarget target{reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(d.surface)),
                                     cairo_image_surface_get_stride(d.surface) / 4, d.width, d.height};
    if (detail::BlendCoverage(target, coverage, color.GetValue(), clip, clipStride)) {
      cairo_surface_mark_dirty_rectangle(d.surface, box.x, box.y, box.width, box.height);
    }
    return Ok;
  }
  // A speck wholly outside the clip changes nothing: no mask, no Cairo call.
  if (!d.clipInfinite &&
      cairo_region_contains_rectangle(Access::Data(d.clip).pixels.get(), &box) == CAIRO_REGION_OVERLAP_OUT) {
    return Ok;
  }
  detail::CairoSurfacePtr mask(cairo_image_surface_create(CAIRO_FORMAT_A8, coverage.width, coverage.height));
  if (cairo_surface_status(mask.get()) != CAIRO_STATUS_SUCCESS) return OutOfMemory;
  cairo_surface_flush(mask.get());
  unsigned char* data = cairo_image_surface_get_data(mask.get());
  const int stride = cairo_image_surface_get_stride(mask.get());
  for (int row = 0; row < coverage.height; ++row) {
    for (int column = 0; column < coverage.width; ++column) data[row * stride + column] = coverage.At(column, row);
  }
  cairo_surface_mark_dirty(mask.get());
  cairo_t* cr = d.cr.get();
  SetColor(cr, color);
  cairo_mask_surface(cr, mask.get(), coverage.x, coverage.y);
  return Ok;
}

}  // namespace

Status Graphics::FillPath(const Brush* brush, const GraphicsPath* path) {
  if (!data_) return Remember(WrongState);
  if (path == nullptr) return Remember(InvalidParameter);
  return Remember(FillPathOn(data_->cr.get(), data_->clipMask.get(), brush, *path,
                             AntiAliased(smoothing_) ? kShapeAntialias : CAIRO_ANTIALIAS_NONE));
}

namespace {

// A solid opaque pen centred on its lines: each pixel's coverage is blended straight in.
bool PlainPen(const Pen& pen) {
  return pen.GetAlignment() != PenAlignmentInset && pen.GetDashStyle() == DashStyleSolid && pen.GetColor().GetA() == 255;
}

// A plain pen that draws one pixel wide (thinner ones draw like it).
bool ThinPen(const Pen& pen) { return PlainPen(pen) && pen.GetWidth() <= 1.0f; }

detail::CoverageTarget TargetOf(const detail::GraphicsData& d) {
  return {reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(d.surface)),
          cairo_image_surface_get_stride(d.surface) / 4};
}

// Where one-pixel strokes of `pen` go straight into the bitmap, which must be flushed
// before and marked dirty after. False when the clip's mask could not be allocated.
bool ThinTargetOf(detail::GraphicsData& d, const Pen& pen, detail::ThinTarget& target) {
  const unsigned char* clip = nullptr;
  int clipStride = 0;
  if (!ClipPixels(d, clip, clipStride)) return false;
  target = {TargetOf(d), d.width, d.height, clip, clipStride, pen.GetColor().GetValue()};
  return true;
}

// Strokes the figures of points/types (which must fit) with a one-pixel plain pen, as one
// shape.
Status StrokeThin(detail::GraphicsData& d, const Pen& pen, std::span<const PointF> points, std::span<const BYTE> types,
                  PointF minimum, bool antialiased) {
  detail::ThinTarget target{};
  if (!ThinTargetOf(d, pen, target)) return OutOfMemory;
  cairo_surface_flush(d.surface);
  d.thin.Begin(minimum, antialiased, target);
  d.thin.AddFigures(points, types);
  d.thin.Finish();
  cairo_surface_mark_dirty(d.surface);
  return Ok;
}

// Strokes the separate figures of points/types with a plain pen: figures that cannot share
// a pixel are stroked together into a coverage mask, then blended into the bitmap box by
// box through the clip's pixels, which also clears the mask again.
Status StrokeFigureRuns(detail::GraphicsData& d, const Pen& pen, std::span<const PointF> points,
                        std::span<const BYTE> types, bool antialiased) {
  const detail::StrokeShape shape{std::max(static_cast<double>(pen.GetWidth()), 1.0), pen.GetMiterLimit(),
                                  pen.GetLineJoin() != LineJoinBevel && pen.GetLineJoin() != LineJoinRound};
  constexpr std::size_t kFiguresPerCall = 512;  // keeps each Cairo path small
  const detail::FigureRuns figures = detail::GroupFigureRuns(
      points, types, shape, antialiased ? detail::RunGrouping::kDisjoint : detail::RunGrouping::kDisjointAnyOrder,
      kFiguresPerCall, detail::GridShift(antialiased), d.clipMask.get(), d.width, d.height, d.layers);
  if (figures.figures.empty()) return Ok;
  if (!d.figureContext) {
    d.figureCoverage.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, d.width, d.height));
    d.figureContext.reset(cairo_create(d.figureCoverage.get()));
    if (cairo_status(d.figureContext.get()) != CAIRO_STATUS_SUCCESS) {
      d.figureContext.reset();
      return OutOfMemory;
    }
  }
  const unsigned char* clip = nullptr;
  int clipStride = 0;
  if (!ClipPixels(d, clip, clipStride)) return OutOfMemory;
  cairo_t* scratch = d.figureContext.get();
  cairo_set_tolerance(scratch, cairo_get_tolerance(d.cr.get()));
  cairo_surface_flush(d.surface);
  const detail::CoverageTarget target = TargetOf(d);
  const detail::CoverageMask coverage{cairo_image_surface_get_data(d.figureCoverage.get()),
                                      cairo_image_surface_get_stride(d.figureCoverage.get())};
  const std::uint32_t colour = pen.GetColor().GetValue();
  for (const detail::FigureRun& run : figures.runs) {
    if (run.figures.empty()) continue;
    cairo_new_path(scratch);
    for (const std::size_t f : run.figures) {
      const detail::Figure& figure = figures.figures[f];
      AppendPath(scratch, points.subspan(figure.begin, figure.end - figure.begin),
                 types.subspan(figure.begin, figure.end - figure.begin), detail::GridShift(antialiased));
    }
    SetStroke(scratch, pen, antialiased ? kShapeAntialias : CAIRO_ANTIALIAS_NONE);
    cairo_stroke(scratch);
    cairo_surface_flush(d.figureCoverage.get());
    for (const std::size_t f : run.figures) {
      for (std::size_t b = figures.figures[f].boxBegin; b < figures.figures[f].boxEnd; ++b) {
        detail::BlendCoverage(target, coverage, clip, clipStride, figures.boxes[b], d.width, d.height, colour);
      }
    }
    cairo_surface_mark_dirty(d.figureCoverage.get());
  }
  cairo_surface_mark_dirty(d.surface);
  return Ok;
}

}  // namespace

Status Graphics::DrawPath(const Pen* pen, const GraphicsPath* path) {
  if (!data_) return Remember(WrongState);
  if (pen == nullptr || path == nullptr) return Remember(InvalidParameter);
  if (pen->GetLastStatus() == InvalidParameter) return Remember(InvalidParameter);
  if (path->GetPointCount() == 0) return Remember(Ok);

  if (pen->GetAlignment() == PenAlignmentInset) {
    // The stroke must stay inside closed figures: fill the widened outline instead.
    GraphicsPath outline = *path;
    Pen widening = *pen;
    if (widening.GetWidth() < 1) widening.SetWidth(1);
    if (outline.Widen(&widening) != Ok) return Remember(Ok);  // a single point draws nothing
    const SolidBrush brush(pen->GetColor());
    return FillPath(&brush, &outline);
  }

  if (PointF minimum, maximum; ThinPen(*pen) && detail::ThinStroke::Fits(path->Points(), minimum, maximum)) {
    return Remember(StrokeThin(*data_, *pen, path->Points(), path->Types(), minimum, AntiAliased(smoothing_)));
  }
  cairo_t* cr = data_->cr.get();
  cairo_new_path(cr);
  AppendPath(cr, path->Points(), path->Types(), detail::GridShift(AntiAliased(smoothing_)));
  SetStroke(cr, *pen, AntiAliased(smoothing_) ? kShapeAntialias : CAIRO_ANTIALIAS_NONE);
  RenderShape(cr, data_->clipMask.get(), true);
  cairo_set_dash(cr, nullptr, 0, 0);
  return Remember(Ok);
}

Status Graphics::DrawBezierMarks(const Pen* pen, std::span<const PointF> points) {
  if (!data_) return Remember(WrongState);
  if (pen == nullptr || points.size() % 4 != 0) return Remember(InvalidParameter);
  if (pen->GetLastStatus() == InvalidParameter) return Remember(InvalidParameter);
  std::vector<BYTE>& types = data_->markTypes;
  if (types.size() != points.size()) {
    types.resize(points.size());
    for (std::size_t i = 0; i < types.size(); ++i) types[i] = i % 4 == 0 ? PathPointTypeStart : PathPointTypeBezier;
  }
  return Remember(StrokeEachFigure(*pen, points, types, FillModeAlternate, 4));
}

// Small figures of a thin pen go straight into the pixels, one after another; the others in
// order between them, in runs when the pen is plain, else one at a time, the ordinary way.
// The bitmap is flushed once before a stretch of small figures and marked dirty once after
// it, not for each. `figureSize`, when not 0, is the number of points of every figure,
// which then need not be found from the types.
Status Graphics::StrokeEachFigure(const Pen& pen, std::span<const PointF> points, std::span<const BYTE> types,
                                  FillMode fillMode, std::size_t figureSize) {
  detail::GraphicsData& d = *data_;
  const std::size_t n = std::min(points.size(), types.size());
  const bool plain = PlainPen(pen), thin = ThinPen(pen), antialiased = AntiAliased(smoothing_);
  std::size_t pending = 0;  // the first figure not yet drawn
  std::optional<detail::ThinTarget> thinTarget;  // while small figures are being drawn
  auto endThin = [&] {
    if (thinTarget) cairo_surface_mark_dirty(d.surface);
    thinTarget.reset();
  };
  auto drawPending = [&](std::size_t end) -> Status {
    if (pending == end) return Ok;
    endThin();
    const std::span<const PointF> p = points.subspan(pending, end - pending);
    const std::span<const BYTE> t = types.subspan(pending, end - pending);
    pending = end;
    if (plain) return StrokeFigureRuns(d, pen, p, t, antialiased);
    detail::ForEachFigure(t, p.size(), [&](std::size_t begin, std::size_t end, bool) {
      const GraphicsPath figure(p.subspan(begin, end - begin), t.subspan(begin, end - begin), fillMode);
      DrawPath(&pen, &figure);
    });
    return Ok;
  };
  for (std::size_t i = 0; i < n;) {
    std::size_t end = i + figureSize;
    if (figureSize == 0) {
      bool closed = false;
      std::size_t segments = 0;
      end = detail::FigureEnd(types, i, n, closed, segments);
    }
    const std::span<const PointF> figurePoints = points.subspan(i, end - i);
    if (PointF minimum, maximum; thin && detail::ThinStroke::Fits(figurePoints, minimum, maximum)) {
      if (const auto [x0, y0, x1, y1] = detail::ThinStroke::Reach(minimum, maximum);
          d.clipMask && !d.clipMask->MayMeet(x0, y0, x1, y1)) {
        // Wholly outside the clip: it changes no pixel.
        if (const Status s = drawPending(i); s != Ok) return s;
        pending = end;
        i = end;
        continue;
      }
      if (const Status s = drawPending(i); s != Ok) return s;
      if (!thinTarget) {
        detail::ThinTarget target{};
        if (!ThinTargetOf(d, pen, target)) return OutOfMemory;
        cairo_surface_flush(d.surface);
        thinTarget = target;
      }
      d.thin.Begin(minimum, antialiased, *thinTarget);
      d.thin.AddFigures(figurePoints, types.subspan(i, end - i));
      d.thin.Finish();
      pending = end;
    }
    i = end;
  }
  endThin();
  return drawPending(n);
}

Status Graphics::FillRectangle(const Brush* brush, const RectF& rect) {
  GraphicsPath path;
  path.AddRectangle(rect);
  return FillPath(brush, &path);
}

Status Graphics::FillRectangle(const Brush* brush, REAL x, REAL y, REAL width, REAL height) {
  return FillRectangle(brush, RectF(x, y, width, height));
}

Status Graphics::FillRectangle(const Brush* brush, const Rect& rect) { return FillRectangle(brush, RectF(rect)); }

Status Graphics::FillRectangle(const Brush* brush, INT x, INT y, INT width, INT height) {
  return FillRectangle(brush, RectF(Rect(x, y, width, height)));
}

Status Graphics::FillEllipse(const Brush* brush, const RectF& rect) {
  if (!data_) return Remember(WrongState);
  if (!AntiAliased(smoothing_) && rect.Width > 0 && rect.Height > 0 && rect.Width < 2 && rect.Height < 2 &&
      std::isfinite(rect.X) && std::isfinite(rect.Y)) {
    // Without anti-aliasing a dot this small could fall between pixel centres and vanish;
    // a dot asked for must show, so it becomes the pixel under its centre.
    const double cx = std::floor(detail::Clamp(rect.X + rect.Width / 2.0));
    const double cy = std::floor(detail::Clamp(rect.Y + rect.Height / 2.0));
    return FillRectangle(brush, RectF(static_cast<REAL>(cx), static_cast<REAL>(cy), 1, 1));
  }
  if (AntiAliased(smoothing_) && detail::IsSmallEllipse(rect.X, rect.Y, rect.Width, rect.Height) &&
      brush != nullptr && brush->GetLastStatus() == Ok && Access::Fore(*brush) == Access::Back(*brush)) {
    // Specks and spots in one colour: exact coverage (two-colour hatches are never smoothed
    // and take the path below).
    return Remember(FillSmallEllipse(*data_, Access::Fore(*brush), rect));
  }
  GraphicsPath path;
  path.AddEllipse(rect);
  return FillPath(brush, &path);
}

Status Graphics::FillEllipse(const Brush* brush, REAL x, REAL y, REAL width, REAL height) {
  return FillEllipse(brush, RectF(x, y, width, height));
}

Status Graphics::FillEllipse(const Brush* brush, const Rect& rect) { return FillEllipse(brush, RectF(rect)); }

Status Graphics::FillEllipse(const Brush* brush, INT x, INT y, INT width, INT height) {
  return FillEllipse(brush, RectF(Rect(x, y, width, height)));
}

Status Graphics::DrawEllipse(const Pen* pen, const RectF& rect) {
  GraphicsPath path;
  path.AddEllipse(rect);
  return DrawPath(pen, &path);
}

Status Graphics::DrawEllipse(const Pen* pen, REAL x, REAL y, REAL width, REAL height) {
  return DrawEllipse(pen, RectF(x, y, width, height));
}

Status Graphics::DrawEllipse(const Pen* pen, const Rect& rect) { return DrawEllipse(pen, RectF(rect)); }

Status Graphics::DrawEllipse(const Pen* pen, INT x, INT y, INT width, INT height) {
  return DrawEllipse(pen, RectF(Rect(x, y, width, height)));
}

Status Graphics::DrawLine(const Pen* pen, const PointF& pt1, const PointF& pt2) {
  GraphicsPath path;
  path.AddLine(pt1, pt2);
  return DrawPath(pen, &path);
}

Status Graphics::DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2) {
  return DrawLine(pen, PointF(x1, y1), PointF(x2, y2));
}

Status Graphics::DrawLine(const Pen* pen, const Point& pt1, const Point& pt2) {
  return DrawLine(pen, PointF(pt1), PointF(pt2));
}

Status Graphics::DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2) {
  return DrawLine(pen, PointF(Point(x1, y1)), PointF(Point(x2, y2)));
}

Status Graphics::FillRegion(const Brush* brush, const Region* region) {
  if (!data_) return Remember(WrongState);
  if (region == nullptr) return Remember(InvalidParameter);
  cairo_t* cr = data_->cr.get();
  bool aliased = false;
  const Status s = SetBrush(cr, brush, aliased);
  if (s != Ok) return Remember(s);
  Region visible(Rect(0, 0, data_->width, data_->height));
  visible.Intersect(region);
  cairo_new_path(cr);
  const cairo_region_t* pixels = Access::Data(visible).pixels.get();
  const int n = cairo_region_num_rectangles(pixels);
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(pixels, i, &r);
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  RenderShape(cr, data_->clipMask.get(), false);
  return Remember(Ok);
}

// ---- strings ------------------------------------------------------------------------------

Status Graphics::DrawString(std::u16string_view text, const Font* font, const RectF& layoutRect,
                            const StringFormat* format, const Brush* brush) {
  if (!data_) return Remember(WrongState);
  if (font == nullptr || brush == nullptr) return Remember(InvalidParameter);
  if (!font->IsAvailable()) return Remember(font->GetLastStatus());
  const FontFamily& family = font->Family();
  GraphicsPath path(FillModeWinding);
  const detail::TextLayoutRequest request{text, &family, font->GetStyle(), font->GetPixelSize(), layoutRect, format};
  const Status s = detail::LayOutText(request, &path, nullptr);
  if (s != Ok) return Remember(s);
  // Strings are anti-aliased whatever the smoothing mode.
  return Remember(FillPathOn(data_->cr.get(), data_->clipMask.get(), brush, path, kTextAntialias));
}

Status Graphics::DrawString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                            const StringFormat* format, const Brush* brush) {
  if (string == nullptr) return Remember(InvalidParameter);
  return DrawString(TextOf(string, length), font, layoutRect, format, brush);
}

Status Graphics::DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                            const Brush* brush) {
  return DrawString(string, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, brush);
}

Status Graphics::DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                            const StringFormat* format, const Brush* brush) {
  return DrawString(string, length, font, RectF(origin.X, origin.Y, 0, 0), format, brush);
}

Status Graphics::MeasureString(std::u16string_view text, const Font* font, const PointF& origin,
                               const StringFormat* format, RectF* boundingBox) const {
  return MeasureString(text.data(), static_cast<INT>(text.size()), font, RectF(origin.X, origin.Y, 0, 0), format,
                       boundingBox);
}

Status Graphics::MeasureString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                               const StringFormat* format, RectF* boundingBox, INT* codepointsFitted,
                               INT* linesFilled) const {
  if (font == nullptr || boundingBox == nullptr || (string == nullptr && length != 0)) {
    return Remember(InvalidParameter);
  }
  if (!font->IsAvailable()) return Remember(font->GetLastStatus());
  const std::u16string_view text = string != nullptr ? TextOf(string, length) : std::u16string_view();
  const FontFamily& family = font->Family();
  const detail::TextLayoutRequest request{text, &family, font->GetStyle(), font->GetPixelSize(), layoutRect, format};
  const Status s = detail::LayOutText(request, nullptr, boundingBox);
  if (s != Ok) return Remember(s);
  if (codepointsFitted != nullptr) *codepointsFitted = static_cast<INT>(text.size());
  if (linesFilled != nullptr) *linesFilled = text.empty() ? 0 : 1;
  return Remember(Ok);
}

Status Graphics::MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                               const StringFormat* format, RectF* boundingBox) const {
  return MeasureString(string, length, font, RectF(origin.X, origin.Y, 0, 0), format, boundingBox);
}

Status Graphics::MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                               RectF* boundingBox) const {
  return MeasureString(string, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, boundingBox);
}

// ---- images -------------------------------------------------------------------------------

Status Graphics::DrawImage(const Bitmap* image, const RectF& destRect, REAL srcx, REAL srcy, REAL srcwidth,
                           REAL srcheight, Unit srcUnit) {
  if (!data_) return Remember(WrongState);
  if (image == nullptr) return Remember(InvalidParameter);
  if (srcUnit != UnitPixel) return Remember(NotImplemented);
  const detail::BitmapData* source = Access::Data(*image);
  if (source == nullptr) return Remember(InvalidParameter);
  const double values[] = {destRect.X, destRect.Y, destRect.Width, destRect.Height, srcx, srcy, srcwidth, srcheight};
  for (double v : values) {
    if (!std::isfinite(v)) return Remember(InvalidParameter);
  }
  if (destRect.Width == 0 || destRect.Height == 0 || srcwidth <= 0 || srcheight <= 0) return Remember(Ok);

  // The source rectangle, cut to the image; the destination shrinks with it.
  const double sx0 = std::max<double>(srcx, 0), sy0 = std::max<double>(srcy, 0);
  const double sx1 = std::min<double>(static_cast<double>(srcx) + srcwidth, source->width);
  const double sy1 = std::min<double>(static_cast<double>(srcy) + srcheight, source->height);
  if (sx1 <= sx0 || sy1 <= sy0) return Remember(Ok);
  const double kx = destRect.Width / srcwidth, ky = destRect.Height / srcheight;
  const double dx = destRect.X + (sx0 - srcx) * kx, dy = destRect.Y + (sy0 - srcy) * ky;
  const double dw = (sx1 - sx0) * kx, dh = (sy1 - sy0) * ky;

  cairo_surface_flush(source->surface.get());
  // Drawing a bitmap onto itself reads from a copy.
  detail::CairoSurfacePtr copy;
  cairo_surface_t* pixels = source->surface.get();
  if (pixels == data_->surface) {
    copy.reset(cairo_surface_create_similar_image(pixels, CAIRO_FORMAT_ARGB32, source->width, source->height));
    cairo_t* c = cairo_create(copy.get());
    cairo_set_source_surface(c, pixels, 0, 0);
    cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
    cairo_paint(c);
    cairo_destroy(c);
    pixels = copy.get();
  }
  const int ix0 = static_cast<int>(std::floor(sx0)), iy0 = static_cast<int>(std::floor(sy0));
  const int ix1 = static_cast<int>(std::ceil(sx1)), iy1 = static_cast<int>(std::ceil(sy1));
  cairo_surface_t* part = cairo_surface_create_for_rectangle(pixels, ix0, iy0, ix1 - ix0, iy1 - iy0);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
  cairo_surface_destroy(part);

  const bool unscaled = std::fabs(dw - (sx1 - sx0)) < 1e-9 && std::fabs(dh - (sy1 - sy0)) < 1e-9;
  const bool aligned = unscaled && IsWhole(dx) && IsWhole(dy) && IsWhole(sx0) && IsWhole(sy0);
  cairo_matrix_t m;  // user space -> pattern space
  cairo_matrix_init_scale(&m, (sx1 - sx0) / dw, (sy1 - sy0) / dh);
  cairo_matrix_translate(&m, -dx, -dy);
  cairo_matrix_t shift;
  cairo_matrix_init_translate(&shift, sx0 - ix0, sy0 - iy0);
  cairo_matrix_multiply(&m, &m, &shift);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, aligned ? CAIRO_FILTER_NEAREST : FilterOf(interpolation_));
  // Edges clamp to the outermost pixels instead of fading out.
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);

  cairo_t* cr = data_->cr.get();
  cairo_set_source(cr, pattern);
  cairo_pattern_destroy(pattern);
  cairo_new_path(cr);
  cairo_rectangle(cr, dx, dy, dw, dh);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_antialias(cr, aligned || !AntiAliased(smoothing_) ? CAIRO_ANTIALIAS_NONE : kShapeAntialias);
  RenderShape(cr, data_->clipMask.get(), false);
  return Remember(Ok);
}

Status Graphics::DrawImage(const Bitmap* image, const Rect& destRect, INT srcx, INT srcy, INT srcwidth,
                           INT srcheight, Unit srcUnit) {
  return DrawImage(image, RectF(destRect), static_cast<REAL>(srcx), static_cast<REAL>(srcy),
                   static_cast<REAL>(srcwidth), static_cast<REAL>(srcheight), srcUnit);
}

Status Graphics::DrawImage(const Bitmap* image, REAL x, REAL y, REAL srcx, REAL srcy, REAL srcwidth,
                           REAL srcheight, Unit srcUnit) {
  return DrawImage(image, RectF(x, y, srcwidth, srcheight), srcx, srcy, srcwidth, srcheight, srcUnit);
}

Status Graphics::DrawImage(const Bitmap* image, INT x, INT y, INT srcx, INT srcy, INT srcwidth, INT srcheight,
                           Unit srcUnit) {
  return DrawImage(image, static_cast<REAL>(x), static_cast<REAL>(y), static_cast<REAL>(srcx),
                   static_cast<REAL>(srcy), static_cast<REAL>(srcwidth), static_cast<REAL>(srcheight), srcUnit);
}

Status Graphics::DrawImage(const Bitmap* image, const RectF& destRect) {
  if (image == nullptr) return Remember(InvalidParameter);
  return DrawImage(image, destRect, 0, 0, static_cast<REAL>(image->GetWidth()),
                   static_cast<REAL>(image->GetHeight()), UnitPixel);
}

Status Graphics::DrawImage(const Bitmap* image, const Rect& destRect) { return DrawImage(image, RectF(destRect)); }

Status Graphics::DrawImage(const Bitmap* image, REAL x, REAL y) {
  if (image == nullptr) return Remember(InvalidParameter);
  return DrawImage(image, RectF(x, y, static_cast<REAL>(image->GetWidth()), static_cast<REAL>(image->GetHeight())));
}

Status Graphics::DrawImage(const Bitmap* image, INT x, INT y) {
  return DrawImage(image, static_cast<REAL>(x), static_cast<REAL>(y));
}

}  // namespace quillgate::graphics
