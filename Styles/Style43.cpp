// Style 43: the bold code stretched onto a random rectangle in a random dark colour on its
// light inverse, cut by long lines of the background colour drawn across the whole image:
// they vanish against the background and show only where they cross the letters.
#include "Styles/CrossedLetters.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleRegistry.h"

#include <vector>

namespace quillgate {

QUILLGATE_STYLE(43) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  // The lines' draws follow the font's; the text path made here takes none.
  const StretchedText text = MakeStretchedText(canvas, randomizer, canvas.Full(),
                                               canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), 43, graphics::FontStyleBold);
  std::vector<LineRecord> lines;
  MakeCrossingLines(*bitmap, 1.1f, lines);

  const graphics::Color dark = randomizer.RandomColorInRange(0, 100, 0, 100, 0, 100);
  const graphics::Color light = InverseColor(dark);
  DrawLettersCrossedByLines(canvas.Graphics(), text.path, lines,
                            {.background = light,
                             .letters = dark,
                             .lines = light,
                             .lineWidth = 3.1f,
                             .clipToLetters = false});
}

}  // namespace quillgate
