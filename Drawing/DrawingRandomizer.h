#pragma once
// Random drawing values for the text styles: positions, rectangles, colours, characters and
// font families, all built from RandomInt so that every style shares one granularity and a
// given state of the random source yields one fixed image. The number and order of draws of
// each operation are fixed (listed beside each one) because they decide that image.

#include "Platform/Graphics/GraphicsTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillgate {

class DrawingRandomizer {
 public:
  using PointF = graphics::PointF;
  using SizeF = graphics::SizeF;
  using RectF = graphics::RectF;
  using Color = graphics::Color;

  // One of 10000 evenly spaced values from minimum (included) towards maximum (excluded
  // unless equal to minimum); reversed bounds run downwards. 1 draw.
  [[nodiscard]] float RandomFloat(float minimum, float maximum) const;
  // minimum + RandomInt(maximum - minimum): [minimum, maximum) for maximum > minimum,
  // minimum when equal, [maximum + 1, minimum] when reversed. 1 draw.
  [[nodiscard]] std::int32_t RandomInteger(std::int32_t minimum, std::int32_t maximum) const;

  // y first, then x. 2 draws.
  [[nodiscard]] PointF RandomPointInRect(const RectF& rect) const;
  // A point in the square of side `size` centred on `centre`. 2 draws.
  [[nodiscard]] PointF RandomPointNear(const PointF& centre, float size) const;
  // Four independent points, p1 first. 8 draws.
  void RandomPointsInRect(const RectF& rect, PointF& p1, PointF& p2, PointF& p3, PointF& p4) const;

  // A rectangle containing `inner` and lying inside `outer` (when inner lies inside outer):
  // top, left, right, bottom in that order. 4 draws.
  [[nodiscard]] RectF RandomRectBetween(const RectF& outer, const RectF& inner) const;
  // A rectangle of `size` placed at random inside `area` (when it fits). 2 draws.
  [[nodiscard]] RectF RandomRectOfSize(const RectF& area, const SizeF& size) const;

  // Appends `count` running totals of random steps to `list` (not cleared first).
  // `count` draws, none for count <= 0.
  void RandomCumulativeSteps(float minimumStep, float maximumStep, std::int32_t count,
                             std::vector<float>& list) const;

  // Opaque; channels drawn blue, green, red, each in 0..255. 3 draws.
  [[nodiscard]] Color RandomColor() const;
  // Opaque; blue in [bMin, bMax), then green, then red; each kept to its low 8 bits. 3 draws.
  [[nodiscard]] Color RandomColorInRange(std::int32_t redMinimum, std::int32_t redMaximum,
                                         std::int32_t greenMinimum, std::int32_t greenMaximum,
                                         std::int32_t blueMinimum, std::int32_t blueMaximum) const;

  // One of "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" (no zero). 1 draw.
  [[nodiscard]] char RandomCharacter() const;
  // A family name from the list of `styleIndex`: "Times New Roman" alone for style 7, five
  // common families for every other index. Always 1 draw, even from the one-entry list.
  [[nodiscard]] std::u16string RandomFontFamily(std::int32_t styleIndex) const;
  // "Times New Roman". No draw.
  [[nodiscard]] std::u16string DefaultFontFamily() const;
};

}  // namespace quillgate
