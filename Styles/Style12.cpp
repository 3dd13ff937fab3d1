// Style 12: green curls packed twice as densely into the letters, a thin sprinkle on their
// outlines, and larger green and pale curls scattered over a light-yellow background.
#include "Styles/CurlStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(12) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawCurlStyle(canvas, DrawingRandomizer(),
                {.familyIndex = 12,
                 .fontStyle = graphics::FontStyleBold,
                 .ink = 0xFF008000,         // green
                 .background = 0xFFFFFFE0,  // light yellow
                 .markDivisor = 10.0f,
                 .density = 0.07,
                 .phases = [](std::int64_t count) {
                   return CurlPhases{.insideInk = 2 * count,
                                     .insidePale = count / 10,
                                     .bandInk = count / 10,
                                     .outsideInk = count / 20,
                                     .outsidePale = count / 4,
                                     .outsideInkScale = 2.0f};
                 }});
}

}  // namespace quillgate
