#include "Platform/Graphics/detail/FontCache.h"

#include "CommonUtilities/StringConversion.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace quillgate::graphics::detail {

struct FaceSlot {
  std::string file;
  int index = 0;
  bool syntheticBold = false;
  bool syntheticItalic = false;
};

namespace {

struct LoadedFace {
  FT_Face face = nullptr;
  FaceMetrics metrics;
  bool syntheticBold = false;
  bool syntheticItalic = false;
  std::unordered_map<char32_t, GlyphOutline> glyphs;
};

bool IsGeneric(std::string_view name) {
  static constexpr std::string_view kGeneric[] = {"sans-serif", "serif", "monospace", "sans", "mono",
                                                  "cursive", "fantasy", "system-ui", "emoji", "math"};
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
  return std::find(std::begin(kGeneric), std::end(kGeneric), lower) != std::end(kGeneric);
}

// Font family names fold ASCII letters only: the process locale must not decide which
// bytes of a UTF-8 name count as the same.
bool SameName(std::string_view a, std::string_view b) { return EqualsIgnoringAsciiCase(a, b); }

struct PatternDeleter {
  void operator()(FcPattern* p) const noexcept { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

// Everything below runs under Cache::mutex.
class Cache {
 public:
  static Cache& Instance() {
    static Cache cache;
    return cache;
  }

  std::mutex mutex;

  std::shared_ptr<const FamilyInfo> Family(std::string_view name) {
    const std::string key(name);
    if (auto it = families_.find(key); it != families_.end()) return it->second;
    auto info = std::make_shared<FamilyInfo>();
    info->requestedName = key;
    Resolve(*info);
    families_.emplace(key, info);
    return info;
  }

  LoadedFace* Face(const FamilyInfo& family, INT style) {
    const auto& slot = family.styles[static_cast<std::size_t>(style & 3)];
    if (!slot) return nullptr;
    const auto key = std::make_tuple(slot->file, slot->index, slot->syntheticBold, slot->syntheticItalic);
    if (auto it = faces_.find(key); it != faces_.end()) return it->second.get();
    auto loaded = std::make_unique<LoadedFace>();
    if (!EnsureLibrary() ||
        FT_New_Face(library_, slot->file.c_str(), slot->index, &loaded->face) != 0) {
      faces_.emplace(key, nullptr);
      return nullptr;
    }
    FT_Face face = loaded->face;
    loaded->syntheticBold = slot->syntheticBold;
    loaded->syntheticItalic = slot->syntheticItalic;
    FaceMetrics& m = loaded->metrics;
    m.unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    // The cell is what Windows fonts declare for the whole character set (OS/2 win metrics);
    // line spacing is ascender + descender + line gap of the horizontal header.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && (os2->usWinAscent + os2->usWinDescent) > 0) {
      m.cellAscent = os2->usWinAscent;
      m.cellDescent = os2->usWinDescent;
    } else {
      m.cellAscent = face->ascender;
      m.cellDescent = -face->descender;
    }
    m.lineSpacing = face->height > 0 ? face->height : m.cellAscent + m.cellDescent;
    LoadedFace* result = loaded.get();
    faces_.emplace(key, std::move(loaded));
    return result;
  }

  const GlyphOutline* Glyph(LoadedFace& face, char32_t codePoint) {
    if (auto it = face.glyphs.find(codePoint); it != face.glyphs.end()) return &it->second;
    GlyphOutline outline;
    if (codePoint >= 0x20 && codePoint != 0x7F) LoadOutline(face, codePoint, outline);
    return &face.glyphs.emplace(codePoint, std::move(outline)).first->second;
  }

  ~Cache() {
    for (auto& [key, face] : faces_) {
      if (face && face->face != nullptr) FT_Done_Face(face->face);
    }
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }

 private:
  Cache() = default;

  bool EnsureLibrary() {
    if (library_ == nullptr && FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    return library_ != nullptr;
  }

  static PatternPtr Match(const std::string& family, INT style) {
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return nullptr;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, (style & FontStyleBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, (style & FontStyleItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcPatternAddBool(pattern.get(), FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match || result != FcResultMatch) return nullptr;
    return match;
  }

  // Fontconfig always finds some font; the family counts as installed only when the match
  // is the family itself or one that configuration binds strongly to it (a metric-compatible
  // substitute such as Liberation Sans for Arial). Weakly bound names are mere preferences
  // for whatever is missing.
  static bool MatchesRequest(const std::string& requested, const std::string& matchedFamily) {
    if (IsGeneric(requested) || SameName(requested, matchedFamily)) return true;
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return false;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(requested.c_str()));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcValue value;
    FcValueBinding binding;
    for (int i = 0; FcPatternGetWithBinding(pattern.get(), FC_FAMILY, i, &value, &binding) == FcResultMatch; ++i) {
      if (value.type != FcTypeString || binding == FcValueBindingWeak) continue;
      const std::string_view candidate(reinterpret_cast<const char*>(value.u.s));
      if (IsGeneric(candidate)) break;
      if (SameName(candidate, matchedFamily)) return true;
    }
    return false;
  }

  static std::shared_ptr<FaceSlot> SlotFrom(const FcPattern* match, INT style) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return nullptr;
    auto slot = std::make_shared<FaceSlot>();
    slot->file = reinterpret_cast<const char*>(file);
    int index = 0;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) slot->index = index;
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(match, FC_SLANT, 0, &slant);
    slot->syntheticBold = (style & FontStyleBold) && weight < FC_WEIGHT_DEMIBOLD;
    slot->syntheticItalic = (style & FontStyleItalic) && slant == FC_SLANT_ROMAN;
    return slot;
  }

  static void Resolve(FamilyInfo& info) {
    if (!FcInit()) return;
    PatternPtr regular = Match(info.requestedName, FontStyleRegular);
    if (!regular) return;
    FcChar8* family = nullptr;
    if (FcPatternGetString(regular.get(), FC_FAMILY, 0, &family) == FcResultMatch) {
      info.resolvedName = reinterpret_cast<const char*>(family);
    }
    info.available = !info.requestedName.empty() && MatchesRequest(info.requestedName, info.resolvedName);
    info.styles[0] = SlotFrom(regular.get(), FontStyleRegular);
    // Styled faces are looked for within the family that was found, so that a bold Arial is
    // Liberation Sans Bold rather than whatever "Arial" might match in bold.
    const std::string base = info.resolvedName.empty() ? info.requestedName : info.resolvedName;
    for (INT style = 1; style < 4; ++style) {
      PatternPtr match = Match(base, style);
      if (match) info.styles[static_cast<std::size_t>(style)] = SlotFrom(match.get(), style);
    }
  }

  struct Sink {
    GlyphOutline* out;
    bool open = false;
    PointF last;
    void Close() {
      if (!open) return;
      // A figure of one point draws nothing; drop it.
      if (!out->types.empty() && (out->types.back() & PathPointTypePathTypeMask) == PathPointTypeStart) {
        out->types.pop_back();
        out->points.pop_back();
      } else if (!out->types.empty()) {
        out->types.back() |= PathPointTypeCloseSubpath;
      }
      open = false;
    }
    void Add(PointF p, BYTE type) {
      out->points.push_back(p);
      out->types.push_back(type);
      last = p;
    }
  };

  static PointF Pf(const FT_Vector* v) { return {static_cast<REAL>(v->x), static_cast<REAL>(v->y)}; }

  static void LoadOutline(LoadedFace& face, char32_t codePoint, GlyphOutline& outline) {
    FT_Face ft = face.face;
    const FT_UInt index = FT_Get_Char_Index(ft, codePoint);  // 0: the font's missing-glyph box
    if (FT_Load_Glyph(ft, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return;
    FT_GlyphSlot slot = ft->glyph;
    outline.advance = static_cast<double>(slot->advance.x);
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return;
    FT_Outline* o = &slot->outline;
    if (face.syntheticBold) {
      const FT_Pos strength = face.metrics.unitsPerEm / 24;
      FT_Outline_EmboldenXY(o, strength, 0);
      outline.advance += static_cast<double>(strength);
    }
    if (face.syntheticItalic) {
      FT_Matrix shear{0x10000, 0x3333, 0, 0x10000};  // x += 0.2 y
      FT_Outline_Transform(o, &shear);
    }
    Sink sink{&outline, false, {}};
    FT_Outline_Funcs funcs{};
    funcs.move_to = [](const FT_Vector* to, void* user) {
      auto* s = static_cast<Sink*>(user);
      s->Close();
      s->Add(Pf(to), PathPointTypeStart);
      s->open = true;
      return 0;
    };
    funcs.line_to = [](const FT_Vector* to, void* user) {
      static_cast<Sink*>(user)->Add(Pf(to), PathPointTypeLine);
      return 0;
    };
    funcs.conic_to = [](const FT_Vector* control, const FT_Vector* to, void* user) {
      auto* s = static_cast<Sink*>(user);
      // A quadratic curve as the equivalent cubic.
      const PointF p0 = s->last, c = Pf(control), p3 = Pf(to);
      const PointF c1{p0.X + 2.0f / 3.0f * (c.X - p0.X), p0.Y + 2.0f / 3.0f * (c.Y - p0.Y)};
      const PointF c2{p3.X + 2.0f / 3.0f * (c.X - p3.X), p3.Y + 2.0f / 3.0f * (c.Y - p3.Y)};
      s->Add(c1, PathPointTypeBezier);
      s->Add(c2, PathPointTypeBezier);
      s->Add(p3, PathPointTypeBezier);
      return 0;
    };
    funcs.cubic_to = [](const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
      auto* s = static_cast<Sink*>(user);
      s->Add(Pf(c1), PathPointTypeBezier);
      s->Add(Pf(c2), PathPointTypeBezier);
      s->Add(Pf(to), PathPointTypeBezier);
      return 0;
    };
    if (FT_Outline_Decompose(o, &funcs, &sink) != 0) {
      outline.points.clear();
      outline.types.clear();
      return;
    }
    sink.Close();
  }

  FT_Library library_ = nullptr;
  std::map<std::string, std::shared_ptr<FamilyInfo>> families_;
  std::map<std::tuple<std::string, int, bool, bool>, std::unique_ptr<LoadedFace>> faces_;
};

}  // namespace

std::shared_ptr<const FamilyInfo> ResolveFamily(std::string_view utf8Name) {
  Cache& cache = Cache::Instance();
  const std::lock_guard lock(cache.mutex);
  return cache.Family(utf8Name);
}

bool GetFaceMetrics(const FamilyInfo& family, INT style, FaceMetrics& metrics) {
  Cache& cache = Cache::Instance();
  const std::lock_guard lock(cache.mutex);
  LoadedFace* face = cache.Face(family, style);
  if (face == nullptr) return false;
  metrics = face->metrics;
  return true;
}

bool GetGlyphs(const FamilyInfo& family, INT style, std::u32string_view text,
               std::vector<const GlyphOutline*>& glyphs, FaceMetrics& metrics) {
  Cache& cache = Cache::Instance();
  const std::lock_guard lock(cache.mutex);
  LoadedFace* face = cache.Face(family, style);
  if (face == nullptr) return false;
  metrics = face->metrics;
  glyphs.clear();
  glyphs.reserve(text.size());
  for (char32_t c : text) glyphs.push_back(cache.Glyph(*face, c));
  return true;
}

std::u32string DecodeUtf16(std::u16string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      out.push_back(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back(0xFFFD);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (char32_t c : DecodeUtf16(text)) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace quillgate::graphics::detail

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig 2.14 loses a few hundred bytes while parsing its configuration, once per
// process. Fontconfig is built without frame pointers, so the leak checker sees only its
// own frames; matching the library keeps every program that draws text from failing on it.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
// Without this the checker reports the suppression it used on standard error at exit, which
// would follow every one-line error message of the command-line tool.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif
