#pragma once
// Building blocks that many text styles share: the opening of every Draw, the random text
// rectangle and font, and the size-fitted font of the string styles.

#include "Drawing/DrawingRandomizer.h"
#include "Drawing/TextEnvelope.h"
#include "Platform/Graphics/Gdiplus.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillgate {

// The opening of every Draw: the code as wide text (one wide character per character of
// the code), a graphics context on the bitmap with the style's smoothing mode, and the
// bitmap's width W and height H as floats.
class StyleCanvas {
 public:
  StyleCanvas(const std::string& code, graphics::Bitmap& bitmap, graphics::SmoothingMode smoothing);

  [[nodiscard]] const std::u16string& Text() const { return text_; }
  [[nodiscard]] graphics::Graphics& Graphics() { return graphics_; }
  [[nodiscard]] float Width() const { return width_; }
  [[nodiscard]] float Height() const { return height_; }
  // (0, 0, W, H).
  [[nodiscard]] graphics::RectF Full() const { return {0, 0, width_, height_}; }
  // (x W, y H, width W, height H): the styles give rectangles as fractions of the image.
  [[nodiscard]] graphics::RectF Fraction(float x, float y, float width, float height) const;

 private:
  std::u16string text_;
  graphics::Graphics graphics_;
  float width_;
  float height_;
};

// The em size of the fonts whose text becomes a path stretched onto a rectangle: it fixes
// only the outline's resolution, never the size on screen.
inline constexpr float kPathFontEmSize = 200.0f;

// The text rectangle: RandomRectBetween(outer, inner), containing `inner`. 4 draws.
[[nodiscard]] graphics::RectF RandomTextRect(const DrawingRandomizer& randomizer,
                                             const graphics::RectF& outer,
                                             const graphics::RectF& inner);

// A font of em size 200 points in `family` (the generic sans-serif family when that one is
// not installed). No draw.
[[nodiscard]] graphics::Font PathFont(const std::u16string& family, graphics::INT fontStyle);

// PathFont of RandomFontFamily(familyIndex): 1 draw.
[[nodiscard]] graphics::Font RandomPathFont(const DrawingRandomizer& randomizer,
                                            std::int32_t familyIndex, graphics::INT fontStyle);

// The largest font of `family` below `startSize` points, one point at a time, whose
// measured string fits `availableWidth`, with a string format of the given alignments.
struct FittedFont {
  graphics::Font font;
  graphics::StringFormat format;
  graphics::SizeF measured;  // the box of the last measurement
};
// The first size tried is startSize - 1. The search also ends at the smallest size it can
// try (above 0), so a text that never fits ends the loop instead of spinning.
[[nodiscard]] FittedFont FitFontSize(const graphics::Graphics& graphics, std::u16string_view text,
                                     const graphics::FontFamily& family, float startSize,
                                     graphics::INT fontStyle, float availableWidth,
                                     graphics::StringAlignment alignment = graphics::StringAlignmentCenter,
                                     graphics::StringAlignment lineAlignment = graphics::StringAlignmentCenter);

// The code in bold Courier New, fitted to the image's width from `startSize` down, centred
// in the band from 15% of the height (whole pixels) to the bottom, painted with `brush`.
void DrawCourierCodeBelowTop(StyleCanvas& canvas, float startSize, const graphics::Brush& brush);

// The envelope of the built-in curve pair (preset 1), ready to be fitted and drawn.
[[nodiscard]] TextEnvelope BuiltInEnvelope();

// (255 - red, 255 - green, 255 - blue), opaque.
[[nodiscard]] graphics::Color InverseColor(const graphics::Color& color);

}  // namespace quillgate
