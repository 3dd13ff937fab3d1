#pragma once
// Process-wide cache of resolved font families, FreeType faces and glyph outlines. Loading a
// face costs far more than drawing a whole image, so each is loaded once and kept; glyph
// outlines are kept in design units. One mutex guards FreeType and fontconfig.

#include "Platform/Graphics/GraphicsTypes.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate::graphics::detail {

struct FaceSlot;  // a resolved font file for one style

struct FamilyInfo {
  std::string requestedName;
  std::string resolvedName;  // the family of the matched font file
  bool available = false;
  // Indexed by style & 3 (regular, bold, italic, bold italic).
  std::array<std::shared_ptr<FaceSlot>, 4> styles;
};

struct FaceMetrics {
  int unitsPerEm = 0;
  int cellAscent = 0;
  int cellDescent = 0;
  int lineSpacing = 0;
};

// An outline in design units, y growing upwards, as path points and types.
struct GlyphOutline {
  std::vector<PointF> points;
  std::vector<BYTE> types;
  double advance = 0;
};

// Resolves a family name (cached per name). Generic names "sans-serif", "serif" and
// "monospace" are always available. Never returns null.
std::shared_ptr<const FamilyInfo> ResolveFamily(std::string_view utf8Name);

// Design metrics of the face of that style; false when no face can be loaded.
bool GetFaceMetrics(const FamilyInfo& family, INT style, FaceMetrics& metrics);

// Outlines for the code points (control characters give empty outlines with no advance).
// The pointers stay valid for the life of the process.
bool GetGlyphs(const FamilyInfo& family, INT style, std::u32string_view text,
               std::vector<const GlyphOutline*>& glyphs, FaceMetrics& metrics);

std::u32string DecodeUtf16(std::u16string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace quillgate::graphics::detail
