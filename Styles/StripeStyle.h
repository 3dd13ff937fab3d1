#pragma once
// The stripe styles (20, 21): stripes drawn 4 pixels wide through the letters and 1 pixel
// wide around them, on white.

#include "Styles/StripeLines.h"
#include "Styles/StyleHelpers.h"

namespace quillgate {

// Random draws: the text rectangle (4), MakeStripeLines, the font family (1).
void DrawStripeStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer, std::int32_t familyIndex,
                     StripeColors colors);

}  // namespace quillgate
