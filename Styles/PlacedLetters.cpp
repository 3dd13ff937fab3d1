#include "Styles/PlacedLetters.h"

#include "Drawing/Geometry.h"
#include "Drawing/TextPath.h"

#include <vector>

namespace quillgate {
namespace {

constexpr float kRotatedLetterScale = 0.8f;
constexpr float kBoxWidthFactor = 1.0f;
constexpr float kBoxHeightFactor = 2.2f;
constexpr float kMaximumTilt = 40.0f;

constexpr float kMinimumOverlap = 0.03f;
constexpr float kMaximumOverlap = 0.13f;

}  // namespace

graphics::GraphicsPath LetterPath(std::u16string_view text, std::size_t index, const graphics::Font& font,
                                  const graphics::RectF& rect) {
  graphics::GraphicsPath path;
  FitTextPathToRect(text.substr(index, 1), font, rect, path);
  return path;
}

void RotatePath(graphics::GraphicsPath& path, float angle, const graphics::PointF& centre) {
  graphics::Matrix rotation;
  rotation.RotateAt(angle, centre);
  path.Transform(&rotation);
}

LetterBox RotatedLetterBox(const graphics::RectF& textRect, std::size_t letterCount) {
  // An empty code has no letters to share the rectangle among: no box at all, rather than
  // one of infinite size.
  if (letterCount == 0) return {0, 0};
  const auto n = static_cast<float>(letterCount);
  return {textRect.Width / n * kBoxWidthFactor, textRect.Height / n * kBoxHeightFactor};
}

void DrawRotatedLetters(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                        const graphics::RectF& textRect, const LetterBox& box, const RotatedLetterRow& row) {
  const std::u16string& text = canvas.Text();
  const std::int32_t high = row.colourMaximum;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const graphics::Font font = RandomPathFont(randomizer, row.familyArgument, graphics::FontStyleRegular);
    const float y = randomizer.RandomFloat(0, textRect.Height - box.height);
    // Relative to T's corner until the letter is in place.
    const graphics::RectF letterRect(static_cast<float>(i) * box.width, y, box.width * kRotatedLetterScale,
                                     box.height * kRotatedLetterScale);
    graphics::GraphicsPath letter = LetterPath(text, i, font, letterRect);

    RotatePath(letter, randomizer.RandomFloat(-kMaximumTilt, kMaximumTilt), RectCenter(letterRect));
    graphics::Matrix toTextRect;
    toTextRect.Translate(textRect.X, textRect.Y);
    letter.Transform(&toTextRect);

    const graphics::SolidBrush brush(randomizer.RandomColorInRange(0, high, 0, high, 0, high));
    canvas.Graphics().FillPath(&brush, &letter);
  }
}

void DrawOverlappingLetters(StyleCanvas& canvas, const DrawingRandomizer& randomizer,
                            const OverlappingLetterRow& row) {
  graphics::Graphics& graphics = canvas.Graphics();
  const std::u16string& text = canvas.Text();
  const graphics::RectF inner = canvas.Fraction(0.1f, 0.1f, 0.5f, 0.5f);
  const graphics::RectF textRect = RandomTextRect(randomizer, canvas.Full(), inner);
  const graphics::Font font = RandomPathFont(randomizer, row.familyArgument, graphics::FontStyleRegular);

  const std::size_t n = text.size();
  std::vector<float> overlaps;
  overlaps.reserve(n);
  for (std::size_t i = 0; i < n; ++i) overlaps.push_back(randomizer.RandomFloat(kMinimumOverlap, kMaximumOverlap));

  // The last overlap is not summed: the row ends exactly on T's right edge.
  float overlapSum = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) overlapSum += overlaps[i];
  const float rowWidth = (overlapSum + 1.0f) * textRect.Width;
  // An empty code has no slots (and no division by zero).
  const float slotWidth = n == 0 ? 0.0f : rowWidth / static_cast<float>(n);

  graphics.Clear(graphics::Color(graphics::Color::White));
  const graphics::SolidBrush black{graphics::Color(graphics::Color::Black)};
  graphics::Pen outlinePen(graphics::Color(graphics::Color::Black), row.outlineWidth);
  outlinePen.SetAlignment(graphics::PenAlignmentInset);

  float x = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const graphics::RectF slot(textRect.X + x, textRect.Y, slotWidth, textRect.Height);
    graphics::GraphicsPath letter = LetterPath(text, i, font, slot);
    // A hollow letter is the band inside its outline; a blank character has none.
    if (row.outlineWidth > 0) letter.Widen(&outlinePen, nullptr, 0.25f);
    graphics.FillPath(&black, &letter);
    x = x + slotWidth - textRect.Width * overlaps[i];
  }
}

}  // namespace quillgate
