#include "Platform/Graphics/Region.h"

#include "Platform/Graphics/Matrix.h"
#include "Platform/Graphics/detail/Access.h"
#include "Platform/Graphics/detail/Geometry.h"
#include "Platform/Graphics/detail/RegionData.h"

#include <cmath>

namespace quillgate::graphics {

namespace detail {

namespace {

CairoRegionPtr FromPixelRects(const std::vector<PixelRect>& rects) {
  static_assert(sizeof(PixelRect) == sizeof(cairo_rectangle_int_t));
  if (rects.empty()) return CairoRegionPtr(cairo_region_create());
  return CairoRegionPtr(cairo_region_create_rectangles(
      reinterpret_cast<const cairo_rectangle_int_t*>(rects.data()), static_cast<int>(rects.size())));
}

}  // namespace

CairoRegionPtr MakeInfiniteRegion() {
  const cairo_rectangle_int_t all{kInfiniteMin, kInfiniteMin, kInfiniteSize, kInfiniteSize};
  return CairoRegionPtr(cairo_region_create_rectangle(&all));
}

CairoRegionPtr RegionFromPath(const GraphicsPath& path, const Matrix* matrix) {
  const auto figures = FlattenFigures(path.Points(), path.Types(), matrix, FlatnessDefault);
  std::vector<PixelRect> rects;
  ScanConvert(figures, path.GetFillMode(), rects);
  return FromPixelRects(rects);
}

CairoRegionPtr RegionFromRect(const RectF& rect) {
  if (!(rect.Width > 0) || !(rect.Height > 0) || !std::isfinite(rect.X) || !std::isfinite(rect.Y)) {
    return CairoRegionPtr(cairo_region_create());
  }
  const int x0 = SampleEdge(rect.X), x1 = SampleEdge(static_cast<double>(rect.X) + rect.Width);
  const int y0 = SampleEdge(rect.Y), y1 = SampleEdge(static_cast<double>(rect.Y) + rect.Height);
  if (x1 <= x0 || y1 <= y0) return CairoRegionPtr(cairo_region_create());
  const cairo_rectangle_int_t r{x0, y0, x1 - x0, y1 - y0};
  return CairoRegionPtr(cairo_region_create_rectangle(&r));
}

}  // namespace detail

namespace {

using detail::CairoRegionPtr;

GraphicsPath RectPath(const RectF& rect) {
  GraphicsPath p;
  p.AddRectangle(rect);
  return p;
}

CairoRegionPtr Copy(const cairo_region_t* r) { return CairoRegionPtr(cairo_region_copy(r)); }

bool Failed(const cairo_region_t* r) { return r == nullptr || cairo_region_status(r) != CAIRO_STATUS_SUCCESS; }

}  // namespace

Region::Region() : data_(std::make_unique<detail::RegionData>()) { data_->pixels = detail::MakeInfiniteRegion(); }

Region::Region(const RectF& rect) : data_(std::make_unique<detail::RegionData>()) {
  data_->pixels = detail::RegionFromRect(rect);
  data_->source = RectPath(rect);
}

Region::Region(const Rect& rect) : Region(RectF(rect)) {}

Region::Region(const GraphicsPath* path) : data_(std::make_unique<detail::RegionData>()) {
  if (path == nullptr) {
    data_->pixels = CairoRegionPtr(cairo_region_create());
    lastStatus_ = InvalidParameter;
    return;
  }
  data_->pixels = detail::RegionFromPath(*path);
  data_->source = *path;
}

Region::Region(const Region& other) : data_(std::make_unique<detail::RegionData>()) {
  data_->pixels = Copy(other.data_->pixels.get());
  data_->source = other.data_->source;
}

Region& Region::operator=(const Region& other) {
  if (this != &other) {
    data_->pixels = Copy(other.data_->pixels.get());
    data_->source = other.data_->source;
  }
  return *this;
}

// A moved-from region is left empty rather than without data, so it stays usable.
Region::Region(Region&& other) noexcept : data_(std::move(other.data_)), lastStatus_(other.lastStatus_) {
  other.data_ = std::make_unique<detail::RegionData>();
  other.data_->pixels = CairoRegionPtr(cairo_region_create());
}

Region& Region::operator=(Region&& other) noexcept {
  if (this != &other) {
    std::swap(data_, other.data_);
    lastStatus_ = other.lastStatus_;
  }
  return *this;
}

Region::~Region() = default;

Status Region::MakeInfinite() {
  data_->pixels = detail::MakeInfiniteRegion();
  data_->source.reset();
  return Remember(Ok);
}

Status Region::MakeEmpty() {
  data_->pixels = CairoRegionPtr(cairo_region_create());
  data_->source.reset();
  return Remember(Ok);
}

Status Region::Combine(const Region* region, CombineMode mode) {
  if (region == nullptr) return Remember(InvalidParameter);
  cairo_region_t* self = data_->pixels.get();
  const cairo_region_t* other = region->data_->pixels.get();
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  switch (mode) {
    case CombineModeReplace:
      if (region != this) {
        data_->pixels = Copy(other);
        data_->source = region->data_->source;
      }
      return Remember(Failed(data_->pixels.get()) ? OutOfMemory : Ok);
    case CombineModeIntersect: status = cairo_region_intersect(self, other); break;
    case CombineModeUnion: status = cairo_region_union(self, other); break;
    case CombineModeXor: status = cairo_region_xor(self, other); break;
    case CombineModeExclude: status = cairo_region_subtract(self, other); break;
    case CombineModeComplement: {
      CairoRegionPtr result = Copy(other);
      status = cairo_region_subtract(result.get(), self);
      if (status == CAIRO_STATUS_SUCCESS) data_->pixels = std::move(result);
      break;
    }
    default:
      return Remember(InvalidParameter);
  }
  data_->source.reset();
  return Remember(status == CAIRO_STATUS_SUCCESS ? Ok : OutOfMemory);
}

Status Region::Combine(const GraphicsPath* path, CombineMode mode) {
  if (path == nullptr) return Remember(InvalidParameter);
  const Region other(path);
  return Combine(&other, mode);
}

Status Region::Combine(const RectF& rect, CombineMode mode) {
  const Region other(rect);
  return Combine(&other, mode);
}

Status Region::Combine(const Rect& rect, CombineMode mode) { return Combine(RectF(rect), mode); }

Status Region::Translate(REAL dx, REAL dy) {
  if (!std::isfinite(dx) || !std::isfinite(dy)) return Remember(InvalidParameter);
  if (IsInfinite()) return Remember(Ok);
  if (data_->source) {
    Matrix shift;
    shift.Translate(dx, dy);
    data_->source->Transform(&shift);
    data_->pixels = detail::RegionFromPath(*data_->source);
    return Remember(Failed(data_->pixels.get()) ? OutOfMemory : Ok);
  }
  const double rx = std::nearbyint(detail::Clamp(dx));
  const double ry = std::nearbyint(detail::Clamp(dy));
  cairo_region_translate(data_->pixels.get(), static_cast<int>(rx), static_cast<int>(ry));
  return Remember(Ok);
}

Status Region::Translate(INT dx, INT dy) { return Translate(static_cast<REAL>(dx), static_cast<REAL>(dy)); }

bool Region::IsEmpty() const { return cairo_region_is_empty(data_->pixels.get()) != 0; }

bool Region::IsInfinite() const {
  const cairo_region_t* r = data_->pixels.get();
  if (cairo_region_num_rectangles(r) != 1) return false;
  cairo_rectangle_int_t box;
  cairo_region_get_rectangle(r, 0, &box);
  return box.x <= detail::kInfiniteMin && box.y <= detail::kInfiniteMin &&
         box.width >= detail::kInfiniteSize && box.height >= detail::kInfiniteSize;
}

bool Region::IsVisible(INT x, INT y) const { return cairo_region_contains_point(data_->pixels.get(), x, y) != 0; }

bool Region::Equals(const Region* region) const {
  return region != nullptr && cairo_region_equal(data_->pixels.get(), region->data_->pixels.get()) != 0;
}

Status Region::GetBounds(Rect* rect) const {
  if (rect == nullptr) return InvalidParameter;
  cairo_rectangle_int_t box{0, 0, 0, 0};
  if (!IsEmpty()) cairo_region_get_extents(data_->pixels.get(), &box);
  *rect = Rect(box.x, box.y, box.width, box.height);
  return Ok;
}

Status Region::GetBounds(RectF* rect) const {
  if (rect == nullptr) return InvalidParameter;
  Rect r;
  GetBounds(&r);
  *rect = RectF(r);
  return Ok;
}

std::vector<Rect> Region::GetRegionScansI(const Matrix* matrix) const {
  CairoRegionPtr transformed;
  const cairo_region_t* r = data_->pixels.get();
  if (matrix != nullptr && !matrix->IsIdentity()) {
    // Every pixel rectangle goes through the matrix as a path, and the result is turned
    // into pixels again.
    GraphicsPath all(FillModeWinding);
    const int n = cairo_region_num_rectangles(r);
    for (int i = 0; i < n; ++i) {
      cairo_rectangle_int_t box;
      cairo_region_get_rectangle(r, i, &box);
      all.AddRectangle(RectF(Rect(box.x, box.y, box.width, box.height)));
    }
    transformed = detail::RegionFromPath(all, matrix);
    r = transformed.get();
  }
  std::vector<Rect> scans;
  const int n = cairo_region_num_rectangles(r);
  scans.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    cairo_rectangle_int_t box;
    cairo_region_get_rectangle(r, i, &box);
    scans.emplace_back(box.x, box.y, box.width, box.height);
  }
  return scans;
}

