#include "Platform/Graphics/detail/Geometry.h"

#include "Platform/Graphics/Matrix.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillgate::graphics::detail {

namespace {

constexpr double kSampleOffset = 0.03;
constexpr int kMaxCurveSegments = 512;

Pt Map(const PointF& p, const Matrix* m) {
  const PointF q = m != nullptr ? m->Apply(p) : p;
  return {static_cast<double>(q.X), static_cast<double>(q.Y)};
}

bool Finite(const Pt& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Walks figures: calls onFigure(first index, end index, closed) for every run that starts
// with a start point. Robust against types that do not describe proper figures.
template <typename F>
void ForEachFigure(std::span<const BYTE> types, F&& onFigure) {
  const std::size_t n = types.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t begin = i;
    ++i;
    bool closed = (types[begin] & PathPointTypeCloseSubpath) != 0;
    while (i < n && !closed && (types[i] & PathPointTypePathTypeMask) != PathPointTypeStart) {
      closed = (types[i] & PathPointTypeCloseSubpath) != 0;
      ++i;
    }
    onFigure(begin, i, closed);
  }
}

void FlattenCubic(const Pt& p0, const Pt& p1, const Pt& p2, const Pt& p3, double tolerance,
                  std::vector<Pt>& out) {
  // Wang's bound: n segments keep the chords within tolerance of the curve.
  const double ddx = std::max(std::fabs(p0.x - 2 * p1.x + p2.x), std::fabs(p1.x - 2 * p2.x + p3.x));
  const double ddy = std::max(std::fabs(p0.y - 2 * p1.y + p2.y), std::fabs(p1.y - 2 * p2.y + p3.y));
  const double dd = std::hypot(ddx, ddy);
  double estimate = std::ceil(std::sqrt(0.75 * dd / tolerance));
  if (!std::isfinite(estimate) || estimate < 1) estimate = 1;
  const int n = static_cast<int>(std::min<double>(estimate, kMaxCurveSegments));
  for (int k = 1; k <= n; ++k) {
    const double t = static_cast<double>(k) / n;
    const double s = 1 - t;
    const double a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
    out.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
  }
}

// Extremes of one cubic coordinate on (0, 1).
void CubicExtremes(double p0, double p1, double p2, double p3, double& lo, double& hi) {
  // Derivative / 3: a t^2 + b t + c.
  const double a = -p0 + 3 * p1 - 3 * p2 + p3;
  const double b = 2 * (p0 - 2 * p1 + p2);
  const double c = p1 - p0;
  auto visit = [&](double t) {
    if (!(t > 0 && t < 1)) return;
    const double s = 1 - t;
    const double v = s * s * s * p0 + 3 * s * s * t * p1 + 3 * s * t * t * p2 + t * t * t * p3;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  };
  if (std::fabs(a) < 1e-12) {
    if (std::fabs(b) > 1e-12) visit(-c / b);
    return;
  }
  const double disc = b * b - 4 * a * c;
  if (disc < 0) return;
  const double r = std::sqrt(disc);
  visit((-b + r) / (2 * a));
  visit((-b - r) / (2 * a));
}

}  // namespace

int SampleEdge(double v) { return static_cast<int>(std::ceil(Clamp(v) - kSampleOffset)); }

