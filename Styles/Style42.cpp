// Style 42: letters made only of thick line pieces in random light-to-mid colours on white:
// many long random lines, each in its own colour, drawn only inside the stretched code.
#include "Styles/CrossedLetters.h"
#include "Styles/StretchedText.h"
#include "Styles/StyleRegistry.h"

#include <vector>

namespace quillgate {

QUILLGATE_STYLE(42) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  // The text rectangle keeps a 5 % margin from the border. The lines' draws follow the
  // font's; the text path made here takes none.
  const StretchedText text =
      MakeStretchedText(canvas, randomizer, canvas.Fraction(0.05f, 0.05f, 0.9f, 0.9f),
                        canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), 42, graphics::FontStyleBold);
  std::vector<LineRecord> lines;
  MakeCrossingLines(*bitmap, 42.1f, lines, LineColouring::kRandomLight);

  DrawLettersCrossedByLines(canvas.Graphics(), text.path, lines,
                            {.background = graphics::Color(0xFFFFFFFF),
                             .letters = std::nullopt,
                             .lines = std::nullopt,
                             .lineWidth = 5.0f,
                             .clipToLetters = true});
  canvas.Graphics().ResetClip();
}

}  // namespace quillgate
