#include "Platform/Graphics/GraphicsPath.h"

#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/Matrix.h"
#include "Platform/Graphics/Pen.h"
#include "Platform/Graphics/detail/Geometry.h"
#include "Platform/Graphics/detail/TextLayout.h"

#include <algorithm>
#include <cmath>

namespace quillgate::graphics {

namespace {

// Control-point distance of the four Bezier arcs that approximate an ellipse.
constexpr double kKappa = 0.5522847498307936;

std::u16string_view TextOf(const WCHAR* string, INT length) {
  if (string == nullptr) return {};
  if (length < 0) return std::u16string_view(string);
  return {string, static_cast<std::size_t>(length)};
}

}  // namespace

GraphicsPath::GraphicsPath(FillMode fillMode) : fillMode_(fillMode) {
  if (fillMode != FillModeAlternate && fillMode != FillModeWinding) {
    fillMode_ = FillModeAlternate;
    lastStatus_ = InvalidParameter;
  }
}

GraphicsPath::GraphicsPath(const PointF* points, const BYTE* types, INT count, FillMode fillMode)
    : GraphicsPath(fillMode) {
  if (count < 0 || (count > 0 && (points == nullptr || types == nullptr))) {
    lastStatus_ = InvalidParameter;
    return;
  }
  const auto n = static_cast<std::size_t>(count);
  *this = GraphicsPath(std::span<const PointF>(points, n), std::span<const BYTE>(types, n), fillMode);
}

GraphicsPath::GraphicsPath(std::span<const PointF> points, std::span<const BYTE> types, FillMode fillMode)
    : GraphicsPath(fillMode) {
  if (points.size() != types.size()) {
    lastStatus_ = InvalidParameter;
    return;
  }
  // Rebuild figure by figure so that the stored types always describe proper figures.
  const std::size_t n = points.size();
  std::size_t i = 0;
  while (i < n) {
    // A figure opens at index i whatever its type says.
    startNewFigure_ = true;
    AppendPoint(points[i], PathPointTypeStart);
    bool closed = (types[i] & PathPointTypeCloseSubpath) != 0;
    ++i;
    while (i < n && !closed && (types[i] & PathPointTypePathTypeMask) != PathPointTypeStart) {
      const BYTE kind = types[i] & PathPointTypePathTypeMask;
      if (kind == PathPointTypeBezier && i + 2 < n &&
          (types[i + 1] & PathPointTypePathTypeMask) == PathPointTypeBezier &&
          (types[i + 2] & PathPointTypePathTypeMask) == PathPointTypeBezier &&
          (types[i] & PathPointTypeCloseSubpath) == 0 && (types[i + 1] & PathPointTypeCloseSubpath) == 0) {
        AppendPoint(points[i], PathPointTypeBezier);
        AppendPoint(points[i + 1], PathPointTypeBezier);
        AppendPoint(points[i + 2], PathPointTypeBezier);
        closed = (types[i + 2] & PathPointTypeCloseSubpath) != 0;
        i += 3;
      } else {
        AppendPoint(points[i], PathPointTypeLine);
        closed = (types[i] & PathPointTypeCloseSubpath) != 0;
        ++i;
      }
    }
    if (closed) CloseFigure();
  }
  startNewFigure_ = true;
  lastStatus_ = Ok;
}

void GraphicsPath::AppendPoint(const PointF& p, BYTE type) {
  points_.push_back(p);
  types_.push_back(type);
  startNewFigure_ = false;
}

void GraphicsPath::BeginFigureIfNeeded(const PointF& first) {
  if (startNewFigure_ || points_.empty()) {
    AppendPoint(first, PathPointTypeStart);
  } else {
    AppendPoint(first, PathPointTypeLine);
  }
}

Status GraphicsPath::Reset() {
  points_.clear();
  types_.clear();
  fillMode_ = FillModeAlternate;
  startNewFigure_ = true;
  return Remember(Ok);
}

Status GraphicsPath::SetFillMode(FillMode fillMode) {
  if (fillMode != FillModeAlternate && fillMode != FillModeWinding) return Remember(InvalidParameter);
  fillMode_ = fillMode;
  return Remember(Ok);
}

Status GraphicsPath::StartFigure() {
  startNewFigure_ = true;
  return Remember(Ok);
}

Status GraphicsPath::CloseFigure() {
  if (!types_.empty()) types_.back() |= PathPointTypeCloseSubpath;
  startNewFigure_ = true;
  return Remember(Ok);
}

Status GraphicsPath::CloseAllFigures() {
  for (std::size_t i = 1; i <= types_.size(); ++i) {
    const bool lastOfFigure =
        i == types_.size() || (types_[i] & PathPointTypePathTypeMask) == PathPointTypeStart;
    if (lastOfFigure) types_[i - 1] |= PathPointTypeCloseSubpath;
  }
  startNewFigure_ = true;
  return Remember(Ok);
}

Status GraphicsPath::AddLine(const PointF& pt1, const PointF& pt2) {
  BeginFigureIfNeeded(pt1);
  AppendPoint(pt2, PathPointTypeLine);
  return Remember(Ok);
}

Status GraphicsPath::AddLine(REAL x1, REAL y1, REAL x2, REAL y2) { return AddLine(PointF(x1, y1), PointF(x2, y2)); }

Status GraphicsPath::AddLine(INT x1, INT y1, INT x2, INT y2) { return AddLine(PointF(Point(x1, y1)), PointF(Point(x2, y2))); }

Status GraphicsPath::AddLines(const PointF* points, INT count) {
  if (points == nullptr || count < 1) return Remember(InvalidParameter);
  return AddLines(std::span<const PointF>(points, static_cast<std::size_t>(count)));
}

Status GraphicsPath::AddLines(std::span<const PointF> points) {
  if (points.empty()) return Remember(InvalidParameter);
  BeginFigureIfNeeded(points.front());
  for (std::size_t i = 1; i < points.size(); ++i) AppendPoint(points[i], PathPointTypeLine);
  return Remember(Ok);
}

Status GraphicsPath::AddBezier(const PointF& pt1, const PointF& pt2, const PointF& pt3, const PointF& pt4) {
  BeginFigureIfNeeded(pt1);
  AppendPoint(pt2, PathPointTypeBezier);
  AppendPoint(pt3, PathPointTypeBezier);
  AppendPoint(pt4, PathPointTypeBezier);
  return Remember(Ok);
}

Status GraphicsPath::AddBezier(REAL x1, REAL y1, REAL x2, REAL y2, REAL x3, REAL y3, REAL x4, REAL y4) {
  return AddBezier(PointF(x1, y1), PointF(x2, y2), PointF(x3, y3), PointF(x4, y4));
}

Status GraphicsPath::AddBeziers(const PointF* points, INT count) {
  if (points == nullptr || count < 4 || (count - 1) % 3 != 0) return Remember(InvalidParameter);
  BeginFigureIfNeeded(points[0]);
  for (INT i = 1; i < count; ++i) AppendPoint(points[i], PathPointTypeBezier);
  return Remember(Ok);
}

Status GraphicsPath::AddRectangle(const RectF& rect) {
  StartFigure();
  AppendPoint({rect.X, rect.Y}, PathPointTypeStart);
  AppendPoint({rect.X + rect.Width, rect.Y}, PathPointTypeLine);
  AppendPoint({rect.X + rect.Width, rect.Y + rect.Height}, PathPointTypeLine);
  AppendPoint({rect.X, rect.Y + rect.Height}, PathPointTypeLine);
  return Remember(CloseFigure());
}

Status GraphicsPath::AddRectangle(const Rect& rect) { return AddRectangle(RectF(rect)); }

Status GraphicsPath::AddRectangles(const RectF* rects, INT count) {
  if (rects == nullptr || count < 0) return Remember(InvalidParameter);
  for (INT i = 0; i < count; ++i) AddRectangle(rects[i]);
  return Remember(Ok);
}

Status GraphicsPath::AddEllipse(const RectF& rect) {
  const double rx = rect.Width / 2.0, ry = rect.Height / 2.0;
  const double cx = rect.X + rx, cy = rect.Y + ry;
  const double kx = rx * kKappa, ky = ry * kKappa;
  auto p = [](double x, double y) { return PointF(static_cast<REAL>(x), static_cast<REAL>(y)); };
  // Clockwise on screen from the rightmost point, as four cubic arcs.
  StartFigure();
  AppendPoint(p(cx + rx, cy), PathPointTypeStart);
  const PointF arcs[12] = {p(cx + rx, cy + ky), p(cx + kx, cy + ry), p(cx, cy + ry),
                           p(cx - kx, cy + ry), p(cx - rx, cy + ky), p(cx - rx, cy),
                           p(cx - rx, cy - ky), p(cx - kx, cy - ry), p(cx, cy - ry),
                           p(cx + kx, cy - ry), p(cx + rx, cy - ky), p(cx + rx, cy)};
  for (const PointF& q : arcs) AppendPoint(q, PathPointTypeBezier);
  return Remember(CloseFigure());
}

Status GraphicsPath::AddEllipse(REAL x, REAL y, REAL width, REAL height) { return AddEllipse(RectF(x, y, width, height)); }
Status GraphicsPath::AddEllipse(const Rect& rect) { return AddEllipse(RectF(rect)); }
Status GraphicsPath::AddEllipse(INT x, INT y, INT width, INT height) { return AddEllipse(RectF(Rect(x, y, width, height))); }

Status GraphicsPath::AddPolygon(const PointF* points, INT count) {
  if (points == nullptr || count < 3) return Remember(InvalidParameter);
  StartFigure();
  AppendPoint(points[0], PathPointTypeStart);
  for (INT i = 1; i < count; ++i) AppendPoint(points[i], PathPointTypeLine);
  return Remember(CloseFigure());
}

Status GraphicsPath::AddPath(const GraphicsPath* path, bool connect) {
  if (path == nullptr) return Remember(InvalidParameter);
  if (path->points_.empty()) return Remember(Ok);
  // Copy first: the other path may be this one.
  const std::vector<PointF> points = path->points_;
  std::vector<BYTE> types = path->types_;
  const bool lastOpen = !points_.empty() && !startNewFigure_ &&
                        (types_.back() & PathPointTypeCloseSubpath) == 0;
  if (connect && lastOpen) types.front() = PathPointTypeLine | (types.front() & PathPointTypeCloseSubpath);
  points_.insert(points_.end(), points.begin(), points.end());
  types_.insert(types_.end(), types.begin(), types.end());
  startNewFigure_ = (types_.back() & PathPointTypeCloseSubpath) != 0;
  return Remember(Ok);
}

Status GraphicsPath::AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                               REAL emSize, const PointF& origin, const StringFormat* format) {
  return AddString(TextOf(string, length), family, style, emSize, origin, format);
}

