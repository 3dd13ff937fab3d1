// Strings: laid out as a path of glyph outlines (TextLayout.h), then filled, always with
// smoothing.
#include "Platform/Graphics/Graphics.h"

#include "Platform/Graphics/detail/CairoPainting.h"
#include "Platform/Graphics/detail/GraphicsData.h"
#include "Platform/Graphics/detail/RasteriserChoice.h"
#include "Platform/Graphics/detail/ShapeRasterisers.h"
#include "Platform/Graphics/detail/TextLayout.h"

namespace quillgate::graphics {

namespace {

std::u16string_view TextOf(const WCHAR* string, INT length) {
  if (string == nullptr) return {};
  if (length < 0) return std::u16string_view(string);
  return {string, static_cast<std::size_t>(length)};
}

}  // namespace

Status Graphics::DrawString(std::u16string_view text, const Font* font, const RectF& layoutRect,
                            const StringFormat* format, const Brush* brush) {
  if (!data_) return Remember(WrongState);
  if (font == nullptr || brush == nullptr) return Remember(InvalidParameter);
  if (!font->IsAvailable()) return Remember(font->GetLastStatus());
  const FontFamily& family = font->Family();
  GraphicsPath path(FillModeWinding);
  const detail::TextLayoutRequest request{text, &family, font->GetStyle(), font->GetPixelSize(), layoutRect, format};
  const Status s = detail::LayOutText(request, &path, nullptr);
  if (s != Ok) return Remember(s);
  // Strings are anti-aliased whatever the smoothing mode.
  if (brush->GetLastStatus() != Ok) return Remember(brush->GetLastStatus());
  return Remember(detail::FillPathOn(*data_, *brush, path, detail::ChooseFill(*brush, true), detail::kTextAntialias));
}

Status Graphics::DrawString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                            const StringFormat* format, const Brush* brush) {
  if (string == nullptr) return Remember(InvalidParameter);
  return DrawString(TextOf(string, length), font, layoutRect, format, brush);
}

Status Graphics::DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                            const Brush* brush) {
  return DrawString(string, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, brush);
}

Status Graphics::DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                            const StringFormat* format, const Brush* brush) {
  return DrawString(string, length, font, RectF(origin.X, origin.Y, 0, 0), format, brush);
}

Status Graphics::MeasureString(std::u16string_view text, const Font* font, const PointF& origin,
                               const StringFormat* format, RectF* boundingBox) const {
  return MeasureString(text.data(), static_cast<INT>(text.size()), font, RectF(origin.X, origin.Y, 0, 0), format,
                       boundingBox);
}

Status Graphics::MeasureString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                               const StringFormat* format, RectF* boundingBox, INT* codepointsFitted,
                               INT* linesFilled) const {
  if (font == nullptr || boundingBox == nullptr || (string == nullptr && length != 0)) {
    return Remember(InvalidParameter);
  }
  if (!font->IsAvailable()) return Remember(font->GetLastStatus());
  const std::u16string_view text = string != nullptr ? TextOf(string, length) : std::u16string_view();
  const FontFamily& family = font->Family();
  const detail::TextLayoutRequest request{text, &family, font->GetStyle(), font->GetPixelSize(), layoutRect, format};
  const Status s = detail::LayOutText(request, nullptr, boundingBox);
  if (s != Ok) return Remember(s);
  if (codepointsFitted != nullptr) *codepointsFitted = static_cast<INT>(text.size());
  if (linesFilled != nullptr) *linesFilled = text.empty() ? 0 : 1;
  return Remember(Ok);
}

Status Graphics::MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                               const StringFormat* format, RectF* boundingBox) const {
  return MeasureString(string, length, font, RectF(origin.X, origin.Y, 0, 0), format, boundingBox);
}

Status Graphics::MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                               RectF* boundingBox) const {
  return MeasureString(string, length, font, RectF(origin.X, origin.Y, 0, 0), nullptr, boundingBox);
}

}  // namespace quillgate::graphics
