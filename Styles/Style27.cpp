// Style 27: style 26 in random colours: letters of a random colour c, the shifted copy in c
// made 1.5 times brighter, the overlap in the background, which is 256 minus c per channel.
#include "Styles/OffsetCopy.h"
#include "Styles/StyleRegistry.h"

#include <cstdint>

namespace quillgate {

QUILLGATE_STYLE(27) {
  StyleCanvas canvas(code, *bitmap, graphics::SmoothingModeAntiAlias);
  const DrawingRandomizer randomizer;
  DrawOffsetCopy(canvas, randomizer, 27, [&randomizer] {
    constexpr double kBrighter = 1.5;
    // The largest channel that stays a byte once made brighter, with room to spare: 136.
    constexpr auto kLimit = static_cast<std::int32_t>(256 / kBrighter * 0.8);
    const graphics::Color letters = randomizer.RandomColorInRange(1, kLimit, 1, kLimit, 1, kLimit);
    const auto brighter = [&](graphics::BYTE channel) {
      return static_cast<graphics::BYTE>(channel * kBrighter);
    };
    // 256 minus the channel: never 255 minus (a channel of at least 1 keeps it a byte).
    const auto opposite = [](graphics::BYTE channel) { return static_cast<graphics::BYTE>(256 - channel); };
    return OffsetCopyColors{
        .letters = letters,
        .copy = graphics::Color(brighter(letters.GetR()), brighter(letters.GetG()), brighter(letters.GetB())),
        .background = graphics::Color(opposite(letters.GetR()), opposite(letters.GetG()), opposite(letters.GetB()))};
  });
}

}  // namespace quillgate
