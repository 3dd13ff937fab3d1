#pragma once
// The grey spots of style 4: small ellipses of light-grey confetti on dark grey, scattered at
// random over the image, one for every 30 pixels. Their size grows with the image (up to a
// fiftieth of its larger side); below 50 pixels they are all of size 0 and show nothing.

#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

// trunc(W x H / 30.0) spots, each x = RandomInt(W), y = RandomInt(H), w = RandomInt(m / 50),
// h = RandomInt(m / 50) with m = max(W, H): 4 draws per spot. Each fills the ellipse with
// integer bounds (x, y, w, h).
void DrawGreySpots(graphics::Graphics& graphics, int width, int height);

}  // namespace quillgate
