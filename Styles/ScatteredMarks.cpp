#include "Styles/ScatteredMarks.h"

#include <vector>

namespace quillgate {

using graphics::PointF;
using graphics::RectF;

namespace {

// The marks of one pen are gathered in batches of this many and drawn by DrawBezierMarks:
// the same pixels as one DrawBezier per mark, at a fraction of the cost.
constexpr std::size_t kMarksPerBatch = 1024;

// Collects Bezier marks (four points each) and hands them to the graphics context in
// batches.
class FigureBatch {
 public:
  FigureBatch(graphics::Graphics& graphics, const graphics::Pen& pen) : graphics_(graphics), pen_(pen) {
    points_.reserve(4 * kMarksPerBatch);
  }
  FigureBatch(const FigureBatch&) = delete;
  FigureBatch& operator=(const FigureBatch&) = delete;
  ~FigureBatch() { Flush(); }

  void AddBezier(const PointF& p1, const PointF& p2, const PointF& p3, const PointF& p4) {
    points_.insert(points_.end(), {p1, p2, p3, p4});
    if (points_.size() == 4 * kMarksPerBatch) Flush();
  }

 private:
  void Flush() {
    if (points_.empty()) return;
    graphics_.DrawBezierMarks(&pen_, points_);
    points_.clear();
  }

  graphics::Graphics& graphics_;
  const graphics::Pen& pen_;
  std::vector<PointF> points_;
};

}  // namespace

void DrawCurls(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const RectF& area, const graphics::SizeF& size, std::int64_t count) {
  FigureBatch batch(graphics, pen);
  for (std::int64_t i = 0; i < count; ++i) {
    const RectF r = randomizer.RandomRectOfSize(area, size);
    PointF p1, p2, p3, p4;
    randomizer.RandomPointsInRect(r, p1, p2, p3, p4);
    batch.AddBezier(p1, p2, p3, p4);
  }
}

void DrawHumps(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const RectF& area, const graphics::SizeF& size, float jitter, std::int64_t count) {
  FigureBatch batch(graphics, pen);
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