Status GraphicsPath::AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                               REAL emSize, const RectF& layoutRect, const StringFormat* format) {
  return AddString(TextOf(string, length), family, style, emSize, layoutRect, format);
}

Status GraphicsPath::AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                               REAL emSize, const Point& origin, const StringFormat* format) {
  return AddString(TextOf(string, length), family, style, emSize, PointF(origin), format);
}

Status GraphicsPath::AddString(const WCHAR* string, INT length, const FontFamily* family, INT style,
                               REAL emSize, const Rect& layoutRect, const StringFormat* format) {
  return AddString(TextOf(string, length), family, style, emSize, RectF(layoutRect), format);
}

Status GraphicsPath::AddString(std::u16string_view text, const FontFamily* family, INT style, REAL emSize,
                               const PointF& origin, const StringFormat* format) {
  detail::TextLayoutRequest request{text, family, style, emSize, RectF(origin.X, origin.Y, 0, 0), format};
  const Status s = detail::LayOutText(request, this, nullptr);
  startNewFigure_ = true;
  return Remember(s);
}

Status GraphicsPath::AddString(std::u16string_view text, const FontFamily* family, INT style, REAL emSize,
                               const RectF& layoutRect, const StringFormat* format) {
  detail::TextLayoutRequest request{text, family, style, emSize, layoutRect, format};
  const Status s = detail::LayOutText(request, this, nullptr);
  startNewFigure_ = true;
  return Remember(s);
}

