#pragma once
// The clips of the styles that reveal the code only through what they draw: inside the
// letters, outside them, or on the band along their outlines. No random draws.

#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

// Clip to the text path (CombineModeReplace).
void ClipToInside(graphics::Graphics& graphics, const graphics::GraphicsPath& textPath);

// Remove the clip, then exclude the text path from it: the clip is everything outside the
// letters.
void ClipToOutside(graphics::Graphics& graphics, const graphics::GraphicsPath& textPath);

// Remove the clip; widen the text path in place with a pen of `bandWidth` (no matrix,
// flatness 0.25), so that it now holds the band along every outline; clip to that band.
// A path that cannot be widened (no outline at all) keeps its shape and clips to it.
void ClipToOutlineBand(graphics::Graphics& graphics, graphics::GraphicsPath& textPath, float bandWidth);

}  // namespace quillgate
