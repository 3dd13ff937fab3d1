#include "Styles/ScatteredMarks.h"

namespace quillgate {

using graphics::PointF;
using graphics::RectF;

void DrawCurls(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const RectF& area, const graphics::SizeF& size, std::int64_t count) {
  for (std::int64_t i = 0; i < count; ++i) {
    const RectF r = randomizer.RandomRectOfSize(area, size);
    PointF p1, p2, p3, p4;
    randomizer.RandomPointsInRect(r, p1, p2, p3, p4);
    graphics.DrawBezier(&pen, p1, p2, p3, p4);
  }
}

void DrawHumps(graphics::Graphics& graphics, const DrawingRandomizer& randomizer, const graphics::Pen& pen,
               const RectF& area, const graphics::SizeF& size, float jitter, std::int64_t count) {
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
    graphics.DrawBezier(&pen, q0, q1, q2, q3);
    graphics.DrawBezier(&pen, q3, q5, q6, q7);
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
