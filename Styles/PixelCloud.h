#pragma once
// A cloud of single black pixels at random places, as styles 3 and 6 scatter over their
// confetti background before the text.

#include "Platform/Graphics/Gdiplus.h"

#include <cstdint>

namespace quillgate {

// `count` points, each y = RandomInt(H) and then x = RandomInt(W) (2 draws per point),
// every one painted opaque black. Many points repeat.
//
// Each point stands for a 1 x 1 black bitmap drawn at its natural size; the pixels are
// written in one pass instead, which gives the same pixels (an opaque pixel drawn unscaled
// onto a whole-pixel position replaces the one under it) without a call per point, and
// without keeping the list of points, since nothing else is drawn between the draws and
// the painting.
void DrawPixelCloud(graphics::Bitmap& bitmap, std::int64_t count);

}  // namespace quillgate
