#include "Platform/Graphics/detail/SmallEllipse.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillgate::graphics::detail {

namespace {

constexpr double kPi = 3.14159265358979323846;

// acos on [-1, 1] to within 2e-8 (Abramowitz and Stegun 4.4.46): a polynomial and one square
// root instead of the library call, which would cost more than the rest of a speck. The
// error stays far below the 1/255 that an alpha value resolves.
double Acos(double t) {
  const double a = std::fabs(t);
  double p = -0.0012624911;
  p = p * a + 0.0066700901;
  p = p * a - 0.0170881256;
  p = p * a + 0.0308918810;
  p = p * a - 0.0501743046;
  p = p * a + 0.0889789874;
  p = p * a - 0.2145988016;
  p = p * a + 1.5707963050;
  const double r = std::sqrt(1.0 - a) * p;
  return t < 0 ? kPi - r : r;
}

// Area of the unit disc with X >= x.
double Segment(double x) {
  if (x >= 1) return 0;
  if (x <= -1) return kPi;
  return Acos(x) - x * std::sqrt(1.0 - x * x);
}

// Area of the unit disc with X >= x and Y >= y. The quadrant x, y >= 0 is the sector between
// the two points where the lines meet the circle less the triangles to the corner; the
// other quadrants follow by mirroring.
double Corner(double x, double y) {
  if (x >= 1 || y >= 1) return 0;
  if (x <= -1) return Segment(y);
  if (y <= -1) return Segment(x);
  if (x < 0) return Segment(y) - Corner(-x, y);
  if (y < 0) return Segment(x) - Corner(x, -y);
  if (x * x + y * y >= 1) return 0;
  const double s = std::sqrt(1.0 - x * x), w = std::sqrt(1.0 - y * y);
  return 0.5 * Acos(x * w + y * s) - 0.5 * (x * s + y * w) + x * y;
}

// Area of the unit disc inside [a0, a1] x [b0, b1]. Each interval is first turned to its
// mirror image when it lies more to the positive side, so that mirrored boxes are computed
// by the very same operations and give bit-identical areas.
double BoxArea(double a0, double a1, double b0, double b1) {
  const auto mirror = [](double& lo, double& hi) {
    if (lo + hi > 0) std::swap(lo, hi), lo = -lo, hi = -hi;
  };
  mirror(a0, a1);
  mirror(b0, b1);
  // Now a1 and b1 are the sides nearer the centre (or the box straddles it).
  const double nx = std::clamp(0.0, a0, a1), ny = std::clamp(0.0, b0, b1);
  if (nx * nx + ny * ny >= 1) return 0;  // the nearest point is outside: nothing covered
  if (a0 * a0 + b0 * b0 <= 1) return (a1 - a0) * (b1 - b0);  // the farthest corner inside: all
  return Corner(a0, b0) - Corner(a1, b0) - Corner(a0, b1) + Corner(a1, b1);
}

}  // namespace

bool IsSmallEllipse(double x, double y, double width, double height) {
  return std::isfinite(x) && std::isfinite(y) && width > 0 && width <= kSmallEllipseLimit && height > 0 &&
         height <= kSmallEllipseLimit;
}

namespace {

// Coverage of the pixel at (left, top) for the ellipse of centre (cx, cy) with reciprocal
// radii (kx, ky); multiplications keep mirrored pixels exact negatives of each other.
double Coverage(double left, double top, double cx, double cy, double kx, double ky) {
  const double area = BoxArea((left - cx) * kx, (left + 1 - cx) * kx, (top - cy) * ky, (top + 1 - cy) * ky);
  return std::clamp(area / (kx * ky), 0.0, 1.0);
}

// The pixels [first, end) that the interval [start, start + length) touches, cut to
// [0, limit). Empty when none. Integer conversions only after the cut, so that far-away
// coordinates cannot overflow (and without the floor and ceil calls of a speck's budget).
bool PixelSpan(double start, double length, int limit, int& first, int& end) {
  const double stop = start + length;
  if (!(stop > 0 && start < limit)) return false;
  first = start <= 0 ? 0 : static_cast<int>(start);
  if (stop >= limit) {
    end = limit;
  } else {
    end = static_cast<int>(stop);
    if (end < stop) ++end;
  }
  return first < end;
}

}  // namespace

