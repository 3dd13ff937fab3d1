#pragma once
// Styles 46 and 47: the bold code warped between the envelope curves and filled in a dark
// colour on its light inverse; inside the letters, and only there, light lines and rings
// cross them. The two differ only in where the dark colour comes from.

#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <cstdint>
#include <optional>

namespace quillgate {

// Random draws, in order: the text rectangle (4), the font family (1), the crossing lines
// (4 each, density 3.0), the dark colour (3) unless `fixedDark` gives it, the ring centre (2).
// The clip to the letters stays set to the end.
void DrawWarpedLettersWithLinesAndRings(StyleCanvas& canvas, const graphics::Bitmap& bitmap,
                                        std::int32_t familyArgument,
                                        const std::optional<graphics::Color>& fixedDark);

}  // namespace quillgate
