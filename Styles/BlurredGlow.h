#pragma once
// A soft glow around letters (styles 19 and 36): the letters are painted red on black into a
// bitmap a fraction of the image's size, and that small bitmap is blown up over the whole
// image with bilinear interpolation, so the blocky red copy comes out blurred. The style
// then lays its sharp letters on top.

#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

// Paints the glow of `letters` (a path in image coordinates) over the whole image of `size`
// through a bitmap of trunc(W x scale) x trunc(H x scale) pixels, drawn with the small
// bitmap's default settings (no smoothing): cleared black, the letters outlined with a red
// one-pixel pen and filled red. Leaves `graphics` anti-aliased with high-quality bilinear
// interpolation. An image too small for a bitmap of at least one pixel gets no glow.
void DrawBlurredGlow(graphics::Graphics& graphics, const graphics::SizeF& size,
                     const graphics::GraphicsPath& letters, float scale);

}  // namespace quillgate
