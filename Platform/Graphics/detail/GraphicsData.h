#pragma once
// What a Graphics holds: the Cairo context on its bitmap, the clip, and the scratch state of
// the rasterisers, kept from call to call so that scattering thousands of marks allocates
// nothing.

#include "Platform/Graphics/Region.h"
#include "Platform/Graphics/detail/BitmapData.h"
#include "Platform/Graphics/detail/ClipMask.h"
#include "Platform/Graphics/detail/FigureRuns.h"
#include "Platform/Graphics/detail/SettledTiles.h"
#include "Platform/Graphics/detail/ThinStroke.h"

#include <cairo.h>
#include <cstdint>

#include <memory>
#include <vector>

namespace quillgate::graphics::detail {

struct CairoDeleter {
  void operator()(cairo_t* cr) const noexcept { cairo_destroy(cr); }
};

struct GraphicsData {
  std::unique_ptr<cairo_t, CairoDeleter> cr;
  cairo_surface_t* surface = nullptr;  // owned by cr's reference
  int width = 0;
  int height = 0;
  Region clip;  // infinite
  bool clipInfinite = true;  // clip.IsInfinite(), kept for the per-speck fast path
  std::unique_ptr<ClipMask> clipMask;  // set while the clip is not infinite
  // For marks in runs: a coverage mask of the bitmap's size, all zero between calls, with its
  // context (made when first needed), and the record of which runs figures went into.
  CairoSurfacePtr figureCoverage;
  std::unique_ptr<cairo_t, CairoDeleter> figureContext;
  OverlapLayers layers;
  ThinStroke thin;  // for one-pixel strokes along small figures, clear between them
  SettledTiles settled;  // for a stretch of aliased marks of one pen
  std::vector<BYTE> markTypes;  // the point types of DrawBezierMarks' figures, kept for reuse
  // DrawBezierMarks' marks put in order of place: the place of each, where each place's
  // marks start, and the marks in that order.
  std::vector<std::uint32_t> markBuckets;
  std::vector<std::size_t> bucketStarts;
  std::vector<PointF> markPoints;
};


}  // namespace quillgate::graphics::detail
