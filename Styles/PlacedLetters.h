#pragma once
// Letters placed one by one (styles 13, 14 and 16 to 18): every character of the code
// becomes its own path, stretched onto its own rectangle. Styles 13 and 14 scatter small
// letters of random dark colours, each shifted and rotated, over a busy light background;
// styles 16 to 18 set the letters in one row and push them into one another by random
// amounts, solid or hollow.

#include "Drawing/DrawingRandomizer.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillgate {

// The character at `index` of `text` alone, as a path stretched onto `rect`.
[[nodiscard]] graphics::GraphicsPath LetterPath(std::u16string_view text, std::size_t index,
                                                const graphics::Font& font, const graphics::RectF& rect);

// Turns `path` by `angle` degrees (clockwise on screen) about `centre`.
void RotatePath(graphics::GraphicsPath& path, float angle, const graphics::PointF& centre);

// ---- rotated letters (styles 13 and 14) ----------------------------------------------------

// The box each rotated letter is drawn from: width T.Width / n, height 2.2 x T.Height / n,
// so letters shrink as the code grows, whatever the size of T.
struct LetterBox {
  float width;
  float height;
};
[[nodiscard]] LetterBox RotatedLetterBox(const graphics::RectF& textRect, std::size_t letterCount);

struct RotatedLetterRow {
  std::int32_t familyArgument;  // the RandomFontFamily argument
  std::int32_t colourMaximum;   // every channel in [0, colourMaximum)
};

// For each character i: the font family (1 draw), the height y in [0, T.Height - box
// height) (1), the angle in [-40, 40) degrees (1) and the colour (3). The letter fills 80 %
// of its box at (i x box width, y) from T's corner, turned about the centre of that
// rectangle.
void DrawRotatedLetters(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                        const graphics::RectF& textRect, const LetterBox& box, const RotatedLetterRow& row);

// ---- overlapping letters (styles 16 to 18) -----------------------------------------------

struct OverlappingLetterRow {
  std::int32_t familyArgument;  // the RandomFontFamily argument
  float outlineWidth;           // 0: solid letters; else hollow, an inset band this wide
};

// The whole drawing: the text rectangle (4 draws) around (0.1 W, 0.1 H, 0.5 W, 0.5 H), the
// font family (1), one overlap fraction in [0.03, 0.13) per character (n), then on white
// every letter in black in an equal slot; neighbours overlap by their fraction of T's
// width and the last slot ends on T's right edge.
void DrawOverlappingLetters(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                            const OverlappingLetterRow& row);

}  // namespace quillgate
