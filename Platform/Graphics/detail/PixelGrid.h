#pragma once
// Where pixels lie for what is drawn anti-aliased.
//
// The original library's contexts put pixel centres on whole coordinates: pixel (0, 0)
// covers [-0.5, 0.5) each way, so a one-pixel line along x = 3 fills column 3 and nothing
// beside it, and a 1 x 1 dot with its box at whole coordinates sits on a pixel corner and
// shares itself among four pixels. Cairo, and our own rasterisers, put pixel (x, y) at
// [x, x+1) x [y, y+1), centres at x + 0.5. So everything drawn anti-aliased through a pen
// or a brush (shapes, strokes, text) moves half a pixel right and down on its way in.
//
// Aliased drawing, clips and regions keep their own rules (a pixel belongs to a region when
// the point just inside its top-left corner does): there a half-pixel move of a whole shape
// cannot be seen, and how the original treats them is less certain.

namespace quillgate::graphics::detail {

inline constexpr double kSmoothGridShift = 0.5;

// The shift, in pixels each way, for drawing with or without anti-aliasing.
constexpr double GridShift(bool antialiased) { return antialiased ? kSmoothGridShift : 0.0; }

}  // namespace quillgate::graphics::detail
