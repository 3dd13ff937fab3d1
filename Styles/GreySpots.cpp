#include "Styles/GreySpots.h"

#include "CommonUtilities/RandomSource.h"
#include "Styles/ConfettiPaint.h"

#include <algorithm>
#include <cstdint>

namespace quillgate {

void DrawGreySpots(graphics::Graphics& graphics, int width, int height) {
  const graphics::HatchBrush spotPaint =
      ConfettiPaint(graphics::HatchStyleSmallConfetti, graphics::Color(graphics::Color::DarkGray));
  const int largerSide = std::max(width, height);
  const auto count = static_cast<std::int64_t>(static_cast<double>(width) * static_cast<double>(height) / 30.0);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int32_t x = RandomInt(width);
    const std::int32_t y = RandomInt(height);
    const std::int32_t w = RandomInt(largerSide / 50);
    const std::int32_t h = RandomInt(largerSide / 50);
    graphics.FillEllipse(&spotPaint, x, y, w, h);
  }
}

}  // namespace quillgate
