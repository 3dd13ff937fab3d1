#include "Styles/DotNoise.h"

#include <cstdint>

namespace quillgate {

void DrawDotNoise(graphics::Graphics& graphics, const DrawingRandomizer& randomizer,
                  const graphics::RectF& full, const graphics::Brush& brush) {
  const auto count = static_cast<std::int64_t>(static_cast<double>(full.Width) *
                                               static_cast<double>(full.Height) * 0.5);
  for (std::int64_t i = 0; i < count; ++i) {
    const graphics::PointF p = randomizer.RandomPointInRect(full);
    graphics.FillEllipse(&brush, p.X, p.Y, 1.0f, 1.0f);
  }
}

}  // namespace quillgate
