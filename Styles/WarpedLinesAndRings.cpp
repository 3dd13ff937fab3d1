#include "Styles/WarpedLinesAndRings.h"

#include "Styles/CrossedLetters.h"
#include "Styles/CrossingLines.h"
#include "Styles/Rings.h"
#include "Styles/WarpedText.h"

#include <vector>

namespace quillgate {

void DrawWarpedLettersWithLinesAndRings(StyleCanvas& canvas, const graphics::Bitmap& bitmap,
                                        std::int32_t familyArgument,
                                        const std::optional<graphics::Color>& fixedDark) {
  const DrawingRandomizer randomizer;
  // The lines' draws follow the font's; the envelope made here takes none.
  const WarpedText text = MakeWarpedText(canvas, randomizer, canvas.Fraction(0.00f, 0.00f, 0.90f, 0.90f),
                                         familyArgument, graphics::FontStyleBold);
  std::vector<LineRecord> lines;
  MakeCrossingLines(bitmap, 3.0f, lines);

  const graphics::Color dark = fixedDark ? *fixedDark : randomizer.RandomColorInRange(0, 100, 0, 100, 0, 100);
  const graphics::Color light = InverseColor(dark);
  constexpr float kLineWidth = 1.5f;
  constexpr float kRingWidth = 1.5f;
  const graphics::PointF centre = randomizer.RandomPointInRect(text.rect);
  constexpr float kRingStep = 5.0f;

  DrawLettersCrossedByLines(canvas.Graphics(), *text.path, lines,
                            {.background = light,
                             .letters = dark,
                             .lines = light,
                             .lineWidth = kLineWidth,
                             .clipToLetters = true});
  // One pen serves every ring: they are all of the same colour and width.
  const graphics::Pen ringPen(light, kRingWidth);
  DrawRings(canvas.Graphics(), centre, kRingStep, ringPen, canvas.Full());
}

}  // namespace quillgate
