// Shapes: every fill and stroke asks the rasteriser choice how it becomes pixels, then
// hands itself to that rasteriser.
#include "Platform/Graphics/Graphics.h"

#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/CairoPainting.h"
#include "Platform/Graphics/detail/Geometry.h"
#include "Platform/Graphics/detail/GraphicsData.h"
#include "Platform/Graphics/detail/RegionData.h"
#include "Platform/Graphics/detail/RasteriserChoice.h"
#include "Platform/Graphics/detail/ShapeRasterisers.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillgate::graphics {

namespace {

// The marks (four points each) in order of place: by strips of the picture kStripWidth
// wide, and down each strip by the row of their first point. A strip's rows of the bitmap
// and of the clip under a mark's height fit the processor's second-level cache.
constexpr int kStripWidth = 512;

std::span<const PointF> MarksByPlace(std::span<const PointF> points, detail::GraphicsData& d) {
  // A counting sort on (strip, band of rows), each mark in the bucket nearest to its first
  // point (marks off the bitmap, or not finite, at its edge: the order only speeds the
  // drawing up). Marks of one bucket keep their order. A band is one row, or as many as
  // keep the buckets no more than the marks, so that a few marks on a tall picture do not
  // cost a bucket for each of its rows.
  const std::size_t marks = points.size() / 4;
  const auto strips = static_cast<std::size_t>(std::max((d.width + kStripWidth - 1) / kStripWidth, 1));
  const auto height = static_cast<std::size_t>(std::max(d.height, 1));
  const std::size_t band = std::max<std::size_t>((strips * height + marks - 1) / marks, 1);
  const int rows = static_cast<int>((height + band - 1) / band);
  auto nearest = [](float v, double scale, int count) {
    const double place = std::floor(static_cast<double>(v) / scale);
    return std::isfinite(place) ? static_cast<std::size_t>(std::clamp(place, 0.0, count - 1.0)) : 0;
  };
  std::vector<std::uint32_t>& bucket = d.markBuckets;
  std::vector<std::size_t>& start = d.bucketStarts;
  bucket.resize(marks);
  start.assign(strips * static_cast<std::size_t>(rows) + 1, 0);
  for (std::size_t i = 0; i < marks; ++i) {
    const PointF& p = points[4 * i];
    const std::size_t strip = nearest(p.X, kStripWidth, static_cast<int>(strips));
    bucket[i] = static_cast<std::uint32_t>(strip * static_cast<std::size_t>(rows) +
                                           nearest(p.Y, static_cast<double>(band), rows));
    ++start[bucket[i] + 1];
  }
  for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
  d.markPoints.resize(points.size());
  for (std::size_t i = 0; i < marks; ++i) {
    std::copy_n(points.begin() + static_cast<std::ptrdiff_t>(4 * i), 4,
                d.markPoints.begin() + static_cast<std::ptrdiff_t>(4 * start[bucket[i]]++));
  }
  return d.markPoints;
}

}  // namespace

Status Graphics::FillPath(const Brush* brush, const GraphicsPath* path) {
  if (!data_) return Remember(WrongState);
  if (path == nullptr || brush == nullptr) return Remember(InvalidParameter);
  if (brush->GetLastStatus() != Ok) return Remember(brush->GetLastStatus());
  return Remember(detail::FillPathOn(*data_, *brush, *path, detail::ChooseFill(*brush, detail::AntiAliased(smoothing_)),
                                     detail::kShapeAntialias));
}

Status Graphics::DrawPath(const Pen* pen, const GraphicsPath* path) {
  if (!data_) return Remember(WrongState);
  if (pen == nullptr || path == nullptr) return Remember(InvalidParameter);
  if (pen->GetLastStatus() == InvalidParameter) return Remember(InvalidParameter);
  if (path->GetPointCount() == 0) return Remember(Ok);
  const bool antialiased = detail::AntiAliased(smoothing_);
  PointF minimum, maximum;
  switch (detail::ChooseStroke(*pen, path->Points(), false, minimum, maximum)) {
    case detail::StrokeWay::kWidenedFill: {
      GraphicsPath outline = *path;
      Pen widening = *pen;
      if (widening.GetWidth() < 1) widening.SetWidth(1);
      if (outline.Widen(&widening) != Ok) return Remember(Ok);  // a single point draws nothing
      const SolidBrush brush(pen->GetColor());
      return FillPath(&brush, &outline);
    }
    case detail::StrokeWay::kThinStroke:
      return Remember(detail::StrokeThin(*data_, *pen, path->Points(), path->Types(), minimum, maximum, antialiased));
    case detail::StrokeWay::kFigureRuns:  // only marks go in runs
    case detail::StrokeWay::kCairo: break;
  }
  detail::StrokeWithCairo(*data_, *pen, *path, antialiased);
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
  // Without smoothing a plain pen sets its opaque colour on every pixel a mark covers, so
  // the picture is the union of the marks whatever their order. Drawn by place, marks that
  // share rows of the bitmap follow one another: over a large picture thousands of marks
  // scattered at random would each fetch their rows from memory again.
  // (Buckets are numbered in 32 bits: there are never more of them than marks.)
  if (!detail::AntiAliased(smoothing_) && detail::IsPlainPen(*pen) && points.size() > 4 &&
      points.size() / 4 < (std::size_t{1} << 31)) {
    return Remember(StrokeMarks(*pen, MarksByPlace(points, *data_), types));
  }
  return Remember(StrokeMarks(*pen, points, types));
}

