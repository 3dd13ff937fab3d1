// Style 11: orange-red curls packed into the letters and into the band along their
// outlines, on silver, with a few orange and silver curls scattered over everything.
#include "Styles/CurlStyle.h"
#include "Styles/StyleRegistry.h"

namespace quillgate {

QUILLGATE_STYLE(11) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  DrawCurlStyle(canvas, DrawingRandomizer(),
                {.familyIndex = 11,
                 .fontStyle = graphics::FontStyleRegular,
                 .ink = 0xFFFF4500,         // orange red
                 .background = 0xFFC0C0C0,  // silver
                 .markDivisor = 30.0f,
                 .density = 0.2,
                 .phases = [](std::int64_t count) {
                   return CurlPhases{.insideInk = count,
                                     .insidePale = count / 10,
                                     .bandInk = count,
                                     .outsideInk = count / 10,
                                     .outsidePale = count / 2,
                                     .outsideInkScale = 1.0f};
                 }});
}

}  // namespace quillgate