std::vector<Polyline> FlattenFigures(std::span<const PointF> points, std::span<const BYTE> types,
                                     const Matrix* matrix, double tolerance) {
  std::vector<Polyline> figures;
  if (!(tolerance >= 0.01)) tolerance = 0.01;
  const std::size_t n = std::min(points.size(), types.size());
  ForEachFigure(types.first(n), [&](std::size_t begin, std::size_t end, bool closed) {
    Polyline line;
    line.closed = closed;
    line.points.reserve(end - begin);
    line.points.push_back(Map(points[begin], matrix));
    std::size_t i = begin + 1;
    while (i < end) {
      const BYTE kind = types[i] & PathPointTypePathTypeMask;
      if (kind == PathPointTypeBezier && i + 2 < end) {
        const Pt p0 = line.points.back();
        FlattenCubic(p0, Map(points[i], matrix), Map(points[i + 1], matrix), Map(points[i + 2], matrix),
                     tolerance, line.points);
        i += 3;
      } else {
        line.points.push_back(Map(points[i], matrix));
        ++i;
      }
    }
    if (!std::all_of(line.points.begin(), line.points.end(), Finite)) return;
    for (Pt& p : line.points) p = {Clamp(p.x), Clamp(p.y)};
    figures.push_back(std::move(line));
  });
  return figures;
}

bool CurveBounds(std::span<const PointF> points, std::span<const BYTE> types, const Matrix* matrix,
                 double& minX, double& minY, double& maxX, double& maxY) {
  const std::size_t n = std::min(points.size(), types.size());
  bool any = false;
  minX = minY = maxX = maxY = 0;
  auto add = [&](const Pt& p) {
    if (!Finite(p)) return;
    if (!any) {
      minX = maxX = p.x;
      minY = maxY = p.y;
      any = true;
      return;
    }
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  };
  ForEachFigure(types.first(n), [&](std::size_t begin, std::size_t end, bool) {
    Pt previous = Map(points[begin], matrix);
    add(previous);
    std::size_t i = begin + 1;
    while (i < end) {
      const BYTE kind = types[i] & PathPointTypePathTypeMask;
      if (kind == PathPointTypeBezier && i + 2 < end) {
        const Pt p1 = Map(points[i], matrix), p2 = Map(points[i + 1], matrix), p3 = Map(points[i + 2], matrix);
        double loX = std::min(previous.x, p3.x), hiX = std::max(previous.x, p3.x);
        double loY = std::min(previous.y, p3.y), hiY = std::max(previous.y, p3.y);
        CubicExtremes(previous.x, p1.x, p2.x, p3.x, loX, hiX);
        CubicExtremes(previous.y, p1.y, p2.y, p3.y, loY, hiY);
        add({loX, loY});
        add({hiX, hiY});
        previous = p3;
        i += 3;
      } else {
        previous = Map(points[i], matrix);
        add(previous);
        ++i;
      }
    }
  });
  return any;
}

namespace {

struct Edge {
  double x0, y0, x1, y1;  // y0 < y1
  int dir;
  int firstRow;  // rows whose sample line crosses the edge: [firstRow, lastRow]
  int lastRow;
};

struct Crossing {
  double x;
  int dir;
};

}  // namespace

