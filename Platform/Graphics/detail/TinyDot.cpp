#include "Platform/Graphics/detail/TinyDot.h"

#include <algorithm>
#include <cmath>

namespace quillgate::graphics::detail {

namespace {

// Far enough inside the fixed-point range that float rounding cannot stretch a one-pixel
// ellipse over more than two pixels each way.
constexpr double kTinyLimit = 100000.0;

// A coordinate as the rasteriser sees it: 24.8 fixed point (nearest, ties to even), then
// floored to its 4 x 4 sample grid. In quarter pixels.
std::int64_t Quarter(float v) {
  const auto fixed = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(v) * 256.0));
  return fixed >> 6;  // arithmetic shift: floor
}

// x * a / 255 with the rounding of Cairo's span blender.
std::uint32_t Mul(std::uint32_t x, std::uint32_t a) {
  const std::uint32_t t = x * a + 0x7F;
  return (t + (t >> 8)) >> 8;
}

std::uint32_t Blend(std::uint32_t source, std::uint32_t dest, std::uint32_t alpha) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t v = Mul((source >> shift) & 0xFF, alpha) + Mul((dest >> shift) & 0xFF, 255 - alpha);
    out |= std::min<std::uint32_t>(v, 255) << shift;
  }
  return out;
}

struct QPoint {
  std::int64_t x, y;
};

// x of the edge a-b (b below a) on quarter row y.
double EdgeX(QPoint a, QPoint b, std::int64_t y) {
  return static_cast<double>(a.x) +
         static_cast<double>(b.x - a.x) * static_cast<double>(y - a.y) / static_cast<double>(b.y - a.y);
}

}  // namespace

bool IsTinyEllipse(double x, double y, double width, double height, int targetWidth, int targetHeight) {
  // Written so that NaN, which fails every comparison, is refused.
  return width > 0 && width <= 1 && height > 0 && height <= 1 && x >= 0 && y >= 0 &&
         x + width <= std::min<double>(targetWidth, kTinyLimit) &&
         y + height <= std::min<double>(targetHeight, kTinyLimit);
}

DirtyRect FillTinyEllipse(const PixelTarget& target, float x, float y, float width, float height,
                          std::uint32_t opaqueColor) {
  // The ellipse's points as the path holds them (floats), then on the sample grid.
  const double rx = width / 2.0, ry = height / 2.0;
  const double cx = x + rx, cy = y + ry;
  auto at = [](double px, double py) { return QPoint{Quarter(static_cast<float>(px)), Quarter(static_cast<float>(py))}; };
  const QPoint right = at(cx + rx, cy), bottom = at(cx, cy + ry), left = at(cx - rx, cy), top = at(cx, cy - ry);

  // Sample counts (0..16) of the pixels the diamond can reach: at most 2 x 2, 3 x 3 kept
  // for safety.
  constexpr int kSpan = 3;
  int coverage[kSpan][kSpan] = {};
  const std::int64_t px0 = left.x >> 2, py0 = top.y >> 2;
  // Sample rows lie on quarter-row tops, sample columns at quarter-column centres; a
  // sample counts when it is inside the left edge or on it, and strictly inside the right.
  for (std::int64_t row = top.y; row < bottom.y; ++row) {
    const double xl = row < left.y ? EdgeX(top, left, row) : EdgeX(left, bottom, row);
    const double xr = row < right.y ? EdgeX(top, right, row) : EdgeX(right, bottom, row);
    const auto first = static_cast<std::int64_t>(std::ceil(xl - 0.5));
    const auto end = static_cast<std::int64_t>(std::ceil(xr - 0.5));
    const std::int64_t cy0 = (row >> 2) - py0;
    if (cy0 < 0 || cy0 >= kSpan) continue;
    // The samples [first, end) shared out to the columns of four samples each.
    for (int i = 0; i < kSpan; ++i) {
      const std::int64_t column = 4 * (px0 + i);
      const std::int64_t n = std::min(end, column + 4) - std::max(first, column);
      coverage[cy0][i] += static_cast<int>(std::max<std::int64_t>(n, 0));
    }
  }

  DirtyRect dirty;
  int minX = kSpan, minY = kSpan, maxX = -1, maxY = -1;
  for (int j = 0; j < kSpan; ++j) {
    const std::int64_t py = py0 + j;
    if (py < 0 || py >= target.height) continue;
    std::uint32_t* row = target.pixels + py * target.stride;
    for (int i = 0; i < kSpan; ++i) {
      const int samples = coverage[j][i];
      const std::int64_t px = px0 + i;
      if (samples == 0 || px < 0 || px >= target.width) continue;
      const auto alpha = static_cast<std::uint32_t>((samples << 4) - (samples >> 4));  // 16 samples: 255
      row[px] = Blend(opaqueColor, row[px], alpha);
      minX = std::min(minX, i), maxX = std::max(maxX, i);
      minY = std::min(minY, j), maxY = std::max(maxY, j);
    }
  }
  if (maxX >= 0) {
    dirty = {static_cast<int>(px0) + minX, static_cast<int>(py0) + minY, maxX - minX + 1, maxY - minY + 1};
  }
  return dirty;
}

}  // namespace quillgate::graphics::detail
