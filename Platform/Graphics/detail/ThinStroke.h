#pragma once
// Strokes of one-pixel pens along small figures, rasterised straight into the pixels.
//
// The scribble and stipple styles scatter thousands of tiny curves drawn with a one-pixel
// pen. Through Cairo each costs a path, a run of the stroker, a scan conversion and a
// composite, about a microsecond even when many share a call; here a mark costs the few
// pixels along it. The stroke is the set of points within half a pixel of the curve
// (flattened to within a quarter pixel), cut square at the ends of open figures, as flat
// caps cut them, and rounded where the flattened pieces meet. With smoothing a pixel is
// covered by how deep its centre lies in the stroke, (half width + 1/2 - distance), which
// is the exact area for horizontal and vertical strokes and near it at other angles, and
// the pixel takes the largest coverage of any piece, so that pieces meeting at a bend do
// not darken it twice. Without smoothing a pixel is set when its centre lies in the
// stroke. Every figure of one shape goes into the same coverage, as one stroke of all of
// them would.

#include "Platform/Graphics/GraphicsTypes.h"
#include "Platform/Graphics/detail/CoverageBlend.h"
#include "Platform/Graphics/detail/Geometry.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace quillgate::graphics::detail {

class ClipMask;
class SettledTiles;

// Where a shape's stroke goes: the bitmap and its clip, the same clip as cells to pass over
// pieces that cannot reach it (null for none), and the pen's opaque colour. Without
// smoothing, while only this colour draws, the tiles where pieces can change nothing (null
// when that is not being followed).
struct ThinTarget {
  PixelTarget pixels;
  const ClipMask* clipCells;
  std::uint32_t colour;  // 0xFFRRGGBB
  SettledTiles* settled;
};

class ThinStroke {
 public:
  // Largest extent, each way, of the points of a path drawn this way.
  static constexpr double kLimit = 32.0;
  // Largest extent of a mark (one of thousands scattered by DrawBezierMarks) drawn this way.
  // Over a large picture marks span hundreds of pixels (a curl of a 4000-pixel-wide image),
  // and there Cairo costs a path, a stroker run and a scan conversion of the whole mark,
  // however much of it the clip hides; here each piece costs the pixels along it, and a
  // piece the clip hides costs nothing.
  static constexpr double kMarkLimit = 1024.0;

  // Whether the points are all finite and span at most `limit` each way; if so, `minimum`
  // and `maximum` are their least and greatest x and y.
  [[nodiscard]] static bool Fits(std::span<const PointF> points, PointF& minimum, PointF& maximum,
                                 double limit = kLimit);
  // The pixels a shape whose points span minimum to maximum may change: its stroke and the
  // pixel that smoothing reaches, with room for rounding.
  [[nodiscard]] static std::array<int, 4> Reach(PointF minimum, PointF maximum);

  // Starts a shape whose points (which must fit) span `minimum` to `maximum`, drawn into
  // `target`, which must outlive the shape (until Finish).
  void Begin(PointF minimum, PointF maximum, bool antialiased, const ThinTarget& target);
  // Adds the stroke of every figure of the path to the shape.
  void AddFigures(std::span<const PointF> points, std::span<const BYTE> types);
  // Ends the shape: with smoothing, blends the colour through the shape's coverage where
  // the clip is set and clears the coverage for the next shape. Without smoothing the
  // pixels were set as the figures were added: every covered pixel inside the clip simply
  // takes the opaque colour, which is the same whichever figure or piece sets it first.
  void Finish();

 private:
  // Room beyond the points' extent for the half pixel a stroke reaches beyond its line, the
  // pixel that smoothing reaches and rounding of the origin, on both sides.
  static constexpr int kMargin = 8;

  void AddPolyline(bool closed);
  void AddSegment(Pt a, Pt b, bool capStart, bool capEnd);

  bool antialiased_ = true;
  double shift_ = 0;  // onto the pixel grid of what is drawn this way (see PixelGrid.h)
  const ThinTarget* target_ = nullptr;  // the caller's, alive from Begin to Finish
  int originX_ = 0;  // the pixel at coverage_[0]
  int originY_ = 0;
  int width_ = 0;  // of the current shape's coverage, a row of coverage_
  int height_ = 0;
  // Pixels of the coverage that may be set, relative to the origin: rows [y0, y1), and in
  // row y the columns [rowLeft_[y], rowRight_[y]).
  int y0_ = 0, y1_ = 0;
  std::vector<int> rowLeft_;
  std::vector<int> rowRight_;
  std::vector<std::uint8_t> coverage_;  // all zero between shapes; grows to the largest
  std::vector<Pt> flat_;  // the figure being added, flattened
};

}  // namespace quillgate::graphics::detail
