// Style 34: the code warped between the envelope curves, shown only by concentric rings on
// white: thick dark rings inside the letters, thin rings in the light inverse colour outside.
#include "Styles/LetterRings.h"
#include "Styles/StyleRegistry.h"
#include "Styles/WarpedText.h"

namespace quillgate {

QUILLGATE_STYLE(34) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;
  const WarpedText text =
      MakeWarpedText(canvas, randomizer, canvas.Fraction(0.10f, 0.10f, 0.75f, 0.70f), 34, graphics::FontStyleRegular);

  const graphics::Color dark = randomizer.RandomColorInRange(0, 120, 0, 120, 0, 120);
  const graphics::Color light = InverseColor(dark);
  graphics.Clear(graphics::Color(0xFFFFFFFF));
  const graphics::PointF centre = randomizer.RandomPointInRect(text.rect);
  DrawRingsInsideAndOutside(graphics, *text.path, centre,
                            {.step = 3.0f,
                             .insideColor = dark,
                             .insideWidth = 2.0f,
                             .outsideColor = light,
                             .outsideWidth = 1.0f,
                             .insideBackground = std::nullopt},
                            canvas.Full());
}

}  // namespace quillgate
