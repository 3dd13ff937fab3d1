#pragma once
// The opening of the styles that stretch the code, unwarped, onto a random rectangle: the
// text rectangle, a font of em size 200 and the text as one path whose bounds are exactly
// that rectangle (the letters lose their aspect ratio and touch all four sides).

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <cstdint>

namespace quillgate {

struct StretchedText {
  graphics::RectF rect;
  graphics::Font font;
  graphics::GraphicsPath path;  // winding fill mode
};

// Text rectangle = RandomRectBetween(outer, inner) (4 draws); font = RandomFontFamily(
// familyIndex) (1 draw), em size 200 points, `fontStyle`; path = a new path with the code
// stretched onto the rectangle by FitTextPathToRect. The path takes no random values, so a
// style whose next draws come between the font and the path may make it here all the same.
// A code without outline (empty, spaces only) gives an empty path.
[[nodiscard]] StretchedText MakeStretchedText(const StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                                              const graphics::RectF& outer, const graphics::RectF& inner,
                                              std::int32_t familyIndex, graphics::INT fontStyle);

}  // namespace quillgate
