// Style 25: the code stretched over a random rectangle and shown only by thin rings of one
// random colour clipped to the letters, on white.
#include "Styles/Rings.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(25) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;

  const StretchedText text = MakeStretchedText(canvas, randomizer, canvas.Full(),
                                               canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), 25,
                                               graphics::FontStyleRegular);
  constexpr float kRingStep = 3.0f;
  const graphics::Color ringColor = randomizer.RandomColorInRange(1, 180, 1, 180, 1, 180);
  graphics.Clear(graphics::Color(0xFFFFFFFF));
  const graphics::PointF centre = randomizer.RandomPointInRect(text.rect);

  graphics.SetClip(&text.path, graphics::CombineModeReplace);
  const graphics::Pen ringPen(ringColor, 1.0f);
  DrawRings(graphics, centre, kRingStep, ringPen, canvas.Full());
  graphics.ResetClip();
}

}  // namespace quillgate
