// Style 40: the bold code stretched onto a random rectangle, red on green, each letter cut by
// green stripes where long random lines cross it.
#include "Styles/CrossedLetters.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleRegistry.h"

#include <vector>

namespace quillgate {

QUILLGATE_STYLE(40) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  // The lines' draws follow the font's; the text path made here takes none.
  const StretchedText text = MakeStretchedText(canvas, randomizer, canvas.Full(),
                                               canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), 40, graphics::FontStyleBold);
  std::vector<LineRecord> lines;
  MakeCrossingLines(*bitmap, 2.1f, lines);

  const graphics::Color red(0xFFFF0000);
  const graphics::Color green(0xFF008000);
  DrawLettersCrossedByLines(canvas.Graphics(), text.path, lines,
                            {.background = green,
                             .letters = red,
                             .lines = green,
                             .lineWidth = 2.5f,
                             .clipToLetters = true});
  canvas.Graphics().ResetClip();
}

}  // namespace quillgate
