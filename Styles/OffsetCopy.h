#pragma once
// Styles 26 and 27: the letters, a copy of them shifted down and right by 4 % of the image
// size, and the overlap of the two painted in the background colour, so the code shows as
// two interlocking, partly cancelled copies.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <cstdint>
#include <functional>

namespace quillgate {

struct OffsetCopyColors {
  graphics::Color letters;
  graphics::Color copy;
  graphics::Color background;
};

// Text rectangle between (0, 0, 0.9 W, 0.9 H) and (0.2 W, 0.2 H, 0.6 W, 0.6 H) (4 draws),
// bold family RandomFontFamily(familyArgument) (1 draw), then the colours from `pickColors`
// (whatever it draws), then the drawing, which draws nothing.
void DrawOffsetCopy(StyleCanvas& canvas, const DrawingRandomizer& randomizer, std::int32_t familyArgument,
                    const std::function<OffsetCopyColors()>& pickColors);

}  // namespace quillgate
