#pragma once
// Where more aliased marks of one opaque colour can no longer change anything.
//
// Without smoothing a plain pen only ever sets pixels to its colour, so once every pixel of
// a patch of the bitmap has that colour, or lies outside the clip, no further mark of the
// same pen can change the patch. Scribble styles pile marks many times over each pixel of
// a large picture (dozens of light arcs over each pixel of a 4000 x 800 one), and after the
// first few layers nearly every mark falls on such patches: these are passed over instead
// of being flattened and tested pixel by pixel. The picture is the same to the bit, since
// a mark that is passed over would have set only pixels that already have its colour.
//
// The patches are tiles of 8 x 8 pixels. What is known holds only while nothing but marks
// of this one colour draws into the bitmap: it starts over with each stretch of them.

#include "Platform/Graphics/detail/CoverageBlend.h"

#include <cstdint>
#include <vector>

namespace quillgate::graphics::detail {

class SettledTiles {
 public:
  // Starts over, for marks of `colour` (0xFFRRGGBB) into `target`, which must stay as it
  // is (the same pixels and clip) until the next Reset; nothing is known settled yet.
  void Reset(const PixelTarget& target, std::uint32_t colour);

  // Whether every pixel of [x0, x1) x [y0, y1) (which may reach off the bitmap) is known
  // to be settled: to have the colour or lie outside the clip. A tile not yet known to be
  // settled is looked at when first asked about, and again after more marks have reached
  // it, less often the more often it was still open, so that tiles which never settle cost
  // little. Where marks are sparse for the picture, or each covers only a pixel or two,
  // few boxes are settled and asking costs more than drawing: once too few of a stretch's
  // answers are yes, the answer is no, unasked, until the next Reset.
  [[nodiscard]] bool Settled(int x0, int y0, int x1, int y1) { return following_ && Ask(x0, y0, x1, y1); }

 private:
  static constexpr int kTile = 8;  // pixels per side
  // Every this many answers, at least one in kWorthwhile must have been yes to go on.
  static constexpr int kTrial = 64;
  static constexpr int kWorthwhile = 16;

  // One tile: settled, or how many more questions until it is looked at again, and how
  // many to wait the time after; all of it from the stretch numbered `stretch`, and as
  // good as new in a later one. So a Reset costs nothing for each tile, which matters when
  // a large picture takes marks a few at a time.
  struct Tile {
    std::uint16_t stretch;
    bool settled;
    std::uint8_t countdown;
    std::uint8_t wait;
  };

  [[nodiscard]] bool Ask(int x0, int y0, int x1, int y1);
  [[nodiscard]] bool Look(int x0, int y0, int x1, int y1);
  // Whether every pixel of tile (column, row) on the bitmap is settled.
  [[nodiscard]] bool LooksSettled(int column, int row) const;

  PixelTarget target_{};
  std::uint32_t colour_ = 0;
  int columns_ = 0;
  std::vector<Tile> tiles_;
  std::uint16_t stretch_ = 0;  // numbers the stretches since the tiles were last cleared
  bool following_ = false;
  int asked_ = 0;  // since the last weighing
  int yes_ = 0;
};

}  // namespace quillgate::graphics::detail
