#pragma once
// The opening of the stretched-text styles: the code laid out as one path and stretched,
// without keeping its proportions, over a random text rectangle.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <cstdint>

namespace quillgate {

struct StretchedText {
  graphics::RectF rect;
  graphics::GraphicsPath path;  // alternate filling, its bounds exactly `rect`
};

// Text rectangle = RandomRectBetween(outer, inner) (4 draws); family =
// RandomFontFamily(familyArgument) (1 draw); the path = FitTextPathToRect of the code in
// that family at em size 200 and `fontStyle`. No other draw.
StretchedText OpenStretchedText(const StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                                const graphics::RectF& outer, const graphics::RectF& inner,
                                std::int32_t familyArgument, graphics::INT fontStyle);

}  // namespace quillgate
