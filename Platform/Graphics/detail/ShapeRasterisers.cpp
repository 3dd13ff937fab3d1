#include "Platform/Graphics/detail/ShapeRasterisers.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/AliasedFill.h"
#include "Platform/Graphics/detail/CairoPainting.h"
#include "Platform/Graphics/detail/CoverageBlend.h"
#include "Platform/Graphics/detail/GraphicsData.h"
#include "Platform/Graphics/detail/PixelGrid.h"
#include "Platform/Graphics/detail/RegionData.h"
#include "Platform/Graphics/detail/SmallEllipse.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace quillgate::graphics::detail {

namespace {

// The bitmap's pixels and the clip's, for blending straight into them; false when the clip's
// mask could not be made. The bitmap must be flushed before and marked dirty after.
bool TargetOf(const GraphicsData& d, PixelTarget& target) {
  const unsigned char* clip = nullptr;
  int clipStride = 0;
  if (!ClipPixels(d, clip, clipStride)) return false;
  target = {reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(d.surface)),
            cairo_image_surface_get_stride(d.surface) / 4, d.width, d.height, clip, clipStride};
  return true;
}

}  // namespace

Status FillPathOn(GraphicsData& d, const Brush& brush, const GraphicsPath& path, FillWay way,
                  cairo_antialias_t smoothing) {
  cairo_t* cr = d.cr.get();
  const Status s = SetBrush(cr, &brush);
  if (s != Ok) return s;
  if (way == FillWay::kAliased) {
    std::optional<std::uint32_t> opaque;
    if (!IsTwoColourHatch(brush)) opaque = Access::Fore(brush).GetValue();
    FillAliased(cr, path, opaque);
    return Ok;
  }
  cairo_new_path(cr);
  AppendPath(cr, path.Points(), path.Types(), kSmoothGridShift);
  cairo_set_fill_rule(cr, path.GetFillMode() == FillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  cairo_set_antialias(cr, smoothing);
  RenderShape(cr, d.clipMask.get(), false);
  return Ok;
}

Status FillSmallEllipse(GraphicsData& d, const Color& color, const RectF& rect) {
  EllipseCoverage coverage = SmallEllipseCoverage(rect.X + kSmoothGridShift, rect.Y + kSmoothGridShift, rect.Width,
                                                  rect.Height, d.width, d.height);
  if (coverage.Empty()) return Ok;
  const cairo_rectangle_int_t box{coverage.x, coverage.y, coverage.width, coverage.height};
  if (PixelTarget target{}; color.GetA() == 255 && TargetOf(d, target)) {
    cairo_surface_flush(d.surface);
    BlendCoverage(target, {coverage.alpha.data(), coverage.width, coverage.x, coverage.y},
                  {box.x, box.y, box.x + box.width, box.y + box.height}, color.GetValue());
    cairo_surface_mark_dirty_rectangle(d.surface, box.x, box.y, box.width, box.height);
    return Ok;
  }
  // A speck wholly outside the clip changes nothing: no mask, no Cairo call.
  if (!d.clipInfinite &&
      cairo_region_contains_rectangle(Access::Data(d.clip).pixels.get(), &box) == CAIRO_REGION_OVERLAP_OUT) {
    return Ok;
  }
  CairoSurfacePtr mask(cairo_image_surface_create(CAIRO_FORMAT_A8, coverage.width, coverage.height));
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

bool ThinTargetOf(GraphicsData& d, const Pen& pen, ThinTarget& target) {
  PixelTarget pixels{};
  if (!TargetOf(d, pixels)) return false;
  target = {pixels, d.clipMask.get(), pen.GetColor().GetValue(), nullptr};
  return true;
}

Status StrokeThin(GraphicsData& d, const Pen& pen, std::span<const PointF> points, std::span<const BYTE> types,
                  PointF minimum, PointF maximum, bool antialiased) {
  ThinTarget target{};
  if (!ThinTargetOf(d, pen, target)) return OutOfMemory;
  cairo_surface_flush(d.surface);
  d.thin.Begin(minimum, maximum, antialiased, target);
  d.thin.AddFigures(points, types);
  d.thin.Finish();
  cairo_surface_mark_dirty(d.surface);
  return Ok;
}

Status StrokeFigureRuns(GraphicsData& d, const Pen& pen, std::span<const PointF> points,
                        std::span<const BYTE> types, bool antialiased) {
  const StrokeShape shape{std::max(static_cast<double>(pen.GetWidth()), 1.0), pen.GetMiterLimit(),
                                  pen.GetLineJoin() != LineJoinBevel && pen.GetLineJoin() != LineJoinRound};
  constexpr std::size_t kFiguresPerCall = 512;  // keeps each Cairo path small
  const FigureRuns figures = GroupFigureRuns(
      points, types, shape, antialiased ? RunGrouping::kDisjoint : RunGrouping::kDisjointAnyOrder,
      kFiguresPerCall, GridShift(antialiased), d.clipMask.get(), d.width, d.height, d.layers);
  if (figures.figures.empty()) return Ok;
  if (!d.figureContext) {
    d.figureCoverage.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, d.width, d.height));
    d.figureContext.reset(cairo_create(d.figureCoverage.get()));
    if (cairo_status(d.figureContext.get()) != CAIRO_STATUS_SUCCESS) {
      d.figureContext.reset();
      return OutOfMemory;
    }
  }
  PixelTarget target{};
  if (!TargetOf(d, target)) return OutOfMemory;
  cairo_t* scratch = d.figureContext.get();
  cairo_set_tolerance(scratch, cairo_get_tolerance(d.cr.get()));
  cairo_surface_flush(d.surface);
  const CoverageMask coverage{cairo_image_surface_get_data(d.figureCoverage.get()),
                                      cairo_image_surface_get_stride(d.figureCoverage.get())};
  const std::uint32_t colour = pen.GetColor().GetValue();
  for (const FigureRun& run : figures.runs) {
    if (run.figures.empty()) continue;
    cairo_new_path(scratch);
    for (const std::size_t f : run.figures) {
      const Figure& figure = figures.figures[f];
      AppendPath(scratch, points.subspan(figure.begin, figure.end - figure.begin),
                 types.subspan(figure.begin, figure.end - figure.begin), GridShift(antialiased));
    }
    SetStroke(scratch, pen, antialiased ? kShapeAntialias : CAIRO_ANTIALIAS_NONE);
    cairo_stroke(scratch);
    cairo_surface_flush(d.figureCoverage.get());
    for (const std::size_t f : run.figures) {
      for (std::size_t b = figures.figures[f].boxBegin; b < figures.figures[f].boxEnd; ++b) {
        BlendCoverage(target, coverage, figures.boxes[b], colour);
      }
    }
    cairo_surface_mark_dirty(d.figureCoverage.get());
  }
  cairo_surface_mark_dirty(d.surface);
  return Ok;
}

void StrokeWithCairo(GraphicsData& d, const Pen& pen, const GraphicsPath& path, bool antialiased) {
  cairo_t* cr = d.cr.get();
  cairo_new_path(cr);
  AppendPath(cr, path.Points(), path.Types(), GridShift(antialiased));
  SetStroke(cr, pen, antialiased ? kShapeAntialias : CAIRO_ANTIALIAS_NONE);
  RenderShape(cr, d.clipMask.get(), true);
  cairo_set_dash(cr, nullptr, 0, 0);
}

}  // namespace quillgate::graphics::detail
