#include "Styles/Spots.h"

#include "Styles/AreaCount.h"

#include <cstdint>

namespace quillgate {

void DrawSpots(StyleCanvas& canvas, const DrawingRandomizer& randomizer, const graphics::RectF& area,
               float countFactor, SpotShape shape, const graphics::Color& color) {
  const std::int32_t count = CountForArea(countFactor, canvas.Width(), canvas.Height());
  const std::int32_t sizeLimit = CountForArea(0.8f, canvas.Width(), canvas.Height());
  for (std::int32_t i = 0; i < count; ++i) {
    const graphics::PointF p = randomizer.RandomPointInRect(area);
    const std::int32_t width = randomizer.RandomInteger(0, sizeLimit);
    const std::int32_t height = shape == SpotShape::kOval ? randomizer.RandomInteger(0, sizeLimit) : width;
    const graphics::SolidBrush brush(color);
    canvas.Graphics().FillEllipse(&brush, static_cast<graphics::INT>(p.X), static_cast<graphics::INT>(p.Y),
                                  width, height);
  }
}

}  // namespace quillgate