std::vector<RectF> Region::GetRegionScans(const Matrix* matrix) const {
  const std::vector<Rect> whole = GetRegionScansI(matrix);
  return {whole.begin(), whole.end()};
}

UINT Region::GetRegionScansCount(const Matrix* matrix) const {
  if (matrix == nullptr || matrix->IsIdentity()) {
    return static_cast<UINT>(cairo_region_num_rectangles(data_->pixels.get()));
  }
  return static_cast<UINT>(GetRegionScansI(matrix).size());
}

Status Region::GetRegionScans(const Matrix* matrix, RectF* rects, INT* count) const {
  if (count == nullptr) return InvalidParameter;
  const std::vector<RectF> scans = GetRegionScans(matrix);
  if (rects != nullptr) {
    if (*count < static_cast<INT>(scans.size())) return InsufficientBuffer;
    std::copy(scans.begin(), scans.end(), rects);
  }
  *count = static_cast<INT>(scans.size());
  return Ok;
}

Status Region::GetRegionScans(const Matrix* matrix, Rect* rects, INT* count) const {
  if (count == nullptr) return InvalidParameter;
  const std::vector<Rect> scans = GetRegionScansI(matrix);
  if (rects != nullptr) {
    if (*count < static_cast<INT>(scans.size())) return InsufficientBuffer;
    std::copy(scans.begin(), scans.end(), rects);
  }
  *count = static_cast<INT>(scans.size());
  return Ok;
}

}  // namespace quillgate::graphics
