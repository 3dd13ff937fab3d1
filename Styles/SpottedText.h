#pragma once
// Styles 45, 48 and 49: the bold code stretched onto a random rectangle and filled, then
// small spots scattered over the text rectangle, as blobs in the text colour or as holes in
// the background colour. The members differ only in the row below.

#include "Platform/Graphics/Gdiplus.h"
#include "Styles/Spots.h"
#include "Styles/StyleHelpers.h"

#include <cstdint>
#include <optional>

namespace quillgate {

struct SpottedTextRow {
  std::int32_t familyIndex;
  // Text and background: both fixed, or (when `fixedText` is empty) a random dark text
  // colour RandomColorInRange(0, 100) on every channel (3 draws) on its inverse.
  std::optional<graphics::Color> fixedText;
  graphics::Color fixedBackground;
  bool spotsInTextColor;  // blobs; otherwise holes in the background colour
  float spotCountFactor;  // n = trunc(factor x ln(W x H))
  SpotShape spotShape;
};

// Random draws: the text rectangle (4), the font family (1), the colour (3) when random,
// then the spots (see DrawSpots).
void DrawSpottedText(StyleCanvas& canvas, const SpottedTextRow& row);

}  // namespace quillgate
