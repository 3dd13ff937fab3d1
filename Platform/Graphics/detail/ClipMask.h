#pragma once
// Shapes drawn under a clip that is not a single rectangle. Handed such a clip (many pixel
// rectangles), Cairo 1.16 intersects every shape with the clip's polygon before
// rasterising, which is slow, and its fast (4 x 4 sample) and aliased rasterisers then
// leak coverage one pixel across the clip's edges (1/16 with smoothing, whole pixels
// without). Clips must be pixel-exact, so such shapes go through a mask instead: the
// shape's coverage is rendered without any clip into a scratch alpha surface, cut by the
// clip's own alpha mask, and composited through it. The pixels inside the clip are those
// the unclipped shape would give; outside it nothing changes.

#include <cairo.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace quillgate::graphics::detail {

class ClipMask {
 public:
  // The mask of `visible` (the clip within the bitmap, whole pixels) on a width x height
  // bitmap. Check IsValid: a mask that could not be allocated draws nothing.
  ClipMask(const cairo_region_t* visible, int width, int height);
  ClipMask(const ClipMask&) = delete;
  ClipMask& operator=(const ClipMask&) = delete;
  ~ClipMask();

  [[nodiscard]] bool IsValid() const { return valid_; }

  // Fills (stroke false) or strokes the current path of `cr` with cr's source, operator,
  // antialiasing, fill rule and line settings, through the mask; consumes the path.
  // cr's clip is left as it was.
  void Render(cairo_t* cr, bool stroke);

  // The clip as one byte per bitmap pixel (255 inside, 0 outside), `Stride()` bytes a row;
  // null when the mask could not be allocated.
  [[nodiscard]] const unsigned char* Pixels() const;
  [[nodiscard]] int Stride() const;

  // How much of the clip the pixels [x0, x1) x [y0, y1) (which may reach off the bitmap)
  // hold. Marks scattered over a large picture whose boxes miss the clip are left out
  // before anything rasterises them, and those wholly inside it draw as if unclipped,
  // without looking at the clip pixel by pixel. The answer may be the cautious one (kSome
  // for a box that only comes near the clip, or that is in fact wholly inside it), never
  // the wrong one. A box with no pixel on the bitmap holds none.
  enum class Share { kNone, kSome, kAll };
  [[nodiscard]] Share ShareOf(int x0, int y0, int x1, int y1) const;
  // ShareOf(...) != kNone, for a box that is only to be left out or not.
  [[nodiscard]] bool MayMeet(int x0, int y0, int x1, int y1) const;

 private:
  struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
  };
  struct CairoDeleter {
    void operator()(cairo_t* c) const noexcept { cairo_destroy(c); }
  };

  static constexpr int kCell = 8;  // pixels per side of the cells that ShareOf looks at

  // The cells [c0, c1) x [r0, r1) that hold the box's pixels on the bitmap.
  struct CellRange {
    std::size_t c0, r0, c1, r1;
  };
  [[nodiscard]] std::optional<CellRange> CellsOf(int x0, int y0, int x1, int y1) const;
  // How many of the range's cells a summed table counts.
  [[nodiscard]] int Count(const std::vector<int>& sums, const CellRange& cells) const;

  cairo_rectangle_int_t extents_{0, 0, 0, 0};  // of the visible clip
  // How many cells of the clip, counted from the top left up to each cell (a summed-area
  // table, one row and column larger than the cells): any box answers in four look-ups.
  int cellColumns_ = 0;
  int cellRows_ = 0;
  std::vector<int> cellSums_;
  // The same for the cells all of whose pixels on the bitmap are inside the clip.
  std::vector<int> fullSums_;
  int width_ = 0;
  int height_ = 0;
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> clip_;     // A8: 255 inside the clip
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> scratch_;  // A8: one shape's coverage
  std::unique_ptr<cairo_t, CairoDeleter> scratchCr_;
  bool valid_ = false;
};

}  // namespace quillgate::graphics::detail
