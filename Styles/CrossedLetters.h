#pragma once
// Letters crossed by the long random lines of CrossingLines.h (styles 40 to 43, 46, 47): the
// image is cleared to a background, the letters filled, and the lines drawn either only
// inside the letters (they cut stripes out of them) or across the whole image.

#include "Platform/Graphics/Gdiplus.h"
#include "Styles/CrossingLines.h"

#include <optional>
#include <span>

namespace quillgate {

struct CrossedLettersLook {
  graphics::Color background;             // the whole bitmap is cleared with it
  std::optional<graphics::Color> letters;  // the letters' fill; empty: not filled
  std::optional<graphics::Color> lines;    // the lines' pen colour; empty: each record's own
  float lineWidth;
  bool clipToLetters;  // false: the lines cross the whole image
};

// Clears with the background, fills `letters`, clips to the region of `letters` (intersected
// with the current clip) when the look says so, and draws every line with a new pen. The
// clip is left set, so that more can be drawn inside the letters; the caller resets it.
void DrawLettersCrossedByLines(graphics::Graphics& graphics, const graphics::GraphicsPath& letters,
                               std::span<const LineRecord> lines, const CrossedLettersLook& look);

}  // namespace quillgate
