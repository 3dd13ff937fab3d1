// Style 29: the stretched letters redrawn strip by strip on white, every strip grown by the
// same amount, in a new random colour every 40 strips.
#include "Styles/ScanMosaic.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(29) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;

  // 1.5 pixels on each side for 250 x 50.
  const float grow = 4.0f * (canvas.Width() * canvas.Height() * 3e-05f);

  DrawScanMosaic(
      canvas, randomizer,
      {.outer = {0.1f, 0.1f, 0.8f, 0.8f}, .inner = {0.2f, 0.2f, 0.7f, 0.7f}, .familyArgument = 29, .colorPeriod = 40},
      {.paintBackground = [](graphics::Graphics& graphics) { graphics.Clear(graphics::Color(0xFFFFFFFF)); },
       .newStripColor = [&] { return randomizer.RandomColor(); },
       .growth = [grow](std::int32_t) { return StripGrowth{grow, grow}; }});
}

}  // namespace quillgate