Status GraphicsPath::GetBounds(RectF* bounds, const Matrix* matrix, const Pen* pen) const {
  if (bounds == nullptr) return InvalidParameter;
  double minX, minY, maxX, maxY;
  if (!detail::CurveBounds(points_, types_, matrix, minX, minY, maxX, maxY)) {
    *bounds = RectF();
    return Ok;
  }
  if (pen != nullptr) {
    const double half = std::max(pen->GetWidth(), 1.0f) / 2.0;
    minX -= half;
    minY -= half;
    maxX += half;
    maxY += half;
  }
  *bounds = RectF(static_cast<REAL>(minX), static_cast<REAL>(minY), static_cast<REAL>(maxX - minX),
                  static_cast<REAL>(maxY - minY));
  return Ok;
}

Status GraphicsPath::GetBounds(Rect* bounds, const Matrix* matrix, const Pen* pen) const {
  if (bounds == nullptr) return InvalidParameter;
  RectF f;
  GetBounds(&f, matrix, pen);
  const double x0 = std::floor(detail::Clamp(f.X)), y0 = std::floor(detail::Clamp(f.Y));
  const double x1 = std::ceil(detail::Clamp(static_cast<double>(f.X) + f.Width));
  const double y1 = std::ceil(detail::Clamp(static_cast<double>(f.Y) + f.Height));
  *bounds = Rect(static_cast<INT>(x0), static_cast<INT>(y0), static_cast<INT>(x1 - x0), static_cast<INT>(y1 - y0));
  return Ok;
}

