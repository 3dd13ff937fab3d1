// GraphicsPath::Widen: the outline of a stroke, built by offsetting the flattened figures
// with Clipper. Kept apart from the rest of the path code because it is the one place that
// needs the polygon library.

#include "Platform/Graphics/GraphicsPath.h"

#include "Platform/Graphics/Pen.h"
#include "Platform/Graphics/detail/Geometry.h"

#include <polyclipping/clipper.hpp>

#include <algorithm>
#include <cmath>

namespace quillgate::graphics {

namespace {

// Clipper works on integers: 1/256 pixel is far below anything visible.
constexpr double kScale = 256.0;

ClipperLib::IntPoint ToInt(const detail::Pt& p) {
  return {static_cast<ClipperLib::cInt>(std::llround(p.x * kScale)),
          static_cast<ClipperLib::cInt>(std::llround(p.y * kScale))};
}

ClipperLib::Path ToClipper(const std::vector<detail::Pt>& points) {
  ClipperLib::Path path;
  path.reserve(points.size());
  for (const auto& p : points) {
    const auto q = ToInt(p);
    if (path.empty() || path.back() != q) path.push_back(q);
  }
  return path;
}

// On/off lengths of a dash style in multiples of the pen width.
std::vector<double> DashPattern(DashStyle style) {
  switch (style) {
    case DashStyleDash: return {3, 1};
    case DashStyleDot: return {1, 1};
    case DashStyleDashDot: return {3, 1, 1, 1};
    case DashStyleDashDotDot: return {3, 1, 1, 1, 1, 1};
    default: return {};
  }
}

// Cuts a polyline into its dashes; the pattern starts afresh at every figure.
void SplitDashes(const detail::Polyline& figure, const std::vector<double>& pattern, double unit,
                 std::vector<std::vector<detail::Pt>>& dashes) {
  std::vector<detail::Pt> points = figure.points;
  if (figure.closed && !points.empty()) points.push_back(points.front());
  std::size_t slot = 0;
  double left = pattern[0] * unit;  // what remains of the current dash or gap
  bool on = true;
  std::vector<detail::Pt> current;
  if (!points.empty()) current.push_back(points.front());
  for (std::size_t i = 1; i < points.size(); ++i) {
    detail::Pt a = points[i - 1];
    const detail::Pt b = points[i];
    double length = std::hypot(b.x - a.x, b.y - a.y);
    // Bounded work even for absurd lengths: at most this many dashes per segment.
    if (length / (unit * 2) > 1e6) length = unit * 2e6;
    while (length > 0) {
      const double step = std::min(left, length);
      const double t = step / length;
      const detail::Pt m{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
      if (on) current.push_back(m);
      a = m;
      length -= step;
      left -= step;
      if (left <= 1e-9) {
        if (on && current.size() >= 2) dashes.push_back(std::move(current));
        current.clear();
        on = !on;
        slot = (slot + 1) % pattern.size();
        left = pattern[slot] * unit;
        if (on) current.push_back(a);
      }
    }
  }
  if (on && current.size() >= 2) dashes.push_back(std::move(current));
}

// The outline of one straight dash with flat ends: a rectangle, in the orientation Clipper
// gives its own outlines, so that the non-zero fill of overlapping pieces is their union.
ClipperLib::Path DashRectangle(const detail::Pt& a, const detail::Pt& b, double halfWidth) {
  const double length = std::hypot(b.x - a.x, b.y - a.y);
  if (!(length > 0)) return {};
  const double nx = -(b.y - a.y) / length * halfWidth, ny = (b.x - a.x) / length * halfWidth;
  ClipperLib::Path rect = {ToInt({a.x + nx, a.y + ny}), ToInt({b.x + nx, b.y + ny}), ToInt({b.x - nx, b.y - ny}),
                           ToInt({a.x - nx, a.y - ny})};
  if (!ClipperLib::Orientation(rect)) ClipperLib::ReversePath(rect);
  return rect;
}

ClipperLib::JoinType JoinOf(const Pen& pen) {
  switch (pen.GetLineJoin()) {
    case LineJoinBevel: return ClipperLib::jtSquare;
    case LineJoinRound: return ClipperLib::jtRound;
    default: return ClipperLib::jtMiter;
  }
}

ClipperLib::EndType OpenEndOf(LineCap cap) {
  switch (cap) {
    case LineCapSquare: return ClipperLib::etOpenSquare;
    case LineCapRound: return ClipperLib::etOpenRound;
    default: return ClipperLib::etOpenButt;
  }
}

}  // namespace

Status GraphicsPath::Widen(const Pen* pen, const Matrix* matrix, REAL flatness) {
  if (pen == nullptr || points_.size() < 2) return Remember(InvalidParameter);
  const double tolerance = flatness > 0.1f ? static_cast<double>(flatness) : 0.1;
  const auto figures = detail::FlattenFigures(points_, types_, matrix, tolerance);

  // A zero-width pen strokes one pixel, as when drawing.
  const double width = pen->GetWidth() > 0 ? pen->GetWidth() : 1.0;
  const std::vector<double> pattern = DashPattern(pen->GetDashStyle());
  const double dashUnit = std::max(width, 1.0);
  const bool inset = pen->GetAlignment() == PenAlignmentInset;

  ClipperLib::ClipperOffset centred(pen->GetMiterLimit(), 0.1 * kScale);
  ClipperLib::ClipperOffset insetBand(pen->GetMiterLimit(), 0.1 * kScale);
  ClipperLib::Paths closedFigures;
  // Straight dashes are built directly: offsetting hundreds of tiny pieces and merging them
  // costs far more than the rectangles they are.
  ClipperLib::Paths centredDashes, insetDashes;
  bool anyInset = false;
  const auto join = JoinOf(*pen);
  const auto openEnd = OpenEndOf(pen->GetStartCap());

  for (const auto& figure : figures) {
    if (figure.points.size() < 2) continue;
    // An inset pen keeps the stroke of a closed figure inside the figure: a band twice as
    // wide, cut to the path's fill below.
    const bool insetFigure = inset && figure.closed;
    ClipperLib::ClipperOffset& target = insetFigure ? insetBand : centred;
    if (insetFigure) {
      anyInset = true;
      closedFigures.push_back(ToClipper(figure.points));
    }
    if (pattern.empty()) {
      ClipperLib::Path path = ToClipper(figure.points);
      if (path.size() < 2) continue;
      target.AddPath(path, join, figure.closed ? ClipperLib::etClosedLine : openEnd);
    } else {
      std::vector<std::vector<detail::Pt>> dashes;
      SplitDashes(figure, pattern, dashUnit, dashes);
      for (const auto& dash : dashes) {
        if (dash.size() == 2) {
          ClipperLib::Path rect = DashRectangle(dash[0], dash[1], insetFigure ? width : width / 2);
          if (!rect.empty()) (insetFigure ? insetDashes : centredDashes).push_back(std::move(rect));
          continue;
        }
        ClipperLib::Path path = ToClipper(dash);
        if (path.size() >= 2) target.AddPath(path, join, ClipperLib::etOpenButt);
      }
    }
  }

  ClipperLib::Paths outline;
  centred.Execute(outline, width / 2 * kScale);
  outline.insert(outline.end(), centredDashes.begin(), centredDashes.end());
  if (anyInset) {
    ClipperLib::Paths band;
    insetBand.Execute(band, width * kScale);
    band.insert(band.end(), insetDashes.begin(), insetDashes.end());
    ClipperLib::Clipper clip;
    clip.AddPaths(band, ClipperLib::ptSubject, true);
    clip.AddPaths(closedFigures, ClipperLib::ptClip, true);
    ClipperLib::Paths inside;
    clip.Execute(ClipperLib::ctIntersection, inside, ClipperLib::pftNonZero,
                 fillMode_ == FillModeWinding ? ClipperLib::pftNonZero : ClipperLib::pftEvenOdd);
    if (outline.empty()) {
      outline = std::move(inside);
    } else {
      ClipperLib::Clipper merge;
      merge.AddPaths(outline, ClipperLib::ptSubject, true);
      merge.AddPaths(inside, ClipperLib::ptClip, true);
      outline.clear();
      merge.Execute(ClipperLib::ctUnion, outline, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
    }
  }

  points_.clear();
  types_.clear();
  for (const auto& polygon : outline) {
    if (polygon.size() < 3) continue;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
      points_.emplace_back(static_cast<REAL>(polygon[i].X / kScale), static_cast<REAL>(polygon[i].Y / kScale));
      types_.push_back(i == 0 ? PathPointTypeStart : PathPointTypeLine);
    }
    types_.back() |= PathPointTypeCloseSubpath;
  }
  fillMode_ = FillModeWinding;
  startNewFigure_ = true;
  return Remember(Ok);
}

}  // namespace quillgate::graphics
