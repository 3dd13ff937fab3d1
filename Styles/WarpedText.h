#pragma once
// The opening of the styles that use the envelope-warped code as a shape to clip or fill
// rather than as an outline to stroke: the text rectangle, the font, and the code bent
// between the built-in envelope curves and fitted into that rectangle, as a path that is not
// drawn.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>

namespace quillgate {

struct WarpedText {
  graphics::RectF rect;
  graphics::Font font;
  boost::shared_ptr<graphics::GraphicsPath> path;  // alternate fill mode; never null
};

// Text rectangle = RandomRectBetween(full, inner) (4 draws); font = RandomFontFamily(
// familyArgument) (1 draw), em size 200 points, `fontStyle`; then the built-in envelope
// (preset 1) and its CreateWarpedPath. The envelope and the path take no random values, so
// a style whose next draws come between the font and the envelope may make them here all
// the same. A code without outline gives an empty path.
[[nodiscard]] WarpedText MakeWarpedText(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                                        const graphics::RectF& inner, std::int32_t familyArgument,
                                        graphics::INT fontStyle);

}  // namespace quillgate
