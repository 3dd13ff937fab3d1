#include "Platform/Graphics/Font.h"

#include "Platform/Graphics/Graphics.h"
#include "Platform/Graphics/detail/FontCache.h"

#include <cmath>

namespace quillgate::graphics {

namespace {

std::u16string FromUtf8(std::string_view s) {
  // Family names are ASCII in practice; anything else is kept byte by byte only if ASCII.
  std::u16string out;
  out.reserve(s.size());
  for (unsigned char c : s) out.push_back(c < 0x80 ? static_cast<char16_t>(c) : u'?');
  return out;
}

}  // namespace

FontFamily::FontFamily() = default;

FontFamily::FontFamily(std::u16string_view name) : name_(name) {
  const auto end = name_.find(u'\0');
  if (end != std::u16string::npos) name_.resize(end);
  info_ = detail::ResolveFamily(detail::Utf16ToUtf8(name_));
  lastStatus_ = info_->available ? Ok : FontFamilyNotFound;
}

FontFamily::FontFamily(const WCHAR* name)
    : FontFamily(name != nullptr ? std::u16string_view(name) : std::u16string_view()) {
  if (name == nullptr) lastStatus_ = InvalidParameter;
}

FontFamily::FontFamily(std::string_view name) : FontFamily(std::u16string_view(FromUtf8(name))) {}

const FontFamily* FontFamily::GenericSansSerif() {
  static const FontFamily family(std::u16string_view(u"sans-serif"));  // resolved once, immutable
  return &family;
}

const FontFamily* FontFamily::GenericSerif() {
  static const FontFamily family(std::u16string_view(u"serif"));  // resolved once, immutable
  return &family;
}

const FontFamily* FontFamily::GenericMonospace() {
  static const FontFamily family(std::u16string_view(u"monospace"));  // resolved once, immutable
  return &family;
}

bool FontFamily::IsAvailable() const { return info_ != nullptr && info_->available; }

bool FontFamily::IsStyleAvailable(INT style) const {
  return IsAvailable() && info_->styles[static_cast<std::size_t>(style & 3)] != nullptr;
}

Status FontFamily::GetFamilyName(std::u16string* name) const {
  if (name == nullptr) return InvalidParameter;
  *name = name_;
  return Ok;
}

std::string FontFamily::ResolvedName() const { return info_ ? info_->resolvedName : std::string(); }

namespace {

detail::FaceMetrics Metrics(const std::shared_ptr<const detail::FamilyInfo>& info, INT style) {
  detail::FaceMetrics m;
  if (info && info->available) detail::GetFaceMetrics(*info, style, m);
  return m;
}

}  // namespace

UINT FontFamily::GetEmHeight(INT style) const { return static_cast<UINT>(Metrics(info_, style).unitsPerEm); }
UINT FontFamily::GetCellAscent(INT style) const { return static_cast<UINT>(Metrics(info_, style).cellAscent); }
UINT FontFamily::GetCellDescent(INT style) const { return static_cast<UINT>(Metrics(info_, style).cellDescent); }
UINT FontFamily::GetLineSpacing(INT style) const { return static_cast<UINT>(Metrics(info_, style).lineSpacing); }

Font::Font(const FontFamily* family, REAL emSize, INT style, Unit unit) : size_(emSize), style_(style), unit_(unit) {
  // A family that is missing falls back to the generic sans-serif family, as the original
  // library's font constructor does.
  family_ = (family != nullptr && family->IsAvailable()) ? *family : *FontFamily::GenericSansSerif();
  if (!std::isfinite(emSize) || emSize <= 0 || unit == UnitDisplay || unit < UnitWorld || unit > UnitMillimeter) {
    lastStatus_ = InvalidParameter;
  }
}

Font::Font(std::u16string_view familyName, REAL emSize, INT style, Unit unit) : Font(nullptr, emSize, style, unit) {
  const FontFamily named(familyName);
  if (named.IsAvailable()) family_ = named;
}

Status Font::GetFamily(FontFamily* family) const {
  if (family == nullptr) return InvalidParameter;
  *family = family_;
  return Ok;
}

REAL Font::GetPixelSize() const {
  switch (unit_) {
    case UnitPoint: return size_ * 96.0f / 72.0f;
    case UnitInch: return size_ * 96.0f;
    case UnitDocument: return size_ * 96.0f / 300.0f;
    case UnitMillimeter: return size_ * 96.0f / 25.4f;
    default: return size_;
  }
}

REAL Font::GetHeight(REAL dpi) const {
  const UINT em = family_.GetEmHeight(style_);
  if (em == 0) return 0;
  return GetPixelSize() * (dpi / 96.0f) * static_cast<REAL>(family_.GetLineSpacing(style_)) / static_cast<REAL>(em);
}

REAL Font::GetHeight(const Graphics* graphics) const {
  return GetHeight(graphics != nullptr ? graphics->GetDpiY() : 96.0f);
}

const StringFormat* StringFormat::GenericDefault() {
  static const StringFormat format;
  return &format;
}

const StringFormat* StringFormat::GenericTypographic() {
  static const StringFormat format = [] {
    StringFormat f(StringFormatFlagsNoClip);
    f.typographic_ = true;
    return f;
  }();
  return &format;
}

Status StringFormat::SetAlignment(StringAlignment align) {
  if (align < StringAlignmentNear || align > StringAlignmentFar) return InvalidParameter;
  align_ = align;
  return Ok;
}

Status StringFormat::SetLineAlignment(StringAlignment align) {
  if (align < StringAlignmentNear || align > StringAlignmentFar) return InvalidParameter;
  lineAlign_ = align;
  return Ok;
}

}  // namespace quillgate::graphics
