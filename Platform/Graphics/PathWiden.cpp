// GraphicsPath::Widen: the outline of a stroke, built by offsetting the flattened figures
// with Clipper. Kept apart from the rest of the path code because it is the one place that
// needs the polygon library.

#include "Platform/Graphics/GraphicsPath.h"

#include "Platform/Graphics/Pen.h"
#include "Platform/Graphics/detail/Geometry.h"
#include "Platform/Graphics/detail/Widening.h"

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

// The pieces of a large outline, each clean (its non-zero fill is what it covers), so that
// the non-zero fill of all of them together is their union without computing it.
struct Pieces {
  ClipperLib::Paths paths;
  std::vector<ClipperLib::IntRect> bounds;  // of each path

  void Add(ClipperLib::Paths&& more) {
    for (ClipperLib::Path& path : more) {
      if (path.empty()) continue;
      ClipperLib::IntRect box{path[0].X, path[0].Y, path[0].X, path[0].Y};
      for (const ClipperLib::IntPoint& p : path) {
        box.left = std::min(box.left, p.X), box.right = std::max(box.right, p.X);
        box.top = std::min(box.top, p.Y), box.bottom = std::max(box.bottom, p.Y);
      }
      bounds.push_back(box);
      paths.push_back(std::move(path));
    }
  }
};

// Offsets one path on its own and adds its outline to the pieces.
void AddOffset(Pieces& pieces, const ClipperLib::Path& path, ClipperLib::JoinType join, ClipperLib::EndType end,
               double miterLimit, double delta) {
  ClipperLib::ClipperOffset offset(miterLimit, 0.1 * kScale);
  offset.AddPath(path, join, end);
  ClipperLib::Paths outline;
  offset.Execute(outline, delta);
  pieces.Add(std::move(outline));
}

// The band's pieces cut to the inside of the closed figures (filled with `figureFill`), in
// vertical tiles: each tile's cut sees only the edges that cross it. The tiles' results
// touch only along the tiles' edges, so together they fill what one cut would.
ClipperLib::Paths CutToFiguresByTiles(const Pieces& band, const Pieces& figures, ClipperLib::PolyFillType figureFill,
                                      std::size_t points) {
  ClipperLib::Paths inside;
  if (band.paths.empty() || figures.paths.empty()) return inside;
  ClipperLib::cInt left = band.bounds[0].left, right = band.bounds[0].right;
  ClipperLib::cInt top = band.bounds[0].top, bottom = band.bounds[0].bottom;
  for (const ClipperLib::IntRect& b : band.bounds) {
    left = std::min(left, b.left), right = std::max(right, b.right);
    top = std::min(top, b.top), bottom = std::max(bottom, b.bottom);
  }
  // About three hundred points a tile, each tile at least a pixel wide; every piece is
  // listed under each tile it reaches. (Narrower tiles, or tiles cut into rows too, cost
  // more than they save.)
  const auto tiles = static_cast<ClipperLib::cInt>(points / 300 + 1);
  const ClipperLib::cInt step = std::max<ClipperLib::cInt>((right - left) / tiles + 1, static_cast<ClipperLib::cInt>(kScale));
  const auto count = static_cast<std::size_t>((right - left) / step + 1);
  const auto listByTile = [&](const Pieces& pieces) {
    std::vector<std::vector<const ClipperLib::Path*>> byTile(count);
    for (std::size_t i = 0; i < pieces.paths.size(); ++i) {
      const ClipperLib::IntRect& b = pieces.bounds[i];
      if (b.right < left || b.left > right) continue;
      const auto first = static_cast<std::size_t>((std::max(b.left, left) - left) / step);
      const auto last = static_cast<std::size_t>((std::min(b.right, right) - left) / step);
      for (std::size_t t = first; t <= last; ++t) byTile[t].push_back(&pieces.paths[i]);
    }
    return byTile;
  };
  const auto bandByTile = listByTile(band), figuresByTile = listByTile(figures);
  for (std::size_t t = 0; t < count; ++t) {
    if (bandByTile[t].empty() || figuresByTile[t].empty()) continue;
    const ClipperLib::cInt x0 = left + static_cast<ClipperLib::cInt>(t) * step, x1 = x0 + step;
    const ClipperLib::Path tile = {{x0, top - 1}, {x1, top - 1}, {x1, bottom + 1}, {x0, bottom + 1}};
    ClipperLib::Clipper cutFigures;
    for (const ClipperLib::Path* path : figuresByTile[t]) cutFigures.AddPath(*path, ClipperLib::ptSubject, true);
    cutFigures.AddPath(tile, ClipperLib::ptClip, true);
    ClipperLib::Paths figuresHere;
    cutFigures.Execute(ClipperLib::ctIntersection, figuresHere, figureFill, ClipperLib::pftNonZero);
    if (figuresHere.empty()) continue;
    ClipperLib::Clipper cutBand;
    for (const ClipperLib::Path* path : bandByTile[t]) cutBand.AddPath(*path, ClipperLib::ptSubject, true);
    cutBand.AddPaths(figuresHere, ClipperLib::ptClip, true);
    ClipperLib::Paths bandHere;
    cutBand.Execute(ClipperLib::ctIntersection, bandHere, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
    inside.insert(inside.end(), std::make_move_iterator(bandHere.begin()), std::make_move_iterator(bandHere.end()));
  }
  return inside;
}

}  // namespace

