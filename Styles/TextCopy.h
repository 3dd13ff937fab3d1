#pragma once
// The off-screen copies of styles 0, 1 and 5: a new bitmap of the image's size, painted all
// over and with the code drawn on it in a fitted font, from which the visible image is then
// put together.

#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <memory>
#include <string_view>

namespace quillgate {

// A width x height bitmap filled with `background`, then `text` drawn in `layout` with the
// fitted font, its format and `ink`, on a context with anti-aliasing. Failed steps are left
// out (a bitmap that cannot be made comes back empty and copies nothing).
[[nodiscard]] std::unique_ptr<graphics::Bitmap> DrawTextCopy(int width, int height,
                                                           const graphics::Brush& background,
                                                           std::u16string_view text, const FittedFont& fitted,
                                                           const graphics::RectF& layout,
                                                           const graphics::Brush& ink);

}  // namespace quillgate