Status GraphicsPath::GetPathPoints(PointF* points, INT count) const {
  if (points == nullptr || count < 0) return InvalidParameter;
  if (count < GetPointCount()) return InsufficientBuffer;
  std::copy(points_.begin(), points_.end(), points);
  return Ok;
}

Status GraphicsPath::GetPathTypes(BYTE* types, INT count) const {
  if (types == nullptr || count < 0) return InvalidParameter;
  if (count < GetPointCount()) return InsufficientBuffer;
  std::copy(types_.begin(), types_.end(), types);
  return Ok;
}

Status GraphicsPath::GetLastPoint(PointF* lastPoint) const {
  if (lastPoint == nullptr) return InvalidParameter;
  if (points_.empty()) return WrongState;
  *lastPoint = points_.back();
  return Ok;
}

namespace {

// Replaces the path's figures by polylines.
void StoreFigures(const std::vector<detail::Polyline>& figures, std::vector<PointF>& points, std::vector<BYTE>& types) {
  points.clear();
  types.clear();
  for (const detail::Polyline& figure : figures) {
    if (figure.points.empty()) continue;
    for (std::size_t i = 0; i < figure.points.size(); ++i) {
      points.emplace_back(static_cast<REAL>(figure.points[i].x), static_cast<REAL>(figure.points[i].y));
      types.push_back(i == 0 ? PathPointTypeStart : PathPointTypeLine);
    }
    if (figure.closed) types.back() |= PathPointTypeCloseSubpath;
  }
}

double EffectiveFlatness(REAL flatness) {
  // 0 (undocumented in the original) is the finest useful flattening, not an endless one.
  if (!(flatness > 0.1f)) return 0.1;
  return flatness;
}

}  // namespace

Status GraphicsPath::Flatten(const Matrix* matrix, REAL flatness) {
  const auto figures = detail::FlattenFigures(points_, types_, matrix, EffectiveFlatness(flatness));
  StoreFigures(figures, points_, types_);
  startNewFigure_ = true;
  return Remember(Ok);
}

