#pragma once
// A text laid out as a path and stretched, without keeping its aspect ratio, so that the
// path's bounds become a given rectangle.

#include "Platform/Graphics/Gdiplus.h"

#include <string_view>

namespace quillgate {

// Sets `path`'s fill mode to winding, adds `text` in `font`'s family and style with the
// font's size as em size at the origin, then maps the bounds of the whole path (anything it
// held before included) onto `rect`. A path without width or height after adding the text
// (an empty text, spaces only) cannot be stretched and is left where it is.
void FitTextPathToRect(std::u16string_view text, const graphics::Font& font,
                       const graphics::RectF& rect, graphics::GraphicsPath& path);

}  // namespace quillgate
