#pragma once
// Styles 28 and 29: the stretched letters turned into a region, split into its scan
// rectangles (band by band from the top, left to right within a band), and repainted strip
// by strip, each strip grown and the strip colour changed every few strips.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <cstdint>
#include <functional>

namespace quillgate {

struct StripGrowth {
  float dx;  // added on the left and on the right
  float dy;  // added at the top and at the bottom
};

struct ScanMosaicRow {
  graphics::RectF outer;  // fractions of W and H
  graphics::RectF inner;  // fractions of W and H
  std::int32_t familyArgument;
  std::int32_t colorPeriod;  // a new strip colour at strips 0, period, 2 period, ...
};

struct ScanMosaicSteps {
  // Called once, after the text rectangle and the family, to paint the background.
  std::function<void(graphics::Graphics&)> paintBackground;
  std::function<graphics::Color()> newStripColor;
  std::function<StripGrowth(std::int32_t strip)> growth;
};

void DrawScanMosaic(StyleCanvas& canvas, const DrawingRandomizer& randomizer, const ScanMosaicRow& row,
                    const ScanMosaicSteps& steps);

}  // namespace quillgate
