#include "Styles/StretchedText.h"

#include "Drawing/TextPath.h"

namespace quillgate {

StretchedText OpenStretchedText(const StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                                const graphics::RectF& outer, const graphics::RectF& inner,
                                std::int32_t familyArgument, graphics::INT fontStyle) {
  StretchedText text{RandomTextRect(randomizer, outer, inner), graphics::GraphicsPath(graphics::FillModeAlternate)};
  const graphics::Font font = RandomPathFont(randomizer, familyArgument, fontStyle);
  FitTextPathToRect(canvas.Text(), font, text.rect, text.path);
  return text;
}

}  // namespace quillgate
