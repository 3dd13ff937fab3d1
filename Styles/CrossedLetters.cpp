#include "Styles/CrossedLetters.h"

namespace quillgate {

void DrawLettersCrossedByLines(graphics::Graphics& graphics, const graphics::GraphicsPath& letters,
                               std::span<const LineRecord> lines, const CrossedLettersLook& look) {
  graphics.Clear(look.background);
  if (look.letters) {
    const graphics::SolidBrush brush(*look.letters);
    graphics.FillPath(&brush, &letters);
  }
  if (look.clipToLetters) {
    const graphics::Region region(&letters);
    graphics.SetClip(&region, graphics::CombineModeIntersect);
  }
  DrawCrossingLines(graphics, lines, look.lines, look.lineWidth);
}

}  // namespace quillgate
