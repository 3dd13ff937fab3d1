// Style 41: the bold code stretched onto a random rectangle, blue on light yellow, cut inside
// the letters by thin light-yellow lines and by fine rings of whole-pixel circles.
#include "Styles/CrossedLetters.h"
#include "Styles/Rings.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleRegistry.h"

#include <vector>

namespace quillgate {

QUILLGATE_STYLE(41) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;
  // The lines' draws follow the font's; the text path made here takes none.
  const StretchedText text = MakeStretchedText(canvas, randomizer, canvas.Full(),
                                               canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), 41, graphics::FontStyleBold);
  std::vector<LineRecord> lines;
  MakeCrossingLines(*bitmap, 3.6f, lines);

  const graphics::Color blue(0xFF0000FF);
  const graphics::Color lightYellow(0xFFFFFFE0);
  constexpr float kRingWidth = 0.5f;
  const graphics::PointF centre = randomizer.RandomPointInRect(text.rect);
  constexpr float kRingStep = 5.0f;
  DrawLettersCrossedByLines(graphics, text.path, lines,
                            {.background = lightYellow, .letters = blue, .lines = lightYellow, .lineWidth = 1.0f,
                             .clipToLetters = true});
  // One pen serves every ring: they are all of the same colour and width.
  const graphics::Pen ringPen(lightYellow, kRingWidth);
  DrawRings(graphics, centre, kRingStep, ringPen, canvas.Full(), RingRectangle::kWholePixels);
  graphics.ResetClip();
}

}  // namespace quillgate
