// Separate strokes grouped into runs, one Cairo call each. A run paints what its figures
// painted one by one would only if a figure's boxes hold every pixel its stroke changes, no
// two figures of a run share a pixel, and figures that may share one keep their order.
#include "Platform/Graphics/detail/FigureRuns.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <random>
#include <span>
#include <utility>
#include <vector>

namespace quillgate::graphics::detail {
namespace {

constexpr BYTE kS = PathPointTypeStart, kL = PathPointTypeLine, kB = PathPointTypeBezier;
constexpr BYTE kC = PathPointTypeCloseSubpath;
constexpr int kW = 80, kH = 60;
constexpr RunGrouping kGroupings[] = {RunGrouping::kOneShape, RunGrouping::kOneByOne, RunGrouping::kDisjoint,
                                      RunGrouping::kDisjointAnyOrder};

struct Path {
  std::vector<PointF> points;
  std::vector<BYTE> types;
  Path& Add(std::initializer_list<PointF> figure, BYTE type = kL, bool closed = false) {
    types.push_back(kS);
    points.insert(points.end(), figure);
    types.resize(points.size(), type);
    if (closed) types.back() |= kC;
    return *this;
  }
  [[nodiscard]] FigureRuns Group(const StrokeShape& shape, RunGrouping grouping, std::size_t maxFigures,
                                 double shift = 0) const {
    OverlapLayers layers;
    return GroupFigureRuns(points, types, shape, grouping, maxFigures, shift, nullptr, kW, kH, layers);
  }
};

std::span<const PixelBox> BoxesOf(const FigureRuns& r, std::size_t f) {
  return std::span(r.boxes).subspan(r.figures[f].boxBegin, r.figures[f].boxEnd - r.figures[f].boxBegin);
}

// Whether a box of figure f shares a pixel with `box`.
bool Meets(const FigureRuns& r, std::size_t f, const PixelBox& box) {
  return std::ranges::any_of(BoxesOf(r, f),
                             [&](auto& b) { return b.x0 < box.x1 && box.x0 < b.x1 && b.y0 < box.y1 && box.y0 < b.y1; });
}

TEST(FigureRuns, FiguresEndBeforeTheNextStartOrAfterTheirClose) {
  constexpr BYTE kMarked = kL | PathPointTypePathMarker | PathPointTypeDashMode;
  const struct {
    std::vector<BYTE> types;
    std::vector<std::pair<std::size_t, bool>> ends;  // of each figure, and whether it closes
  } cases[] = {
      {{kS, kL, kL, kS, kL}, {{3, false}, {5, false}}},
      {{kS, kL, kL | kC, kL, kL}, {{3, true}, {5, false}}},  // what follows a close is a figure of its own
      {{kS | kC, kL, kS}, {{1, true}, {2, false}, {3, false}}},
      {{kS, kS, kB, kB, kB | kC}, {{1, false}, {5, true}}},
      {{kS, kMarked, kMarked, kS}, {{3, false}, {4, false}}},  // markers end nothing
  };
  for (const auto& c : cases) {
    std::vector<std::pair<std::size_t, bool>> ends;
    ForEachFigure(c.types, c.types.size(),
                  [&](std::size_t, std::size_t end, bool closed) { ends.emplace_back(end, closed); });
    EXPECT_EQ(ends, c.ends) << "case of " << c.types.size() << " points";
  }
}

// The pixels Cairo changes when it strokes (or, at width 0, fills) a path of one cubic or of
// lines, moved by `shift`, as one-pixel boxes.
std::vector<PixelBox> Painted(const Path& path, const StrokeShape& shape, double shift, cairo_antialias_t antialias) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kW, kH);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, antialias);
  cairo_translate(cr, shift, shift);
  const std::vector<PointF>& p = path.points;
  cairo_move_to(cr, p[0].X, p[0].Y);
  const bool cubic = (path.types[1] & PathPointTypePathTypeMask) == kB;
  if (cubic) cairo_curve_to(cr, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X, p[3].Y);
  for (std::size_t k = 1; k < p.size() && !cubic; ++k) cairo_line_to(cr, p[k].X, p[k].Y);
  if ((path.types.back() & kC) != 0) cairo_close_path(cr);
  cairo_set_line_width(cr, shape.width);
  // Square caps reach furthest; a line of no length shows only with round ones.
  const bool dot = p.size() == 2 && p[0].X == p[1].X && p[0].Y == p[1].Y;
  cairo_set_line_cap(cr, dot ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_SQUARE);
  cairo_set_line_join(cr, shape.miterJoins ? CAIRO_LINE_JOIN_MITER : CAIRO_LINE_JOIN_BEVEL);
  cairo_set_miter_limit(cr, shape.miterLimit);
  shape.width > 0 ? cairo_stroke(cr) : cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  std::vector<PixelBox> painted;
  for (int y = 0; y < kH; ++y) {
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    for (int x = 0; x < kW; ++x) {
      if (row[x] != 0) painted.push_back({x, y, x + 1, y + 1});
    }
  }
  cairo_surface_destroy(surface);
  return painted;
}

