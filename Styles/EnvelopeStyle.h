#pragma once
// The envelope family (styles 30, 31, 32, 38, 39 and 44): the code as one outline bent
// between the built-in envelope curves and stretched into a random rectangle that almost
// fills the image. The members run the same steps and differ only in the row of the table
// below; DrawEnvelopeStyle runs the steps for a row, and a member with more to draw (the
// glow of style 44) carries on from what it returns.

#include "Drawing/DrawingRandomizer.h"
#include "Drawing/TextEnvelope.h"
#include "Platform/Graphics/Gdiplus.h"
#include "Styles/StyleHelpers.h"

#include <cstdint>

namespace quillgate {

// The pen's colour: fixed, or RandomColorInRange(low, high) on every channel (3 draws).
struct EnvelopePenColor {
  graphics::ARGB fixed = 0;
  std::int32_t randomLow = 0;
  std::int32_t randomHigh = 0;  // random when above 0

  static constexpr EnvelopePenColor Fixed(graphics::ARGB argb) { return {argb, 0, 0}; }
  static constexpr EnvelopePenColor Random(std::int32_t low, std::int32_t high) { return {0, low, high}; }
  [[nodiscard]] constexpr bool IsRandom() const { return randomHigh > 0; }
};

enum class EnvelopeBackground {
  kUntouched,     // no clear: the bitmap's initial content shows between the strokes
  kWhite,         // cleared to white before anything is drawn
  kInverseOfPen,  // cleared to the inverse of the pen colour once that is known
};

struct EnvelopeFill {
  enum class Kind { kNone, kFixed, kPenColor };
  Kind kind = Kind::kNone;
  graphics::ARGB fixed = 0;

  static constexpr EnvelopeFill None() { return {}; }
  static constexpr EnvelopeFill Fixed(graphics::ARGB argb) { return {Kind::kFixed, argb}; }
  static constexpr EnvelopeFill PenColor() { return {Kind::kPenColor, 0}; }
};

struct EnvelopeStyleRow {
  // The inner rectangle the text rectangle must contain, as fractions of W and H.
  float innerX, innerY, innerWidth, innerHeight;
  graphics::INT fontStyle;
  std::int32_t familyArgument;  // the RandomFontFamily argument
  EnvelopeBackground background;
  bool noiseDots;  // W x H / 2 green specks, drawn before the font family is chosen
  EnvelopePenColor penColor;
  float penWidth;
  EnvelopeFill fill;
};

// What the drawn text is made of, for a member that draws more of it.
struct EnvelopeText {
  graphics::RectF rect;
  graphics::Font font;
  TextEnvelope envelope;
  graphics::Color penColor;
};

// The family's steps for `row`. Random draws, in order: the text rectangle (4), the noise
// dots (2 each) when the row has them, the font family (1), the pen colour (3) when random.
// Then the background (when it depends on the pen), and the outline, filled when the row
// says so.
EnvelopeText DrawEnvelopeStyle(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                               const EnvelopeStyleRow& row);

}  // namespace quillgate
