#include "Styles/PixelCloud.h"

#include "CommonUtilities/RandomSource.h"

#include <cstddef>
#include <vector>

namespace quillgate {

void DrawPixelCloud(graphics::Bitmap& bitmap, std::int64_t count) {
  const auto width = static_cast<std::int32_t>(bitmap.GetWidth());
  const auto height = static_cast<std::int32_t>(bitmap.GetHeight());
  // The pixels as straight ARGB and back: exact for every pixel, opaque or not.
  std::vector<std::uint32_t> pixels = bitmap.CopyArgb();
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int32_t y = RandomInt(height);
    const std::int32_t x = RandomInt(width);
    if (x < 0 || y < 0 || x >= width || y >= height) continue;  // an empty bitmap: nothing to paint
    pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
        graphics::Color::Black;
  }
  bitmap.WriteArgb(graphics::ArgbView{width, height, pixels});
}

}  // namespace quillgate
