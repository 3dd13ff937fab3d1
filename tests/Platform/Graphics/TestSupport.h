#pragma once
// Small helpers shared by the graphics tests: pixel masks, region listings and canvases.

#include "Platform/Graphics/Gdiplus.h"

#include <string>
#include <vector>

namespace quillgate::graphics::testing {

// Which pixels are at least half opaque, row by row.
inline std::vector<std::vector<bool>> AlphaMask(const Bitmap& bitmap) {
  const int w = static_cast<int>(bitmap.GetWidth()), h = static_cast<int>(bitmap.GetHeight());
  const std::vector<std::uint32_t> pixels = bitmap.CopyArgb();
  std::vector<std::vector<bool>> mask(static_cast<std::size_t>(h), std::vector<bool>(static_cast<std::size_t>(w)));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      mask[y][x] = static_cast<int>(pixels[static_cast<std::size_t>(y * w + x)] >> 24) >= 128;
    }
  }
  return mask;
}

inline int CountSet(const std::vector<std::vector<bool>>& mask) {
  int n = 0;
  for (const auto& row : mask) {
    for (bool b : row) n += b ? 1 : 0;
  }
  return n;
}

// Pixels set in `a` but not in `b`, ignoring those within `tolerance` pixels of a set pixel of b.
inline int CountOutside(const std::vector<std::vector<bool>>& a, const std::vector<std::vector<bool>>& b,
                        int tolerance) {
  const int h = static_cast<int>(a.size());
  const int w = h > 0 ? static_cast<int>(a[0].size()) : 0;
  int n = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!a[y][x]) continue;
      bool near = false;
      for (int dy = -tolerance; dy <= tolerance && !near; ++dy) {
        for (int dx = -tolerance; dx <= tolerance && !near; ++dx) {
          const int yy = y + dy, xx = x + dx;
          near = yy >= 0 && yy < h && xx >= 0 && xx < w && b[yy][xx];
        }
      }
      if (!near) ++n;
    }
  }
  return n;
}

// A bitmap and a context drawing on it, smoothed unless told otherwise.
struct Canvas {
  Canvas(int width, int height, SmoothingMode mode = SmoothingModeAntiAlias)
      : bitmap(width, height), g(&bitmap) {
    g.SetSmoothingMode(mode);
  }
  Bitmap bitmap;
  Graphics g;
};

inline ARGB PixelAt(const Bitmap& bitmap, int x, int y) {
  Color c;
  bitmap.GetPixel(x, y, &c);
  return c.GetValue();
}

}  // namespace quillgate::graphics::testing
