#pragma once
// The ray styles (22, 23): the letters filled with rays of one colour that all leave one
// random point inside the text rectangle; nothing is drawn outside the letters.

#include "Styles/StyleHelpers.h"

#include <optional>

namespace quillgate {

inline constexpr float kRayLength = 888.0f;

// Rays from `centre`, 888 pixels long, at angles 0, step, 2 step, ... below 6.28318 with
// step = 0.9 x 1000 / (W x H) radians: more rays on small images, fewer on large ones.
void DrawSunburst(graphics::Graphics& graphics, const graphics::PointF& centre, float width, float height,
                  const graphics::Pen& pen);

// How a ray style takes its colours.
struct RayColors {
  // Without a range: red rays on green yellow. With one: the rays take a random colour of
  // the range (3 draws, right after the font family) and the background its inverse.
  std::optional<std::int32_t> darkRangeEnd;
};

// Random draws: the text rectangle (4), the font family (1), the ray colour (3, only with a
// range), the centre (2).
void DrawRayStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer, std::int32_t familyIndex,
                  const RayColors& colors);

}  // namespace quillgate
