#pragma once
// The solid paint of the fitted-string styles: a small-confetti hatch whose two colours are
// the same, which paints exactly like a solid brush of that colour.

#include "Platform/Graphics/Gdiplus.h"

namespace quillgate {

[[nodiscard]] graphics::HatchBrush SolidPaint(const graphics::Color& color);

}  // namespace quillgate
