#pragma once
// Long random lines that cross the image from its lowest tenth to its highest tenth. Several
// styles cut or stripe their letters with them; the lines are made at a fixed point of a
// style's random draws and drawn later, so they are kept as records first.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"

#include <optional>
#include <span>
#include <vector>

namespace quillgate {

struct LineRecord {
  graphics::Color color;
  graphics::PointF start;
  graphics::PointF end;
};

enum class LineColouring {
  kWhite,        // every record white: the styles draw with a pen colour of their own
  kRandomLight,  // each record RandomColorInRange(50, 255) on every channel
};

// Appends n = trunc(density x NaturalLog(W x H)) records to `lines` (none when that is not
// positive). Per line, in this order: the colour when random (3 draws), start =
// RandomPointInRect(bottom band (0, 0.9 H, W, 0.1 H)) and end = RandomPointInRect(top band
// (0, 0, W, 0.1 H)), 2 draws each.
void MakeCrossingLines(const graphics::Bitmap& bitmap, float density, std::vector<LineRecord>& lines,
                       LineColouring colouring = LineColouring::kWhite);

// Draws every line in list order, each with a new pen of `width` in `color`, or in the
// record's own colour when `color` is empty.
void DrawCrossingLines(graphics::Graphics& graphics, std::span<const LineRecord> lines,
                       const std::optional<graphics::Color>& color, float width);

}  // namespace quillgate
