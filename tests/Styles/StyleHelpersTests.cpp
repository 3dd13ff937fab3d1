// The pieces several styles are built from: the fitted font, rings and stripes. (Crossing
// lines and spots are replayed by the tests of the styles that draw them.)
#include "Drawing/Geometry.h"
#include "StyleDrawing.h"
#include "Styles/Rings.h"
#include "Styles/StripeLines.h"
#include "Styles/StyleHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace quillgate {
namespace {

using graphics::Color;
using graphics::PointF;
using graphics::RectF;

class FitFontSizeTest : public ::testing::Test {
 protected:
  [[nodiscard]] float Width(std::u16string_view text, float size) const {
    const graphics::Font font(&family, size, graphics::FontStyleBold, graphics::UnitPoint);
    graphics::RectF box;
    graphics.MeasureString(text, &font, graphics::PointF(0, 0), nullptr, &box);
    return box.Width;
  }

  graphics::Bitmap bitmap{10, 10};
  graphics::Graphics graphics{&bitmap};
  const graphics::FontFamily family{u"Arial"};
};

TEST_F(FitFontSizeTest, TakesTheLargestSizeBelowTheStartThatFits) {
  const FittedFont fitted =
      FitFontSize(graphics, u"K7XW2", family, 60, graphics::FontStyleBold, 150);
  const float size = fitted.font.GetSize();
  EXPECT_LT(size, 59);
  EXPECT_EQ(size, std::floor(size)) << "whole steps of one point from 60";
  EXPECT_LE(fitted.measured.Width, 150);
  EXPECT_EQ(fitted.measured.Width, Width(u"K7XW2", size));
  EXPECT_GT(Width(u"K7XW2", size + 1), 150) << "one point more would not fit";
}

TEST(InverseColorTest, ComplementsEachChannelOpaque) {
  EXPECT_EQ(InverseColor(Color(0x80102030)), Color(0xFFEFDFCF));
}

TEST(DrawRings, SkippingCirclesThatMissTheBitmapKeepsEveryPixel) {
  const struct {
    PointF centre;
    float step;
    float penWidth;
    RingRectangle rectangle;
  } cases[] = {
      {{0.5f, 39.5f}, 5, 1.5f, RingRectangle::kExact},  // on a corner
      {{-300, 20}, 4, 3, RingRectangle::kExact},  // far outside: only the rings that reach in
      // Whole-pixel rectangles, truncated the same way whether skipped or drawn.
      {{-40.5f, 10.2f}, 5, 0.5f, RingRectangle::kWholePixels},
      {{119.9f, 39.9f}, 5, 0.5f, RingRectangle::kWholePixels},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.centre.X << ", " << c.centre.Y);
    std::vector<std::uint32_t> pictures[2];
    for (const bool skipping : {false, true}) {
      graphics::Bitmap bitmap(120, 40);
      graphics::Graphics graphics(&bitmap);
      graphics.SetSmoothingMode(graphics::SmoothingModeAntiAlias);
      const graphics::Pen pen(Color(0xFF203040), c.penWidth);
      if (skipping) {
        DrawRings(graphics, c.centre, c.step, pen, RectF(0, 0, 120, 40), c.rectangle);
      }
      for (float r = 0; !skipping && r < kRingRadiusLimit; r += c.step) {
        const RectF circle(c.centre.X - r, c.centre.Y - r, 2 * r, 2 * r);
        if (c.rectangle == RingRectangle::kExact) {
          graphics.DrawEllipse(&pen, circle.X, circle.Y, circle.Width, circle.Height);
        } else {
          graphics.DrawEllipse(&pen, ToRect(circle));
        }
      }
      pictures[skipping] = bitmap.CopyArgb();
    }
    EXPECT_EQ(pictures[true], pictures[false]);
    EXPECT_NE(pictures[true], std::vector<std::uint32_t>(120 * 40, 0u)) << "some ring shows";
  }
}

TEST(MakeStripeLines, OneHueOrBrightColoursAtJitteredEvenSpacing) {
  const std::int32_t state = 3030;
  testing::SetRandomState(state);
  // (How many stripes there are is in the draw-count table.)
  const StripeLines one = MakeStripeLines(DrawingRandomizer(), 250, 50, StripeColors::kOneHue);
  // The same single channel carries every stripe, at 100..254.
  std::set<int> channels;
  for (const auto* list : {&one.vertical, &one.horizontal}) {
    for (const Stripe& s : *list) {
      const int values[] = {s.color.GetR(), s.color.GetG(), s.color.GetB()};
      for (int ch = 0; ch < 3; ++ch) {
        if (values[ch] == 0) continue;
        channels.insert(ch);
        EXPECT_TRUE(values[ch] >= 100 && values[ch] <= 254) << values[ch];
      }
    }
  }
  EXPECT_EQ(channels.size(), 1u);
  // Running positions: steps of 0.7 to 1.3 times W / 22.
  float previous = 0;
  for (const Stripe& s : one.vertical) {
    EXPECT_GE(s.position - previous, 0.7f * 250 / 22 - 1e-3f);
    EXPECT_LE(s.position - previous, 1.3f * 250 / 22 + 1e-3f);
    previous = s.position;
  }

  testing::SetRandomState(state);
  const StripeLines bright = MakeStripeLines(DrawingRandomizer(), 250, 50, StripeColors::kBright);
  for (const Stripe& s : bright.horizontal) {
    for (const int v : {s.color.GetR(), s.color.GetG(), s.color.GetB()}) {
      EXPECT_TRUE(v >= 50 && v <= 254) << v;
    }
  }
}

}  // namespace
}  // namespace quillgate
