#include "Styles/StyleHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillgate {
namespace {

class FitFontSizeTest : public ::testing::Test {
 protected:
  static float Width(const graphics::Graphics& g, std::u16string_view text,
                     const graphics::FontFamily& family, float size) {
    const graphics::Font font(&family, size, graphics::FontStyleBold, graphics::UnitPoint);
    graphics::RectF box;
    g.MeasureString(text, &font, graphics::PointF(0, 0), nullptr, &box);
    return box.Width;
  }

  graphics::Bitmap bitmap{10, 10};
  graphics::Graphics graphics{&bitmap};
  const graphics::FontFamily family{u"Arial"};
};

TEST_F(FitFontSizeTest, TakesTheLargestSizeBelowTheStartThatFits) {
  const FittedFont fitted = FitFontSize(graphics, u"K7XW2", family, 60, graphics::FontStyleBold, 150);
  const float size = fitted.font.GetSize();
  EXPECT_LT(size, 59);
  EXPECT_EQ(size, std::floor(size)) << "whole steps of one point from 60";
  EXPECT_LE(fitted.measured.Width, 150);
  EXPECT_EQ(fitted.measured.Width, Width(graphics, u"K7XW2", family, size));
  EXPECT_GT(Width(graphics, u"K7XW2", family, size + 1), 150) << "one point more would not fit";
  EXPECT_EQ(fitted.format.GetAlignment(), graphics::StringAlignmentCenter);
  EXPECT_EQ(fitted.format.GetLineAlignment(), graphics::StringAlignmentCenter);
}

TEST_F(FitFontSizeTest, OneCharacterThatFitsStopsAfterTheFirstPass) {
  const FittedFont fitted = FitFontSize(graphics, u"A", family, 20, graphics::FontStyleBold, 250,
                                        graphics::StringAlignmentNear, graphics::StringAlignmentFar);
  EXPECT_EQ(fitted.font.GetSize(), 19);
  EXPECT_EQ(fitted.format.GetAlignment(), graphics::StringAlignmentNear);
  EXPECT_EQ(fitted.format.GetLineAlignment(), graphics::StringAlignmentFar);
}

TEST_F(FitFontSizeTest, WidthThatNothingFitsEndsTheSearch) {
  const FittedFont fitted = FitFontSize(graphics, u"WWWW", family, 40, graphics::FontStyleRegular, -5);
  EXPECT_LE(fitted.font.GetSize(), 1);
}

TEST(InverseColorTest, ComplementsEachChannelOpaque) {
  EXPECT_EQ(InverseColor(graphics::Color(0x80102030)), graphics::Color(0xFFEFDFCF));
}

}  // namespace
}  // namespace quillgate
