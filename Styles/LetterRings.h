#pragma once
// Concentric rings around one centre that change pen at the letter edges: one pen inside the
// letters, another outside, so that the letters show only as a change of the ring pattern.

#include "Platform/Graphics/Gdiplus.h"

#include <optional>

namespace quillgate {

struct LetterRingsLook {
  float step;
  graphics::Color insideColor;
  float insideWidth;
  graphics::Color outsideColor;
  float outsideWidth;
  // Painted over the letters (and only there) before their rings; empty: nothing painted.
  std::optional<graphics::Color> insideBackground;
};

// Clips to `letters`, paints the inside background when there is one, draws the inside
// rings, resets the clip; then clips to everything outside `letters` and draws the outside
// rings around the same centre; resets the clip. Circles that cannot touch `bounds` (the
// bitmap) are skipped. No random draws.
void DrawRingsInsideAndOutside(graphics::Graphics& graphics, const graphics::GraphicsPath& letters,
                               const graphics::PointF& centre, const LetterRingsLook& look,
                               const graphics::RectF& bounds);

}  // namespace quillgate
