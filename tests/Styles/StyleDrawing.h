#pragma once
// One style's picture drawn from a fixed state of the random source, with the number of
// random values it took: what the style tests look at.

#include "CommonUtilities/RandomSourceTesting.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleRenderer.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillgate::testing {

struct Drawing {
  int width;
  int height;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, row by row
  std::uint64_t draws;

  [[nodiscard]] std::uint32_t Pixel(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  [[nodiscard]] graphics::Color At(int x, int y) const { return graphics::Color(Pixel(x, y)); }
};

inline Drawing Draw(int style, const std::string& code, std::int32_t state, int width = 250, int height = 50) {
  const auto renderer = CreateStyleRenderer(style);
  EXPECT_TRUE(renderer) << "style " << style << " is not drawn";
  const auto bitmap = boost::make_shared<graphics::Bitmap>(width, height);
  SetRandomState(state);
  const std::uint64_t before = RandomDrawCount();
  if (renderer) renderer->Draw(code, bitmap);
  return {width, height, bitmap->CopyArgb(), RandomDrawCount() - before};
}

}  // namespace quillgate::testing