// Marks drawn by the thin stroke go straight into the pixels, one after another (those that
// cannot reach the clip, or without smoothing fall where they can change nothing, are left
// out); the others in order between them, in runs or one at a time as DrawPath draws them.
// The bitmap is flushed once before a stretch of thin marks and marked dirty once after
// it, not for each.
Status Graphics::StrokeMarks(const Pen& pen, std::span<const PointF> points, std::span<const BYTE> types) {
  constexpr std::size_t kMarkPoints = 4;
  detail::GraphicsData& d = *data_;
  const std::size_t n = std::min(points.size(), types.size());
  const bool antialiased = detail::AntiAliased(smoothing_);
  PointF minimum, maximum;
  // Marks that the thin stroke cannot draw go in runs when the pen is plain, else one by one.
  const bool inRuns = detail::IsPlainPen(pen);
  std::size_t pending = 0;  // the first mark not yet drawn
  std::optional<detail::ThinTarget> thinTarget;  // while thin marks are being drawn
  detail::ThinTarget unclipped{};                // the same without the clip
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
    if (inRuns) return detail::StrokeFigureRuns(d, pen, p, t, antialiased);
    for (std::size_t begin = 0; begin < p.size(); begin += kMarkPoints) {
      const GraphicsPath mark(p.subspan(begin, kMarkPoints), t.subspan(begin, kMarkPoints), FillModeAlternate);
      DrawPath(&pen, &mark);
    }
    return Ok;
  };
  for (std::size_t i = 0; i + kMarkPoints <= n; i += kMarkPoints) {
    const std::size_t end = i + kMarkPoints;
    const std::span<const PointF> mark = points.subspan(i, kMarkPoints);
    if (detail::ChooseStroke(pen, mark, true, minimum, maximum) != detail::StrokeWay::kThinStroke) continue;
    if (const Status s = drawPending(i); s != Ok) return s;
    pending = end;
    const auto [x0, y0, x1, y1] = detail::ThinStroke::Reach(minimum, maximum);
    using Share = detail::ClipMask::Share;
    const Share share = d.clipMask ? d.clipMask->ShareOf(x0, y0, x1, y1) : Share::kAll;
    if (share == Share::kNone) continue;  // wholly outside the clip
    if (!thinTarget) {
      detail::ThinTarget target{};
      if (!detail::ThinTargetOf(d, pen, target)) return OutOfMemory;
      cairo_surface_flush(d.surface);
      // Without smoothing, from here until the stretch ends only this pen's colour draws.
      if (!antialiased) {
        d.settled.Reset(target.pixels, target.colour);
        target.settled = &d.settled;
      }
      thinTarget = target;
      unclipped = target;
      unclipped.pixels.clip = nullptr, unclipped.clipCells = nullptr;
    }
    if (thinTarget->settled != nullptr && thinTarget->settled->Settled(x0, y0, x1, y1)) continue;
    // A mark wholly inside the clip is drawn as if there were none: no piece is culled and
    // no pixel looks at the clip.
    d.thin.Begin(minimum, maximum, antialiased, share == Share::kAll ? unclipped : *thinTarget);
    d.thin.AddFigures(mark, types.subspan(i, kMarkPoints));
    d.thin.Finish();
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
  switch (detail::ChooseEllipse(rect, brush, detail::AntiAliased(smoothing_))) {
    case detail::EllipseWay::kCentrePixel: {
      const double cx = std::floor(detail::Clamp(rect.X + rect.Width / 2.0));
      const double cy = std::floor(detail::Clamp(rect.Y + rect.Height / 2.0));
      return FillRectangle(brush, RectF(static_cast<REAL>(cx), static_cast<REAL>(cy), 1, 1));
    }
    case detail::EllipseWay::kExactCoverage:
      return Remember(detail::FillSmallEllipse(*data_, detail::Access::Fore(*brush), rect));
    case detail::EllipseWay::kAsPath: break;
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
  const Status s = detail::SetBrush(cr, brush);
  if (s != Ok) return Remember(s);
  Region visible(Rect(0, 0, data_->width, data_->height));
  visible.Intersect(region);
  cairo_new_path(cr);
  const cairo_region_t* pixels = detail::Access::Data(visible).pixels.get();
  const int n = cairo_region_num_rectangles(pixels);
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(pixels, i, &r);
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  detail::RenderShape(cr, data_->clipMask.get(), false);
  return Remember(Ok);
}

}  // namespace quillgate::graphics
