#include "Styles/CrossingLines.h"

#include "Styles/AreaCount.h"

#include <cstdint>

namespace quillgate {

void MakeCrossingLines(const graphics::Bitmap& bitmap, float density, std::vector<LineRecord>& lines,
                       LineColouring colouring) {
  const auto width = static_cast<float>(bitmap.GetWidth());
  const auto height = static_cast<float>(bitmap.GetHeight());
  const DrawingRandomizer randomizer;
  const std::int32_t count = CountForArea(density, width, height);
  const graphics::RectF topBand(0, 0, width, 0.1f * height);
  const graphics::RectF bottomBand(0, 0.9f * height, width, 0.1f * height);
  lines.reserve(lines.size() + static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    graphics::Color color(0xFFFFFFFF);
    if (colouring == LineColouring::kRandomLight) color = randomizer.RandomColorInRange(50, 255, 50, 255, 50, 255);
    const graphics::PointF start = randomizer.RandomPointInRect(bottomBand);
    const graphics::PointF end = randomizer.RandomPointInRect(topBand);
    lines.push_back({color, start, end});
  }
}

void DrawCrossingLines(graphics::Graphics& graphics, std::span<const LineRecord> lines,
                       const std::optional<graphics::Color>& color, float width) {
  for (const LineRecord& line : lines) {
    const graphics::Pen pen(color.value_or(line.color), width);
    graphics.DrawLine(&pen, line.start, line.end);
  }
}

}  // namespace quillgate
