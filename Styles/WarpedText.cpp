#include "Styles/WarpedText.h"

#include <utility>

namespace quillgate {

WarpedText MakeWarpedText(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                          const graphics::RectF& inner, std::int32_t familyArgument,
                          graphics::INT fontStyle) {
  const graphics::RectF rect = RandomTextRect(randomizer, canvas.Full(), inner);
  graphics::Font font = RandomPathFont(randomizer, familyArgument, fontStyle);
  TextEnvelope envelope = BuiltInEnvelope();
  auto path = envelope.CreateWarpedPath(canvas.Graphics(), rect, canvas.Text(), font);
  return {rect, std::move(font), std::move(path)};
}

}  // namespace quillgate
