// Style 17: hollow black letters (a 2-pixel band inside each outline) in one row on white,
// each pushed into its neighbour by a random amount.
#include "Styles/PlacedLetters.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(17) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawOverlappingLetters(canvas, DrawingRandomizer(), {.familyArgument = 17, .outlineWidth = 2.0f});
}

}  // namespace quillgate
