#include "Styles/StretchedText.h"

#include "Drawing/TextPath.h"

#include <utility>

namespace quillgate {

StretchedText MakeStretchedText(const StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                                const graphics::RectF& outer, const graphics::RectF& inner,
                                std::int32_t familyIndex, graphics::INT fontStyle) {
  const graphics::RectF rect = RandomTextRect(randomizer, outer, inner);
  graphics::Font font = RandomPathFont(randomizer, familyIndex, fontStyle);
  graphics::GraphicsPath path(graphics::FillModeAlternate);
  FitTextPathToRect(canvas.Text(), font, rect, path);
  return {rect, std::move(font), std::move(path)};
}

}  // namespace quillgate