TEST(FigureRuns, BoxesHoldEveryPixelThatPaintingTheFigureChanges) {
  const struct {
    const char* name;
    Path path;
    StrokeShape shape;
    double shift;
  } cases[] = {
      {"off the target", Path().Add({{-20, -10}, {90, 70}}), {1, 10, true}, 0.5},
      {"sharp wedge", Path().Add({{20, 40}, {62, 27}, {62, 40}}, kL, true), {3.5, 10, true}, 0},
      {"open v", Path().Add({{4, 4}, {40, 24}, {4, 14}}), {4, 10, true}, 0},
      {"bevelled triangle", Path().Add({{10, 10}, {50, 10}, {50, 50}}, kL, true), {3, 10, false}, 0},
      {"zigzag moved far", Path().Add({{2, 2}, {30, 36}, {34, 2}, {40, 36}, {46, 8}}), {1.5, 4, true}, 9},
      {"s curve", Path().Add({{5, 5}, {80, 5}, {-20, 45}, {60, 44}}, kB), {6, 10, false}, 0.5},
      {"loop", Path().Add({{10, 10}, {70, 44}, {0, 44}, {54, 10}}, kB), {4, 10, true}, 0},
      {"dot", Path().Add({{30.3f, 20.6f}, {30.3f, 20.6f}}), {5, 10, true}, 0.5},
      {"fill", Path().Add({{8, 30}, {90, -10}, {-10, -10}, {50, 56}}, kB, true), {0, 10, true}, 0.5},
  };
  for (const auto& c : cases) {
    const FigureRuns runs = c.path.Group(c.shape, RunGrouping::kOneByOne, 1, c.shift);
    ASSERT_EQ(runs.figures.size(), 1u) << c.name;
    for (const cairo_antialias_t antialias : {CAIRO_ANTIALIAS_DEFAULT, CAIRO_ANTIALIAS_NONE}) {
      const auto painted = Painted(c.path, c.shape, c.shift, antialias);
      EXPECT_GT(painted.size(), 10u) << c.name;
      EXPECT_EQ(std::ranges::count_if(painted, [&](auto& p) { return !Meets(runs, 0, p); }), 0)
          << c.name << " with antialias " << antialias;
    }
  }
}

TEST(FigureRuns, RunsKeepFiguresThatMayShareAPixelApartAndInOrder) {
  // Short strokes and small curves scattered over the target, many across its edges; some
  // with a non-finite point or wholly off the target, which draw nothing.
  std::mt19937 random(11);
  std::uniform_real_distribution<float> x(0, kW), y(0, kH), step(-6, 6);
  Path path;
  std::vector<std::pair<std::size_t, std::size_t>> drawn;  // point ranges of the figures that draw
  for (int k = 0; k < 300; ++k) {
    const std::size_t begin = path.points.size();
    const PointF a{x(random), y(random)}, b{a.X + step(random), a.Y + step(random)};
    if (k % 3 == 0) {
      path.Add({a, b, {a.X + step(random), a.Y + step(random)}, {b.X + step(random), b.Y}}, kB, k % 6 == 0);
    } else {
      path.Add({a, b});
    }
    if (k % 17 == 5) path.points.back().Y = std::numeric_limits<float>::quiet_NaN();
    for (std::size_t i = begin; i < path.points.size() && k % 23 == 7; ++i) path.points[i].X += 3 * kW;
    if (k % 17 != 5 && k % 23 != 7) drawn.emplace_back(begin, path.points.size());
  }
  const StrokeShape pen{2.5, 10, true};
  for (const RunGrouping grouping : kGroupings) {
    for (const std::size_t maxFigures : {std::size_t{3}, std::size_t{1000}}) {
      SCOPED_TRACE(testing::Message() << "grouping " << static_cast<int>(grouping) << ", at most " << maxFigures);
      const FigureRuns runs = path.Group(pen, grouping, maxFigures);
      ASSERT_EQ(runs.figures.size(), drawn.size());
      std::vector<std::size_t> runOf(drawn.size(), runs.runs.size());
      std::size_t aloneRuns = 0;
      for (std::size_t r = 0; r < runs.runs.size(); ++r) {
        EXPECT_TRUE(grouping == RunGrouping::kOneShape || runs.runs[r].figures.size() <= maxFigures) << "run " << r;
        for (const std::size_t f : runs.runs[r].figures) EXPECT_EQ(std::exchange(runOf[f], r), runs.runs.size()) << f;
        aloneRuns += runs.runs[r].alone ? 1 : 0;
      }
      for (std::size_t a = 0; a < drawn.size(); ++a) {
        EXPECT_EQ(std::pair(runs.figures[a].begin, runs.figures[a].end), drawn[a]);
        ASSERT_LT(runOf[a], runs.runs.size()) << "figure " << a << " in no run";
        if (grouping == RunGrouping::kOneShape || grouping == RunGrouping::kOneByOne) {
          EXPECT_EQ(runOf[a], grouping == RunGrouping::kOneShape ? 0 : a);
          continue;
        }
        const FigureRun& run = runs.runs[runOf[a]];
        const bool offTarget = std::ranges::any_of(
            BoxesOf(runs, a), [](auto& b) { return b.x0 < 0 || b.y0 < 0 || b.x1 > kW || b.y1 > kH; });
        EXPECT_TRUE(!offTarget || (run.alone && run.figures.size() == 1)) << "figure " << a << " runs off the target";
        for (std::size_t b = a + 1; b < drawn.size(); ++b) {
          const bool meet = std::ranges::any_of(BoxesOf(runs, b), [&](auto& box) { return Meets(runs, a, box); });
          EXPECT_TRUE(!meet || runOf[a] != runOf[b]) << "figures " << a << " and " << b << " share a pixel in one run";
          EXPECT_TRUE(!meet || grouping != RunGrouping::kDisjoint || runOf[a] < runOf[b])
              << a << " painted after " << b;
        }
      }
      if (grouping == RunGrouping::kDisjoint || grouping == RunGrouping::kDisjointAnyOrder) {
        EXPECT_LT(3 * (runs.runs.size() - aloneRuns), 2 * (drawn.size() - aloneRuns)) << "runs hold too few figures";
      }
    }
  }
}

}  // namespace
}  // namespace quillgate::graphics::detail