namespace detail {

void WidenOutline(std::span<const PointF> pathPoints, std::span<const BYTE> pathTypes, FillMode fillMode,
                  const Pen* pen, const Matrix* matrix, REAL flatness, std::size_t piecewiseAbove,
                  std::vector<PointF>& outlinePoints, std::vector<BYTE>& outlineTypes) {
  const double tolerance = flatness > 0.1f ? static_cast<double>(flatness) : 0.1;
  const auto figures = FlattenFigures(pathPoints, pathTypes, matrix, tolerance);

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

  std::size_t points = 0;
  for (const auto& figure : figures) points += figure.points.size();
  const bool piecewise = points > piecewiseAbove;
  // Piecewise, every path is offset on its own into these instead of the two offsets above.
  Pieces centredPieces, bandPieces, figurePieces;
  const auto offsetPath = [&](ClipperLib::ClipperOffset& shared, bool insetFigure, const ClipperLib::Path& path,
                              ClipperLib::EndType end) {
    if (!piecewise) {
      shared.AddPath(path, join, end);
    } else if (insetFigure) {
      AddOffset(bandPieces, path, join, end, pen->GetMiterLimit(), width * kScale);
    } else {
      AddOffset(centredPieces, path, join, end, pen->GetMiterLimit(), width / 2 * kScale);
    }
  };

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
      offsetPath(target, insetFigure, path, figure.closed ? ClipperLib::etClosedLine : openEnd);
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
        if (path.size() >= 2) offsetPath(target, insetFigure, path, ClipperLib::etOpenButt);
      }
    }
  }

  ClipperLib::Paths outline;
  if (piecewise) {
    outline = std::move(centredPieces.paths);
    outline.insert(outline.end(), centredDashes.begin(), centredDashes.end());
    if (anyInset) {
      bandPieces.Add(std::move(insetDashes));
      figurePieces.Add(std::move(closedFigures));
      ClipperLib::Paths inside = CutToFiguresByTiles(
          bandPieces, figurePieces, fillMode == FillModeWinding ? ClipperLib::pftNonZero : ClipperLib::pftEvenOdd, points);
      outline.insert(outline.end(), std::make_move_iterator(inside.begin()), std::make_move_iterator(inside.end()));
    }
  } else {
    centred.Execute(outline, width / 2 * kScale);
    outline.insert(outline.end(), centredDashes.begin(), centredDashes.end());
  }
  if (anyInset && !piecewise) {
    ClipperLib::Paths band;
    insetBand.Execute(band, width * kScale);
    band.insert(band.end(), insetDashes.begin(), insetDashes.end());
    ClipperLib::Clipper clip;
    clip.AddPaths(band, ClipperLib::ptSubject, true);
    clip.AddPaths(closedFigures, ClipperLib::ptClip, true);
    ClipperLib::Paths inside;
    clip.Execute(ClipperLib::ctIntersection, inside, ClipperLib::pftNonZero,
                 fillMode == FillModeWinding ? ClipperLib::pftNonZero : ClipperLib::pftEvenOdd);
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

  outlinePoints.clear();
  outlineTypes.clear();
  for (const auto& polygon : outline) {
    if (polygon.size() < 3) continue;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
      outlinePoints.emplace_back(static_cast<REAL>(polygon[i].X / kScale), static_cast<REAL>(polygon[i].Y / kScale));
      outlineTypes.push_back(i == 0 ? PathPointTypeStart : PathPointTypeLine);
    }
    outlineTypes.back() |= PathPointTypeCloseSubpath;
  }
}

}  // namespace detail

Status GraphicsPath::Widen(const Pen* pen, const Matrix* matrix, REAL flatness) {
  if (pen == nullptr || points_.size() < 2) return Remember(InvalidParameter);
  std::vector<PointF> points;
  std::vector<BYTE> types;
  detail::WidenOutline(points_, types_, fillMode_, pen, matrix, flatness, detail::kPiecewiseWideningPoints, points,
                       types);
  points_ = std::move(points);
  types_ = std::move(types);
  fillMode_ = FillModeWinding;
  startNewFigure_ = true;
  return Remember(Ok);
}

}  // namespace quillgate::graphics
