#pragma once
// Font families, fonts and string formats.
//
// A family is resolved by name through fontconfig; metric-compatible families stand in for
// the Windows core fonts ("Arial" -> Liberation Sans, "Times New Roman" -> Liberation Serif,
// "Courier New" -> Liberation Mono). A name that resolves to nothing of its own leaves the
// family unavailable (FontFamilyNotFound); a Font made from such a family uses the generic
// sans-serif family instead. Faces and glyph outlines are loaded once per process and cached.

#include "Platform/Graphics/GraphicsTypes.h"

#include <memory>
#include <string>
#include <string_view>

namespace quillgate::graphics {

namespace detail {
struct Access;
struct FamilyInfo;
}  // namespace detail

class Graphics;

class FontFamily {
 public:
  FontFamily();  // unavailable until assigned
  explicit FontFamily(std::u16string_view name);
  explicit FontFamily(const WCHAR* name);  // up to the first zero character
  explicit FontFamily(std::string_view name);

  static const FontFamily* GenericSansSerif();
  static const FontFamily* GenericSerif();
  static const FontFamily* GenericMonospace();

  [[nodiscard]] std::unique_ptr<FontFamily> Clone() const { return std::make_unique<FontFamily>(*this); }
  [[nodiscard]] bool IsAvailable() const;
  [[nodiscard]] bool IsStyleAvailable(INT style) const;
  // The name asked for; the name of the font file's family is ResolvedName().
  Status GetFamilyName(std::u16string* name) const;
  [[nodiscard]] std::string ResolvedName() const;

  // Design-unit metrics of the face for that style (0 when unavailable).
  [[nodiscard]] UINT GetEmHeight(INT style) const;
  [[nodiscard]] UINT GetCellAscent(INT style) const;
  [[nodiscard]] UINT GetCellDescent(INT style) const;
  [[nodiscard]] UINT GetLineSpacing(INT style) const;

  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

 private:
  friend struct detail::Access;
  std::u16string name_;
  std::shared_ptr<const detail::FamilyInfo> info_;
  Status lastStatus_ = FontFamilyNotFound;
};

class Font {
 public:
  // emSize in `unit`: UnitPoint is converted with 96 dpi (12 pt = 16 px); UnitPixel and
  // UnitWorld are taken as pixels. A family that is null or unavailable is replaced by the
  // generic sans-serif family. A non-positive or non-finite size leaves the font unavailable
  // (InvalidParameter).
  Font(const FontFamily* family, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);
  Font(std::u16string_view familyName, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);

  [[nodiscard]] std::unique_ptr<Font> Clone() const { return std::make_unique<Font>(*this); }
  Status GetFamily(FontFamily* family) const;
  [[nodiscard]] const FontFamily& Family() const { return family_; }
  [[nodiscard]] REAL GetSize() const { return size_; }
  [[nodiscard]] INT GetStyle() const { return style_; }
  [[nodiscard]] Unit GetUnit() const { return unit_; }
  // The em size in pixels at 96 dpi.
  [[nodiscard]] REAL GetPixelSize() const;
  // Line spacing in pixels at `dpi`.
  [[nodiscard]] REAL GetHeight(REAL dpi) const;
  [[nodiscard]] REAL GetHeight(const Graphics* graphics) const;
  [[nodiscard]] bool IsAvailable() const { return lastStatus_ == Ok; }
  [[nodiscard]] Status GetLastStatus() const { return lastStatus_; }

 private:
  friend struct detail::Access;
  FontFamily family_;
  REAL size_ = 0;
  INT style_ = FontStyleRegular;
  Unit unit_ = UnitPoint;
  Status lastStatus_ = Ok;
};

// Layout options of a string. The default format adds a margin of em size / 6 at both ends
// of the line; GenericTypographic() adds none. Text is laid out on one line.
class StringFormat {
 public:
  explicit StringFormat(INT formatFlags = 0, std::uint16_t language = 0 /* neutral */)
      : flags_(formatFlags), language_(language) {}

  static const StringFormat* GenericDefault();
  static const StringFormat* GenericTypographic();

  [[nodiscard]] std::unique_ptr<StringFormat> Clone() const { return std::make_unique<StringFormat>(*this); }
  Status SetAlignment(StringAlignment align);
  [[nodiscard]] StringAlignment GetAlignment() const { return align_; }
  Status SetLineAlignment(StringAlignment align);
  [[nodiscard]] StringAlignment GetLineAlignment() const { return lineAlign_; }
  Status SetFormatFlags(INT flags) { flags_ = flags; return Ok; }
  [[nodiscard]] INT GetFormatFlags() const { return flags_; }
  [[nodiscard]] std::uint16_t GetLanguage() const { return language_; }
  [[nodiscard]] bool IsTypographic() const { return typographic_; }
  [[nodiscard]] Status GetLastStatus() const { return Ok; }

 private:
  INT flags_ = 0;
  std::uint16_t language_ = 0;
  StringAlignment align_ = StringAlignmentNear;
  StringAlignment lineAlign_ = StringAlignmentNear;
  bool typographic_ = false;
};

}  // namespace quillgate::graphics
