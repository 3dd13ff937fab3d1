#include "Drawing/Geometry.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace quillgate {
namespace {

graphics::INT TruncateToInt(float value) {
  if (std::isnan(value)) return 0;
  constexpr auto kLow = static_cast<double>(std::numeric_limits<graphics::INT>::min());
  constexpr auto kHigh = static_cast<double>(std::numeric_limits<graphics::INT>::max());
  const double clamped = std::fmax(kLow, std::fmin(kHigh, static_cast<double>(value)));
  return static_cast<graphics::INT>(clamped);
}

}  // namespace

float NaturalLog(float x) { return static_cast<float>(std::log(static_cast<double>(x))); }

graphics::Rect ToRect(const graphics::RectF& rect) {
  return {TruncateToInt(rect.X), TruncateToInt(rect.Y), TruncateToInt(rect.Width),
          TruncateToInt(rect.Height)};
}

graphics::PointF RectCenter(const graphics::RectF& rect) {
  return {(rect.X + rect.GetRight()) / 2, (rect.Y + rect.GetBottom()) / 2};
}

void GetRegionRects(const graphics::Region& region, std::vector<graphics::RectF>& rects) {
  const graphics::Matrix identity;
  auto count = static_cast<graphics::INT>(region.GetRegionScansCount(&identity));
  std::vector<graphics::RectF> scans(static_cast<std::size_t>(count));
  if (count > 0) region.GetRegionScans(&identity, scans.data(), &count);
  // The count written back says how many the buffer really holds.
  scans.resize(static_cast<std::size_t>(count > 0 ? count : 0));
  rects.clear();
  rects.insert(rects.end(), scans.begin(), scans.end());
}

}  // namespace quillgate
