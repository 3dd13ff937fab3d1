#pragma once
// The noise layer of styles 38 and 39: W x H / 2 soft green specks scattered over the image
// before the text is drawn.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

// trunc(W x H x 0.5) dots, each a 1 x 1 anti-aliased ellipse at RandomPointInRect(full):
// 2 draws per dot.
void DrawDotNoise(graphics::Graphics& graphics, const DrawingRandomizer& randomizer,
                  const graphics::RectF& full, const graphics::Brush& brush);

}  // namespace quillgate
