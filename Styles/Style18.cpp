// Style 18: the drawing of style 17 (hollow overlapping letters); only the argument of the
// font family draw differs, and it picks from the same five families.
#include "Styles/PlacedLetters.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(18) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawOverlappingLetters(canvas, DrawingRandomizer(), {.familyArgument = 18, .outlineWidth = 2.0f});
}

}  // namespace quillgate
