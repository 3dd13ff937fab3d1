#pragma once
// Anti-aliased fills of small ellipses with exact coverage: every pixel gets the fraction
// of its area that the ellipse really covers. Noise and stipple styles scatter thousands of
// specks of a pixel or two; Cairo's 4 x 4 sampling of their flattened outline lays down too
// little ink (about 0.50 pixel for a 1 x 1 dot whose area is 0.785) and lopsidedly, so that
// noise looks thin and uneven. Exact areas are also symmetric: a mirrored ellipse paints the
// mirrored pixels, bit for bit.
//
// Opaque solid specks are blended straight into the pixels (CoverageBlend.h: no path, no
// Cairo fill, a fraction of a microsecond each); anything else goes through Cairo as a
// coverage mask.

#include <array>
#include <cstdint>

namespace quillgate::graphics::detail {

// Largest side, in pixels, drawn with exact coverage. Beyond it Cairo's own smoothing of the
// outline is close enough to the true area and the shape is no longer a speck.
inline constexpr double kSmallEllipseLimit = 16.0;

// Whether (x, y, width, height) is a small ellipse: finite, both sides in (0, limit], and
// within the coordinate range that pixel arithmetic handles. NaN fails every comparison.
[[nodiscard]] bool IsSmallEllipse(double x, double y, double width, double height);

// Coverage of a small ellipse, cut to a target of targetWidth x targetHeight pixels: alpha
// 0..255 per pixel of the rectangle (x, y, width, height), row by row.
struct EllipseCoverage {
  static constexpr int kMaxSide = 18;  // a side of 16 starting mid-pixel spans 17 pixels
  int x = 0, y = 0, width = 0, height = 0;
  std::array<std::uint8_t, kMaxSide * kMaxSide> alpha;  // only the first width x height are set

  [[nodiscard]] bool Empty() const { return width <= 0 || height <= 0; }
  [[nodiscard]] std::uint8_t At(int column, int row) const { return alpha[row * width + column]; }
};
[[nodiscard]] EllipseCoverage SmallEllipseCoverage(double x, double y, double width, double height,
                                                   int targetWidth, int targetHeight);

}  // namespace quillgate::graphics::detail
