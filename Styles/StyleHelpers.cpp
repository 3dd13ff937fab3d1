#include "Styles/StyleHelpers.h"

#include "CommonUtilities/StringConversion.h"
#include "Drawing/EnvelopeCurves.h"

#include <vector>

namespace quillgate {

StyleCanvas::StyleCanvas(const std::string& code, graphics::Bitmap& bitmap,
                         graphics::SmoothingMode smoothing)
    : text_(AnsiToWide(code)),
      graphics_(&bitmap),
      width_(static_cast<float>(bitmap.GetWidth())),
      height_(static_cast<float>(bitmap.GetHeight())) {
  graphics_.SetSmoothingMode(smoothing);
}

graphics::RectF StyleCanvas::Fraction(float x, float y, float width, float height) const {
  return {x * width_, y * height_, width * width_, height * height_};
}

graphics::RectF RandomTextRect(const DrawingRandomizer& randomizer, const graphics::RectF& outer,
                               const graphics::RectF& inner) {
  return randomizer.RandomRectBetween(outer, inner);
}

graphics::Font PathFont(const std::u16string& family, graphics::INT fontStyle) {
  const graphics::FontFamily fontFamily(family);
  return graphics::Font(&fontFamily, kPathFontEmSize, fontStyle, graphics::UnitPoint);
}

graphics::Font RandomPathFont(const DrawingRandomizer& randomizer, std::int32_t familyIndex,
                              graphics::INT fontStyle) {
  return PathFont(randomizer.RandomFontFamily(familyIndex), fontStyle);
}

FittedFont FitFontSize(const graphics::Graphics& graphics, std::u16string_view text,
                       const graphics::FontFamily& family, float startSize, graphics::INT fontStyle,
                       float availableWidth, graphics::StringAlignment alignment,
                       graphics::StringAlignment lineAlignment) {
  float size = startSize;
  graphics::SizeF measured;
  do {
    size -= 1;
    const graphics::Font font(&family, size, fontStyle, graphics::UnitPoint);
    graphics::RectF box;
    graphics.MeasureString(text, &font, graphics::PointF(0, 0), nullptr, &box);
    measured = box.GetSize();
  } while (availableWidth < measured.Width && size > 1);

  FittedFont fitted{graphics::Font(&family, size, fontStyle, graphics::UnitPoint),
                    graphics::StringFormat(0, 0), measured};
  fitted.format.SetAlignment(alignment);
  fitted.format.SetLineAlignment(lineAlignment);
  return fitted;
}

void DrawCourierCodeBelowTop(StyleCanvas& canvas, float startSize, const graphics::Brush& brush) {
  const auto H = static_cast<std::int64_t>(canvas.Height());
  const graphics::RectF layout(0, static_cast<float>(H * 15.0 / 100.0), canvas.Width(),
                               static_cast<float>(H - H * 15 / 100));
  const graphics::FontFamily courier(u"Courier New");
  const FittedFont fitted =
      FitFontSize(canvas.Graphics(), canvas.Text(), courier, startSize, graphics::FontStyleBold, canvas.Width());
  canvas.Graphics().DrawString(canvas.Text(), &fitted.font, layout, &fitted.format, &brush);
}

TextEnvelope BuiltInEnvelope() {
  std::vector<graphics::PointF> top;
  std::vector<graphics::PointF> bottom;
  LoadEnvelopeCurves(1, top, bottom);
  return TextEnvelope(top, bottom);
}

graphics::Color InverseColor(const graphics::Color& color) {
  return {static_cast<graphics::BYTE>(255 - color.GetR()), static_cast<graphics::BYTE>(255 - color.GetG()),
          static_cast<graphics::BYTE>(255 - color.GetB())};
}

}  // namespace quillgate
