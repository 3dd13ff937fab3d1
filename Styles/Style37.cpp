// Style 37: the bold code warped between the envelope curves, shown only by concentric rings:
// black rings on grey inside the letters, white rings outside on the bitmap as it was handed
// over (never cleared there).
#include "Styles/LetterRings.h"
#include "Styles/StyleRegistry.h"
#include "Styles/WarpedText.h"

namespace quillgate {

QUILLGATE_STYLE(37) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  const WarpedText text =
      MakeWarpedText(canvas, randomizer, canvas.Fraction(0.10f, 0.10f, 0.75f, 0.70f), 37, graphics::FontStyleBold);

  const graphics::PointF centre = randomizer.RandomPointInRect(text.rect);
  DrawRingsInsideAndOutside(canvas.Graphics(), *text.path, centre,
                            {.step = 4.0f,
                             .insideColor = graphics::Color(0xFF000000),
                             .insideWidth = 3.0f,
                             .outsideColor = graphics::Color(0xFFFFFFFF),
                             .outsideWidth = 2.0f,
                             .insideBackground = graphics::Color(0xFF808080)},
                            canvas.Full());
}

}  // namespace quillgate
