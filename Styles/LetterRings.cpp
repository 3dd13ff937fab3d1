#include "Styles/LetterRings.h"

#include "Styles/Rings.h"

namespace quillgate {

void DrawRingsInsideAndOutside(graphics::Graphics& graphics, const graphics::GraphicsPath& letters,
                               const graphics::PointF& centre, const LetterRingsLook& look,
                               const graphics::RectF& bounds) {
  graphics.SetClip(&letters, graphics::CombineModeReplace);
  if (look.insideBackground) graphics.Clear(*look.insideBackground);
  const graphics::Pen insidePen(look.insideColor, look.insideWidth);
  DrawRings(graphics, centre, look.step, insidePen, bounds);
  graphics.ResetClip();

  graphics.SetClip(&letters, graphics::CombineModeExclude);
  const graphics::Pen outsidePen(look.outsideColor, look.outsideWidth);
  DrawRings(graphics, centre, look.step, outsidePen, bounds);
  graphics.ResetClip();
}

}  // namespace quillgate
