// Style 16: solid black letters in one row on white, each pushed into its neighbour by a
// random amount.
#include "Styles/PlacedLetters.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(16) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawOverlappingLetters(canvas, DrawingRandomizer(), {.familyArgument = 16, .outlineWidth = 0.0f});
}

}  // namespace quillgate
