#pragma once
// One-line text layout shared by path strings, drawn strings and measured strings.

#include "Platform/Graphics/Font.h"
#include "Platform/Graphics/GraphicsPath.h"

#include <string_view>

namespace quillgate::graphics::detail {

struct TextLayoutRequest {
  std::u16string_view text;
  const FontFamily* family = nullptr;  // null or unavailable: generic sans-serif
  INT style = FontStyleRegular;
  REAL emSize = 0;                     // pixels
  // A layout rectangle; an axis of zero extent lays out from that coordinate as an origin.
  RectF layout;
  const StringFormat* format = nullptr;  // null: default format
};

// Appends the glyph outlines to `path` (if not null) and gives the line's box (if not null):
// the advances plus the format's margins wide, the line spacing high, placed by the format's
// alignments. An empty text gives an empty box at the layout position.
Status LayOutText(const TextLayoutRequest& request, GraphicsPath* path, RectF* box);

}  // namespace quillgate::graphics::detail
