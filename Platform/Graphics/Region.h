#pragma once
// A region: a set of whole pixels. Rectangles and paths are turned into pixels when they
// enter a region: pixel (c, r) belongs to it when the point just right of and below the
// pixel's top-left corner, (c + 0.03, r + 0.03), lies inside under the path's own fill mode
// (so the rectangle 0.5..2.5 covers columns 1 and 2). Regions therefore clip and fill
// pixel-aligned, whatever the smoothing mode.

#include "Platform/Graphics/GraphicsTypes.h"

#include <memory>
#include <vector>

namespace quillgate::graphics {

class Graphics;
class GraphicsPath;
class Matrix;

namespace detail {
struct Access;
struct RegionData;
}  // namespace detail

class Region {
 public:
  Region();  // infinite
  explicit Region(const RectF& rect);
  explicit Region(const Rect& rect);
  explicit Region(const GraphicsPath* path);
  Region(const Region& other);
  Region& operator=(const Region& other);
  Region(Region&& other) noexcept;
  Region& operator=(Region&& other) noexcept;
  ~Region();

  [[nodiscard]] std::unique_ptr<Region> Clone() const { return std::make_unique<Region>(*this); }

  Status MakeInfinite();
  Status MakeEmpty();

  // this = this (op) other, by CombineMode: Replace, Intersect, Union, Xor, Exclude
  // (this minus other), Complement (other minus this).
  Status Combine(const Region* region, CombineMode mode);
  Status Combine(const GraphicsPath* path, CombineMode mode);
  Status Combine(const RectF& rect, CombineMode mode);
  Status Combine(const Rect& rect, CombineMode mode);
  Status Intersect(const Region* region) { return Combine(region, CombineModeIntersect); }
  Status Intersect(const GraphicsPath* path) { return Combine(path, CombineModeIntersect); }
  Status Intersect(const RectF& rect) { return Combine(rect, CombineModeIntersect); }
  Status Union(const Region* region) { return Combine(region, CombineModeUnion); }
  Status Union(const GraphicsPath* path) { return Combine(path, CombineModeUnion); }
  Status Union(const RectF& rect) { return Combine(rect, CombineModeUnion); }
  Status Xor(const Region* region) { return Combine(region, CombineModeXor); }
  Status Xor(const GraphicsPath* path) { return Combine(path, CombineModeXor); }
  Status Xor(const RectF& rect) { return Combine(rect, CombineModeXor); }
  Status Exclude(const Region* region) { return Combine(region, CombineModeExclude); }
  Status Exclude(const GraphicsPath* path) { return Combine(path, CombineModeExclude); }
  Status Exclude(const RectF& rect) { return Combine(rect, CombineModeExclude); }
  Status Complement(const Region* region) { return Combine(region, CombineModeComplement); }
  Status Complement(const GraphicsPath* path) { return Combine(path, CombineModeComplement); }
  Status Complement(const RectF& rect) { return Combine(rect, CombineModeComplement); }

  // A region that is still exactly one rectangle or path moves by the exact offset (and is
  // turned into pixels again); a combined region moves by the offset rounded to whole pixels.
  Status Translate(REAL dx, REAL dy);
  Status Translate(INT dx, INT dy);

  [[nodiscard]] bool IsEmpty() const;
  [[nodiscard]] bool IsEmpty(const Graphics*) const { return IsEmpty(); }
  [[nodiscard]] bool IsInfinite() const;
  [[nodiscard]] bool IsInfinite(const Graphics*) const { return IsInfinite(); }
  [[nodiscard]] bool IsVisible(INT x, INT y) const;
  [[nodiscard]] bool Equals(const Region* region) const;
  // Smallest rectangle holding the region (empty region: (0, 0, 0, 0)).
  Status GetBounds(Rect* rect) const;
  Status GetBounds(RectF* rect) const;

  // The scan rectangles: non-overlapping, whole-number rectangles whose union is the region,
  // band by band from top to bottom, left to right inside a band; consecutive rows with the
  // same spans form one rectangle. A null or identity matrix lists the region as it is; any
  // other matrix transforms it first (and turns it into pixels again).
  [[nodiscard]] UINT GetRegionScansCount(const Matrix* matrix = nullptr) const;
  Status GetRegionScans(const Matrix* matrix, RectF* rects, INT* count) const;
  Status GetRegionScans(const Matrix* matrix, Rect* rects, INT* count) const;
  [[nodiscard]] std::vector<RectF> GetRegionScans(const Matrix* matrix = nullptr) const;
  [[nodiscard]] std::vector<Rect> GetRegionScansI(const Matrix* matrix = nullptr) const;

  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

 private:
  friend struct detail::Access;
  Status Remember(Status s) { lastStatus_ = s; return s; }

  std::unique_ptr<detail::RegionData> data_;
  Status lastStatus_ = Ok;
};

}  // namespace quillgate::graphics
