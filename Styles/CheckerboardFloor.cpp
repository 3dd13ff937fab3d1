#include "Styles/CheckerboardFloor.h"

#include <algorithm>

namespace quillgate {
namespace {

constexpr float kCellSide = 20.0f;
constexpr std::int32_t kMinimumCells = 3;

std::int32_t CellCount(float length) {
  // Truncation toward zero; the comparison also keeps NaN and huge lengths in range.
  const float cells = length / kCellSide;
  if (!(cells >= static_cast<float>(kMinimumCells))) return kMinimumCells;
  return cells >= 1e6f ? 1000000 : static_cast<std::int32_t>(cells);
}

// The board path warped onto the floor, its own bounds taken as the source rectangle.
graphics::GraphicsPath WarpedFloor(const graphics::GraphicsPath& cells, const FloorCorners& corners) {
  graphics::GraphicsPath floor;
  floor.AddPath(&cells, false);
  graphics::RectF source;
  cells.GetBounds(&source);
  const graphics::Matrix identity;
  floor.Warp(corners.points, 4, source, &identity, graphics::WarpModePerspective, 0.25f);
  return floor;
}

}  // namespace

CheckerCounts CheckerCountsFor(const graphics::SizeF& size) {
  return {CellCount(size.Height), CellCount(size.Width)};
}

void BuildCheckerPaths(const graphics::SizeF& size, std::int32_t rows, std::int32_t columns,
                       graphics::GraphicsPath& even, graphics::GraphicsPath& odd) {
  const float cellWidth = size.Width / static_cast<float>(columns);
  const float cellHeight = size.Height / static_cast<float>(rows);
  for (std::int32_t i = 0; i < columns; ++i) {
    for (std::int32_t j = 0; j < rows; ++j) {
      graphics::GraphicsPath& target = (i + j) % 2 != 0 ? odd : even;
      target.StartFigure();
      target.AddRectangle(graphics::RectF(static_cast<float>(i) * cellWidth, static_cast<float>(j) * cellHeight,
                                          cellWidth, cellHeight));
      target.CloseFigure();
    }
  }
}

FloorCorners RandomFloorCorners(const DrawingRandomizer& randomizer, const graphics::SizeF& size) {
  const float w = size.Width;
  const float h = size.Height;
  FloorCorners corners{};
  corners.points[0] = {randomizer.RandomFloat(-0.1f * w, -0.2f * w), 0};
  corners.points[1] = {randomizer.RandomFloat(w + 0.1f * w, w + 0.2f * w), 0};
  corners.points[2] = {randomizer.RandomFloat(-1.0f * w, -1.5f * w), h};
  corners.points[3] = {randomizer.RandomFloat(w + 1.0f * w, w + 1.5f * w), h};
  return corners;
}

void DrawInvertingCheckerboard(graphics::Graphics& graphics, const DrawingRandomizer& randomizer,
                               const graphics::SizeF& size, const graphics::GraphicsPath& letters) {
  const CheckerCounts counts = CheckerCountsFor(size);
  const FloorCorners corners = RandomFloorCorners(randomizer, size);

  graphics::GraphicsPath evenCells;
  graphics::GraphicsPath oddCells;
  BuildCheckerPaths(size, counts.rows, counts.columns, evenCells, oddCells);
  const graphics::GraphicsPath evenFloor = WarpedFloor(evenCells, corners);
  const graphics::GraphicsPath oddFloor = WarpedFloor(oddCells, corners);

  const graphics::Region letterRegion(&letters);
  const graphics::Region evenRegion(&evenFloor);
  const graphics::Region oddRegion(&oddFloor);
  graphics::Region lettersOnEven(&letters);
  lettersOnEven.Combine(&evenRegion, graphics::CombineModeIntersect);

  const graphics::SolidBrush black{graphics::Color(graphics::Color::Black)};
  const graphics::SolidBrush white{graphics::Color(graphics::Color::White)};
  graphics.FillRegion(&black, &evenRegion);
  graphics.FillRegion(&white, &oddRegion);
  graphics.FillRegion(&black, &letterRegion);
  graphics.FillRegion(&white, &lettersOnEven);
}

}  // namespace quillgate
