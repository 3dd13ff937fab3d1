#include "Styles/SpottedText.h"

#include "Styles/StretchedText.h"

namespace quillgate {

void DrawSpottedText(StyleCanvas& canvas, const SpottedTextRow& row) {
  graphics::Graphics& graphics = canvas.Graphics();
  const DrawingRandomizer randomizer;
  // The text path made here takes no draws; the colour's draws follow the font's.
  const StretchedText text =
      MakeStretchedText(canvas, randomizer, canvas.Fraction(0.1f, 0.1f, 0.8f, 0.8f),
                        canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), row.familyIndex, graphics::FontStyleBold);

  graphics::Color textColor;
  graphics::Color background;
  if (row.fixedText) {
    textColor = *row.fixedText;
    background = row.fixedBackground;
  } else {
    textColor = randomizer.RandomColorInRange(0, 100, 0, 100, 0, 100);
    background = InverseColor(textColor);
  }
  const graphics::Color spotColor = row.spotsInTextColor ? textColor : background;

  graphics.Clear(background);
  const graphics::SolidBrush textBrush(textColor);
  graphics.FillPath(&textBrush, &text.path);
  DrawSpots(canvas, randomizer, text.rect, row.spotCountFactor, row.spotShape, spotColor);
}

}  // namespace quillgate
