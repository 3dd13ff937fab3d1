#include "Styles/OffsetCopy.h"

#include "Styles/StretchedText.h"

namespace quillgate {

void DrawOffsetCopy(StyleCanvas& canvas, const DrawingRandomizer& randomizer, std::int32_t familyArgument,
                    const std::function<OffsetCopyColors()>& pickColors) {
  graphics::Graphics& graphics = canvas.Graphics();
  // The outer limit of 90 % leaves room for the shifted copy.
  const StretchedText text = MakeStretchedText(canvas, randomizer, canvas.Fraction(0, 0, 0.9f, 0.9f),
                                               canvas.Fraction(0.2f, 0.2f, 0.6f, 0.6f), familyArgument,
                                               graphics::FontStyleBold);
  const OffsetCopyColors colors = pickColors();
  graphics.Clear(colors.background);

  constexpr float kShift = 0.04f;
  const graphics::Region letters(&text.path);
  graphics::Region shifted(&text.path);
  shifted.Translate(kShift * canvas.Width(), kShift * canvas.Height());

  const graphics::SolidBrush letterBrush(colors.letters);
  graphics.FillRegion(&letterBrush, &letters);
  const graphics::SolidBrush copyBrush(colors.copy);
  graphics.FillRegion(&copyBrush, &shifted);

  graphics::Region overlap(&text.path);
  overlap.Combine(&shifted, graphics::CombineModeIntersect);
  const graphics::SolidBrush backgroundBrush(colors.background);
  graphics.FillRegion(&backgroundBrush, &overlap);
}

}  // namespace quillgate
