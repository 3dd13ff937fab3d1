#pragma once
// Light-grey confetti on a background colour: the speckled backgrounds, spots and text of
// the fitted-string styles (small or large confetti, on white, dark grey or black).

#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

// A two-colour hatch: light grey (FFD3D3D3) specks in `hatch`'s pattern on `background`.
[[nodiscard]] graphics::HatchBrush ConfettiPaint(graphics::HatchStyle hatch, const graphics::Color& background);

}  // namespace quillgate
