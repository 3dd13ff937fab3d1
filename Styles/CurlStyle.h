#pragma once
// The curl styles (11, 12): curls of one colour packed into the letters and into the band
// along their outlines, a sprinkle of curls of both colours over the whole image, on a
// background of the second colour. The styles differ in colours, mark size, density, font
// weight and how many curls each phase draws.

#include "Styles/StyleHelpers.h"

#include <cstdint>

namespace quillgate {

// How many curls each phase draws, from the style's base count.
struct CurlPhases {
  std::int64_t insideInk;    // colour A, clipped to the letters
  std::int64_t insidePale;   // colour B, clipped to the letters
  std::int64_t bandInk;      // colour A, clipped to the 3-pixel outline band
  std::int64_t outsideInk;   // colour A, anywhere, at outsideInkScale times the mark size
  std::int64_t outsidePale;  // colour B, anywhere, at the plain mark size
  float outsideInkScale;
};

struct CurlStyleSpec {
  std::int32_t familyIndex;
  graphics::INT fontStyle;
  std::uint32_t ink;         // A
  std::uint32_t background;  // B, also the pale curls
  float markDivisor;         // mark size = (W / divisor, H / divisor)
  double density;            // count = trunc(W x H x density)
  CurlPhases (*phases)(std::int64_t count);
};

// Random draws: the text rectangle (4), the font family (1), then 10 per curl, phase by
// phase in the order of CurlPhases.
void DrawCurlStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer, const CurlStyleSpec& spec);

}  // namespace quillgate
