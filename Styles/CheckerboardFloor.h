#pragma once
// A checkerboard seen in steep perspective, laid under the letters like a floor seen from
// above, with the letters' colour inverted on every black square (styles 9 and 35). The
// styles differ only in how they make the letters' outline; the board, its random corners
// and the inverting fills are the same.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"

#include <cstdint>

namespace quillgate {

// max(3, trunc(H / 20)) rows and max(3, trunc(W / 20)) columns: 3 x 12 for 250 x 50.
struct CheckerCounts {
  std::int32_t rows;
  std::int32_t columns;
};
[[nodiscard]] CheckerCounts CheckerCountsFor(const graphics::SizeF& size);

// The board of `size` cut into rows x columns equal cells, column by column: cell (i, j)
// goes to `odd` when i + j is odd and to `even` otherwise, each cell its own closed figure.
void BuildCheckerPaths(const graphics::SizeF& size, std::int32_t rows, std::int32_t columns,
                       graphics::GraphicsPath& even, graphics::GraphicsPath& odd);

// Where the board's corners land: upper left, upper right, lower left, lower right. The top
// edge runs a little beyond both sides of the image, the bottom edge far beyond them.
struct FloorCorners {
  graphics::PointF points[4];
};
// The x of each corner in the order upper left, upper right, lower left, lower right:
// 4 draws.
[[nodiscard]] FloorCorners RandomFloorCorners(const DrawingRandomizer& randomizer,
                                              const graphics::SizeF& size);

// Draws the random corners (4 draws), then paints the whole image pixel-aligned: even cells
// black, odd cells white, and the letters black on the white cells and white on the black
// ones.
void DrawInvertingCheckerboard(graphics::Graphics& graphics, const DrawingRandomizer& randomizer,
                               const graphics::SizeF& size, const graphics::GraphicsPath& letters);

}  // namespace quillgate
