// Style 28: the stretched letters redrawn strip by strip on a light random background, every
// other strip grown by a random jitter, in a new dark colour every 30 strips: thickened,
// colour-banded letters with ragged edges.
#include "Styles/ScanMosaic.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(28) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  // The growth scales with the image's area: 0.375 to 1.125 pixels for 250 x 50.
  const float k = canvas.Width() * canvas.Height() * 3e-05f;
  const float least = 1.0f * k;
  const float most = 3.0f * k;
  constexpr float kVerticalJitter = 2.5f;

  DrawScanMosaic(
      canvas, randomizer,
      {.outer = {0.1f, 0.1f, 0.8f, 0.8f}, .inner = {0.2f, 0.2f, 0.7f, 0.7f}, .familyArgument = 28, .colorPeriod = 30},
      {.paintBackground =
           [&](graphics::Graphics& graphics) {
             graphics.Clear(randomizer.RandomColorInRange(200, 255, 200, 255, 200, 255));
           },
       .newStripColor = [&] { return randomizer.RandomColorInRange(0, 200, 0, 200, 0, 200); },
       .growth =
           [&](std::int32_t strip) {
             if (strip % 2 != 0) return StripGrowth{0, 0};  // odd strips keep their size
             const float dy = randomizer.RandomFloat(kVerticalJitter * least, kVerticalJitter * most);
             const float dx = randomizer.RandomFloat(least, most);
             return StripGrowth{dx, dy};
           }});
}

}  // namespace quillgate