void ScanConvert(const std::vector<Polyline>& figures, FillMode fillMode, std::vector<PixelRect>& out,
                 const ScanWindow& window) {
  const auto sampleEdge = [offset = window.sampleOffset](double v) {
    return static_cast<int>(std::ceil(Clamp(v) - offset));
  };
  std::vector<Edge> edges;
  for (const Polyline& figure : figures) {
    const std::size_t n = figure.points.size();
    if (n < 2) continue;
    for (std::size_t i = 0; i < n; ++i) {
      const Pt& a = figure.points[i];
      const Pt& b = figure.points[(i + 1) % n];  // figures are filled as if closed
      if (a.y == b.y) continue;
      Edge e{};
      if (a.y < b.y) {
        e = {a.x, a.y, b.x, b.y, 1, 0, 0};
      } else {
        e = {b.x, b.y, a.x, a.y, -1, 0, 0};
      }
      e.firstRow = std::max(sampleEdge(e.y0), window.firstRow);
      e.lastRow = std::min(sampleEdge(e.y1) - 1, window.lastRow);
      if (e.firstRow > e.lastRow) continue;
      edges.push_back(e);
    }
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.firstRow < r.firstRow; });

  std::vector<const Edge*> active;
  std::vector<Crossing> crossings;
  std::vector<Span> spans, pendingSpans;
  int pendingTop = 0, pendingRows = 0;
  auto flush = [&]() {
    for (const Span& s : pendingSpans) out.push_back({s.x0, pendingTop, s.x1 - s.x0, pendingRows});
    pendingSpans.clear();
    pendingRows = 0;
  };

  std::size_t next = 0;
  int row = edges.front().firstRow;
  while (next < edges.size() || !active.empty()) {
    if (active.empty() && next < edges.size() && edges[next].firstRow > row) {
      flush();
      row = edges[next].firstRow;
    }
    while (next < edges.size() && edges[next].firstRow <= row) active.push_back(&edges[next++]);

    const double sampleY = row + window.sampleOffset;
    crossings.clear();
    for (const Edge* e : active) {
      const double t = (sampleY - e->y0) / (e->y1 - e->y0);
      crossings.push_back({e->x0 + t * (e->x1 - e->x0), e->dir});
    }
    std::sort(crossings.begin(), crossings.end(), [](const Crossing& l, const Crossing& r) { return l.x < r.x; });

    spans.clear();
    int winding = 0;
    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
      winding += crossings[i].dir;
      const bool inside = fillMode == FillModeWinding ? winding != 0 : ((i + 1) % 2) == 1;
      if (!inside) continue;
      const int x0 = sampleEdge(crossings[i].x);
      const int x1 = sampleEdge(crossings[i + 1].x);
      if (x1 <= x0) continue;
      if (!spans.empty() && spans.back().x1 >= x0) {
        spans.back().x1 = std::max(spans.back().x1, x1);
      } else {
        spans.push_back({x0, x1});
      }
    }

    const bool same = pendingRows > 0 && spans.size() == pendingSpans.size() &&
                      std::equal(spans.begin(), spans.end(), pendingSpans.begin(),
                                 [](const Span& l, const Span& r) { return l.x0 == r.x0 && l.x1 == r.x1; });
    if (same) {
      ++pendingRows;
    } else {
      flush();
      if (!spans.empty()) {
        pendingSpans = spans;
        pendingTop = row;
        pendingRows = 1;
      }
    }

    // While only vertical edges are active and none starts or ends, every row repeats this
    // one: skip ahead (rectangles thousands of rows tall cost one row).
    if (pendingRows > 0 || spans.empty()) {
      const bool allVertical =
          std::all_of(active.begin(), active.end(), [](const Edge* e) { return e->x0 == e->x1; });
      if (allVertical && !active.empty()) {
        int event = next < edges.size() ? edges[next].firstRow : std::numeric_limits<int>::max();
        for (const Edge* e : active) event = std::min(event, e->lastRow + 1);
        if (event - 1 > row) {
          if (!spans.empty()) pendingRows += event - 1 - row;
          row = event - 1;
        }
      }
    }

    // Retire edges that end on this row.
    active.erase(std::remove_if(active.begin(), active.end(), [row](const Edge* e) { return e->lastRow <= row; }),
                 active.end());
    ++row;
  }
  flush();
}

bool PointInside(const std::vector<Polyline>& figures, FillMode fillMode, double x, double y) {
  int winding = 0;
  int crossings = 0;
  for (const Polyline& figure : figures) {
    const std::size_t n = figure.points.size();
    if (n < 2) continue;
    for (std::size_t i = 0; i < n; ++i) {
      const Pt& a = figure.points[i];
      const Pt& b = figure.points[(i + 1) % n];
      const bool up = a.y <= y && b.y > y;
      const bool down = b.y <= y && a.y > y;
      if (!up && !down) continue;
      const double t = (y - a.y) / (b.y - a.y);
      const double cx = a.x + t * (b.x - a.x);
      if (cx > x) {
        ++crossings;
        winding += up ? 1 : -1;
      }
    }
  }
  return fillMode == FillModeWinding ? winding != 0 : (crossings % 2) == 1;
}

}  // namespace quillgate::graphics::detail
