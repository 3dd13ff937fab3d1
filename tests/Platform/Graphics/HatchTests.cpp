// How the patterns fill (anchored at the device origin, never smoothed) is pinned by the
// pictures of the styles that paint with them: the confetti of styles 3, 4 and 6 and of the
// grey spots, the half tone of style 5.
// Here: the hatch styles that have no pattern.
#include "Platform/Graphics/Gdiplus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace quillgate::graphics {
namespace {

using testing::PixelAt;

constexpr ARGB kFore = 0xFF102030;
constexpr ARGB kBack = 0xFFE0D0C0;

TEST(HatchPatterns, StylesWithoutAPatternSayNotImplementedAndPaintNothing) {
  const HatchBrush brush(HatchStyle30Percent, Color(kFore), Color(kBack));
  EXPECT_EQ(brush.GetLastStatus(), NotImplemented);
  Bitmap bitmap(8, 8);
  Graphics g(&bitmap);
  EXPECT_EQ(g.FillRectangle(&brush, 0, 0, 8, 8), NotImplemented);
  EXPECT_EQ(PixelAt(bitmap, 3, 3), 0u);
  EXPECT_EQ(HatchBrush(static_cast<HatchStyle>(99), Color(kFore)).GetLastStatus(), InvalidParameter);
}

}  // namespace
}  // namespace quillgate::graphics
