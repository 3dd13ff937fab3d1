#include "Styles/ScatteredMarks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace quillgate {

using graphics::PointF;
using graphics::RectF;

namespace {

// The marks of one pen are gathered in batches and drawn by DrawBezierMarks: the same
// pixels as one DrawBezier per mark, at a fraction of the cost. A batch holds about one
// mark for every 48 pixels of the area, at least 1,024 and at most 65,536 (2 MiB of
// points): the graphics layer draws the marks of a batch that share rows of a large
// picture together, which pays only when they are many for the picture's size.
std::size_t MarksPerBatch(const RectF& area) {
  constexpr double kPixelsPerMark = 48, kLeast = 1024, kMost = 65536;
  const double marks = static_cast<double>(area.Width) * static_cast<double>(area.Height) / kPixelsPerMark;
  return static_cast<std::size_t>(std::isfinite(marks) ? std::clamp(marks, kLeast, kMost) : kLeast);
}

// Collects Bezier marks (four points each) and hands them to the graphics context in
// batches.
class FigureBatch {
 public:
  // Room for `expected` marks, up to a batch.
  FigureBatch(graphics::Graphics& graphics, const graphics::Pen& pen, const RectF& area, std::int64_t expected)
      : graphics_(graphics), pen_(pen), batch_(4 * MarksPerBatch(area)) {
    points_.reserve(std::min(4 * static_cast<std::size_t>(std::max<std::int64_t>(expected, 0)), batch_));
  }
  FigureBatch(const FigureBatch&) = delete;
  FigureBatch& operator=(const FigureBatch&) = delete;
  ~FigureBatch() { Flush(); }

  void AddBezier(const PointF& p1, const PointF& p2, const PointF& p3, const PointF& p4) {
    points_.push_back(p1);
    points_.push_back(p2);
    points_.push_back(p3);
    points_.push_back(p4);
    if (points_.size() == batch_) Flush();
  }

 private:
  void Flush() {
    if (points_.empty()) return;
    graphics_.DrawBezierMarks(&pen_, points_);
    points_.clear();
  }

  graphics::Graphics& graphics_;
  const graphics::Pen& pen_;
  const std::size_t batch_;  // points a batch holds
  std::vector<PointF> points_;
};

}  // namespace

void DrawCurls(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const RectF& area, const graphics::SizeF& size, std::int64_t count) {
  FigureBatch batch(graphics, pen, area, count);
  for (std::int64_t i = 0; i < count; ++i) {
    const RectF r = randomizer.RandomRectOfSize(area, size);
    PointF p1, p2, p3, p4;
    randomizer.RandomPointsInRect(r, p1, p2, p3, p4);
    batch.AddBezier(p1, p2, p3, p4);
  }
}

void DrawHumps(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const RectF& area, const graphics::SizeF& size, float jitter, std::int64_t count) {
  FigureBatch batch(graphics, pen, area, count <= INT64_MAX / 2 ? 2 * count : count);
  for (std::int64_t i = 0; i < count; ++i) {
    const RectF r = randomizer.RandomRectOfSize(area, size);
    const float x = r.X, b = r.GetBottom(), w = r.Width, h = r.Height;
    auto near = [&](float px, float py) { return randomizer.RandomPointNear(PointF(px, py), jitter); };
    // Each point is drawn in turn: the order of the calls is the order of the draws.
    const PointF q0 = near(x, b);
    const PointF q1 = near(x + 0.2f * w, b - 1.1f * h);
    const PointF q2 = near(x + 0.3f * w, b - 1.1f * h);
    const PointF q3 = near(x + 0.5f * w, b);
    const PointF q5 = near(x + 0.7f * w, b - 1.1f * h);
    const PointF q6 = near(x + 0.8f * w, b - 1.1f * h);
    const PointF q7 = near(x + w, b);
    // Two separate strokes: the second arc starts a figure of its own at q3.
    batch.AddBezier(q0, q1, q2, q3);
    batch.AddBezier(q3, q5, q6, q7);
  }
}

void DrawDots(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Brush& brush,
              const RectF& area, std::int32_t side, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) {
    const PointF p = randomizer.RandomPointInRect(area);
    graphics.FillEllipse(&brush, static_cast<graphics::INT>(p.X), static_cast<graphics::INT>(p.Y), side, side);
  }
}

}  // namespace quillgate
