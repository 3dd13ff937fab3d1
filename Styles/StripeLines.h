#pragma once
// The stripes of styles 20 and 21: about 4.1 ln W vertical and 4.1 ln H horizontal lines at
// jittered, roughly even spacing, each with its own random colour, drawn once thick through
// the letters and once thin around them.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"

#include <vector>

namespace quillgate {

struct Stripe {
  graphics::Color color;
  float position;  // x of a vertical stripe, y of a horizontal one
};

struct StripeLines {
  std::vector<Stripe> horizontal;
  std::vector<Stripe> vertical;
};

// How the stripes are coloured.
enum class StripeColors {
  kOneHue,  // one random draw picks green, blue or red; each stripe a random level of it
  kBright,  // each stripe a random colour with every channel in 50..254
};

// Random draws: the hue (kOneHue only), the vertical positions (one per stripe), the
// horizontal positions, then three per stripe for the vertical colours and three per
// stripe for the horizontal colours. Positions are running totals of steps of 0.7 to 1.3
// times the even spacing, the first one step from the edge; an image of width or height 1
// (ln 1 = 0) has no stripes along that axis.
[[nodiscard]] StripeLines MakeStripeLines(const DrawingRandomizer& randomizer, float width, float height,
                                          StripeColors colors);

// The horizontal stripes across `full`, then the vertical ones, each with a pen of its
// colour and `penWidth`.
void DrawStripeLines(graphics::Graphics& graphics, const StripeLines& lines, const graphics::RectF& full,
                     float penWidth);

}  // namespace quillgate