namespace {

EllipseCoverage ComputeCoverage(double x, double y, double width, double height, int targetWidth, int targetHeight) {
  EllipseCoverage coverage;
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  if (!PixelSpan(x, width, targetWidth, x0, x1) || !PixelSpan(y, height, targetHeight, y0, y1)) return coverage;
  coverage.x = x0;
  coverage.y = y0;
  coverage.width = std::min(x1 - x0, EllipseCoverage::kMaxSide);
  coverage.height = std::min(y1 - y0, EllipseCoverage::kMaxSide);

  const double rx = width / 2, ry = height / 2;
  const double cx = x + rx, cy = y + ry;
  const double kx = 1 / rx, ky = 1 / ry;
  for (int row = 0; row < coverage.height; ++row) {
    for (int column = 0; column < coverage.width; ++column) {
      const double c = Coverage(coverage.x + column, coverage.y + row, cx, cy, kx, ky);
      coverage.alpha[row * coverage.width + column] = static_cast<std::uint8_t>(c * 255.0 + 0.5);
    }
  }
  return coverage;
}

// Specks of whole sides up to this, at whole or half-pixel positions (the stipple and noise
// styles' dots, which the pixel grid moves by half a pixel), take the same coverage wherever
// they lie: every difference the coverage is made of is then a small multiple of a quarter,
// exact at any position. Each is computed once, for each side and each offset.
constexpr int kWholeSpeckSide = 4;

const EllipseCoverage& WholeSpeck(int width, int height, bool halfX, bool halfY) {
  constexpr int kSizes = kWholeSpeckSide * kWholeSpeckSide;
  static const auto kSpecks = [] {
    std::array<EllipseCoverage, 4 * kSizes> specks{};
    for (int offset = 0; offset < 4; ++offset) {
      const double x = offset % 2 == 0 ? 0.0 : 0.5, y = offset / 2 == 0 ? 0.0 : 0.5;
      for (int h = 1; h <= kWholeSpeckSide; ++h) {
        for (int w = 1; w <= kWholeSpeckSide; ++w) {
          specks[static_cast<std::size_t>(offset * kSizes + (h - 1) * kWholeSpeckSide + w - 1)] =
              ComputeCoverage(x, y, w, h, kWholeSpeckSide + 1, kWholeSpeckSide + 1);
        }
      }
    }
    return specks;
  }();
  const int offset = (halfX ? 1 : 0) + (halfY ? 2 : 0);
  return kSpecks[static_cast<std::size_t>(offset * kSizes + (height - 1) * kWholeSpeckSide + width - 1)];
}

bool IsWhole(double v) { return v == static_cast<double>(static_cast<int>(v)); }

}  // namespace

EllipseCoverage SmallEllipseCoverage(double x, double y, double width, double height, int targetWidth,
                                     int targetHeight) {
  if (width <= kWholeSpeckSide && height <= kWholeSpeckSide && x >= 0 && y >= 0 && x + width <= targetWidth &&
      y + height <= targetHeight && IsWhole(2 * x) && IsWhole(2 * y) && IsWhole(width) && IsWhole(height)) {
    const bool halfX = !IsWhole(x), halfY = !IsWhole(y);
    const EllipseCoverage& speck = WholeSpeck(static_cast<int>(width), static_cast<int>(height), halfX, halfY);
    EllipseCoverage coverage;
    coverage.x = static_cast<int>(x);  // the pixel the speck starts in, as the span takes it
    coverage.y = static_cast<int>(y);
    coverage.width = speck.width;
    coverage.height = speck.height;
    std::copy_n(speck.alpha.begin(), speck.width * speck.height, coverage.alpha.begin());
    return coverage;
  }
  return ComputeCoverage(x, y, width, height, targetWidth, targetHeight);
}

}  // namespace quillgate::graphics::detail