Status GraphicsPath::Warp(const PointF* destPoints, INT count, const RectF& srcRect, const Matrix* matrix,
                          WarpMode warpMode, REAL flatness) {
  if (destPoints == nullptr || (count != 3 && count != 4)) return Remember(InvalidParameter);
  if (!(srcRect.Width != 0) || !(srcRect.Height != 0) || !std::isfinite(srcRect.Width) ||
      !std::isfinite(srcRect.Height) || !std::isfinite(srcRect.X) || !std::isfinite(srcRect.Y)) {
    return Remember(InvalidParameter);
  }
  if (warpMode != WarpModePerspective && warpMode != WarpModeBilinear) return Remember(InvalidParameter);
  detail::Pt q[4];
  for (int i = 0; i < count; ++i) q[i] = {destPoints[i].X, destPoints[i].Y};
  if (count == 3) q[3] = {q[1].x + q[2].x - q[0].x, q[1].y + q[2].y - q[0].y};
  for (const auto& p : q) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return Remember(InvalidParameter);
  }

  // Projective map of the unit square: (0,0)->q0, (1,0)->q1, (0,1)->q2, (1,1)->q3.
  double a, b, c, d, e, f, g = 0, h = 0;
  {
    const double sx = q[0].x - q[1].x + q[3].x - q[2].x;
    const double sy = q[0].y - q[1].y + q[3].y - q[2].y;
    c = q[0].x;
    f = q[0].y;
    if (sx == 0 && sy == 0) {
      a = q[1].x - q[0].x;
      b = q[2].x - q[0].x;
      d = q[1].y - q[0].y;
      e = q[2].y - q[0].y;
    } else {
      const double dx1 = q[1].x - q[3].x, dx2 = q[2].x - q[3].x;
      const double dy1 = q[1].y - q[3].y, dy2 = q[2].y - q[3].y;
      const double det = dx1 * dy2 - dx2 * dy1;
      if (det == 0) return Remember(InvalidParameter);
      g = (sx * dy2 - dx2 * sy) / det;
      h = (dx1 * sy - sx * dy1) / det;
      a = q[1].x - q[0].x + g * q[1].x;
      b = q[2].x - q[0].x + h * q[2].x;
      d = q[1].y - q[0].y + g * q[1].y;
      e = q[2].y - q[0].y + h * q[2].y;
    }
  }

  auto figures = detail::FlattenFigures(points_, types_, matrix, EffectiveFlatness(flatness));
  for (auto& figure : figures) {
    for (auto& p : figure.points) {
      const double u = (p.x - srcRect.X) / srcRect.Width;
      const double v = (p.y - srcRect.Y) / srcRect.Height;
      double x, y;
      if (warpMode == WarpModePerspective) {
        const double w = g * u + h * v + 1;
        if (std::fabs(w) < 1e-12) return Remember(GenericError);
        x = (a * u + b * v + c) / w;
        y = (d * u + e * v + f) / w;
      } else {
        x = (1 - u) * (1 - v) * q[0].x + u * (1 - v) * q[1].x + (1 - u) * v * q[2].x + u * v * q[3].x;
        y = (1 - u) * (1 - v) * q[0].y + u * (1 - v) * q[1].y + (1 - u) * v * q[2].y + u * v * q[3].y;
      }
      if (!std::isfinite(x) || !std::isfinite(y)) return Remember(GenericError);
      p = {x, y};
    }
  }
  StoreFigures(figures, points_, types_);
  startNewFigure_ = true;
  return Remember(Ok);
}

Status GraphicsPath::Transform(const Matrix* matrix) {
  if (matrix == nullptr) return Remember(Ok);
  for (PointF& p : points_) p = matrix->Apply(p);
  return Remember(Ok);
}

bool GraphicsPath::IsVisible(REAL x, REAL y) const {
  const auto figures = detail::FlattenFigures(points_, types_, nullptr, FlatnessDefault);
  return detail::PointInside(figures, fillMode_, x, y);
}

}  // namespace quillgate::graphics
