#include "Platform/Graphics/Gdiplus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace quillgate::graphics {
namespace {

using testing::Canvas;
using testing::PixelAt;

constexpr ARGB kFore = 0xFF102030;
constexpr ARGB kBack = 0xFFE0D0C0;

bool Foreground(const BYTE rows[8], int x, int y) {
  return (rows[((y % 8) + 8) % 8] & (0x80 >> (((x % 8) + 8) % 8))) != 0;
}

TEST(HatchPatterns, FillIsAnchoredAtTheDeviceOriginAndNotSmoothed) {
  for (HatchStyle style : {HatchStyleSmallConfetti, HatchStyleLargeConfetti, HatchStyle50Percent}) {
    Canvas canvas(40, 30);
    const Bitmap& bitmap = canvas.bitmap;
    const HatchBrush brush(style, Color(kFore), Color(kBack));
    // A rectangle that does not start on a multiple of 8, with fractional edges.
    ASSERT_EQ(canvas.g.FillRectangle(&brush, RectF(3.4f, 5.6f, 30.0f, 20.0f)), Ok);
    BYTE rows[8];
    ASSERT_TRUE(HatchBrush::PatternRows(style, rows));
    for (int y = 7; y < 25; ++y) {
      for (int x = 4; x < 33; ++x) {
        EXPECT_EQ(PixelAt(bitmap, x, y), Foreground(rows, x, y) ? kFore : kBack) << style << " " << x << "," << y;
      }
    }
    // No half-covered edge pixels: every pixel is one of the colours or untouched.
    for (std::uint32_t p : bitmap.CopyArgb()) EXPECT_TRUE(p == 0 || p == kFore || p == kBack);
  }
}

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
