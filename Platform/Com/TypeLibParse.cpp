// The text form of type libraries (see TypeLib.h).
#include "Platform/Com/TypeLib.h"

#include "Platform/Com/Utf.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>

namespace quillgate::com {
namespace {

constexpr int kDispatchSlots = 7;  // IUnknown's three and IDispatch's four
constexpr int kUnknownSlots = 3;

struct Token {
  std::string text;
  bool quoted = false;
  std::size_t line = 0;
  [[nodiscard]] bool Is(std::string_view word) const { return !quoted && text == word; }
};

[[noreturn]] void Fail(std::size_t line, const std::string& reason) {
  throw TypeLibFormatError("line " + std::to_string(line) + ": " + reason);
}

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t line = 1;
  std::size_t i = 0;
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  const auto isPunct = [](char c) { return c == '(' || c == ')' || c == '[' || c == ']' || c == ','; };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') ++line;
    if (isSpace(c)) {
      ++i;
      continue;
    }
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    Token token;
    token.line = line;
    if (isPunct(c)) {
      token.text = std::string(1, c);
      ++i;
    } else if (c == '\'') {
      token.quoted = true;
      ++i;
      while (true) {
        if (i >= text.size() || text[i] == '\n') Fail(token.line, "a quoted text is not closed");
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            token.text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        token.text += text[i++];
      }
    } else {
      while (i < text.size() && !isSpace(text[i]) && !isPunct(text[i]) && text[i] != '\'' &&
             text[i] != '#') {
        token.text += text[i++];
      }
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  TypeLibData Library() {
    for (const char* word : {"QUILLGATE", "TYPELIB", "1"}) {
      if (AtEnd() || !tokens_[next_].Is(word) || tokens_[next_].line != 1) {
        Fail(1, "this is not a Quillgate type library (version 1)");
      }
      ++next_;
    }
    TypeLibData lib;
    bool sawLibrary = false;
    TypeDesc* interface = nullptr;
    while (!AtEnd()) {
      const Token& word = Next("a statement");
      if (word.Is("library")) {
        if (sawLibrary) Fail(word.line, "the library is described twice");
        sawLibrary = true;
        lib.name = Identifier();
        lib.attr.guid = Guid();
        Version(lib.attr.wMajorVerNum, lib.attr.wMinorVerNum);
        lib.attr.lcid = Hex();
        lib.attr.syskind = SysKind();
        lib.helpString = Quoted();
        continue;
      }
      if (!sawLibrary) Fail(word.line, "the library line must come first");
      if (word.Is("interface")) {
        TypeDesc type;
        type.kind = TKIND_INTERFACE;
        for (const std::string& flag : Attributes()) {
          if (flag == "dual") {
            type.flags |= TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
          } else if (flag == "oleautomation") {
            type.flags |= TYPEFLAG_FOLEAUTOMATION;
          } else {
            Fail(word.line, "unknown interface attribute '" + flag + "'");
          }
        }
        type.name = Identifier();
        type.guid = Guid();
        type.baseName = Identifier();
        if (type.baseName != u"IDispatch" && type.baseName != u"IUnknown") {
          Fail(word.line, "an interface derives from IDispatch or IUnknown here");
        }
        type.helpString = Quoted();
        AddType(lib, std::move(type), word.line);
        interface = &lib.types.back();
        continue;
      }
      if (word.Is("propget") || word.Is("propput") || word.Is("method")) {
        if (interface == nullptr) Fail(word.line, "a member must follow its interface");
        FuncDesc func;
        func.invkind = word.Is("propget") ? INVOKE_PROPERTYGET
                       : word.Is("propput") ? INVOKE_PROPERTYPUT
                                            : INVOKE_FUNC;
        func.name = Identifier();
        func.memid = static_cast<MEMBERID>(Integer());
        func.helpString = Quoted();
        func.params = Params();
        func.oVft = static_cast<SHORT>(
            (interface->baseName == u"IDispatch" ? kDispatchSlots : kUnknownSlots) +
            interface->funcs.size());
        CheckMember(*interface, func, word.line);
        interface->funcs.push_back(std::move(func));
        continue;
      }
      if (word.Is("coclass")) {
        interface = nullptr;
        TypeDesc type;
        type.kind = TKIND_COCLASS;
        type.flags = TYPEFLAG_FCANCREATE;
        type.name = Identifier();
        type.guid = Guid();
        type.helpString = Quoted();
        Expect("(");
        bool sawDefault = false;
        while (!PeekIs(")")) {
          if (!type.implemented.empty()) Expect(",");
          bool isDefault = false;
          if (PeekIs("[")) {
            const auto attributes = Attributes();
            isDefault = attributes == std::vector<std::string>{"default"};
            if (!isDefault) Fail(word.line, "a class's interface takes only [default]");
          }
          std::u16string name = Identifier();
          const auto found = std::find_if(lib.types.begin(), lib.types.end(), [&](const TypeDesc& t) {
            return t.kind == TKIND_INTERFACE && t.name == name;
          });
          if (found == lib.types.end()) Fail(word.line, "the class names an unknown interface");
          if (isDefault) {
            if (sawDefault) Fail(word.line, "a class has one default interface");
            sawDefault = true;
            type.implemented.insert(type.implemented.begin(), std::move(name));
          } else {
            type.implemented.push_back(std::move(name));
          }
        }
        Expect(")");
        if (type.implemented.empty()) Fail(word.line, "a class implements at least one interface");
        AddType(lib, std::move(type), word.line);
        continue;
      }
      Fail(word.line, "unknown statement '" + word.text + "'");
    }
    if (!sawLibrary) Fail(1, "the library line is missing");
    return lib;
  }

 private:
  [[nodiscard]] bool AtEnd() const { return next_ >= tokens_.size(); }
  [[nodiscard]] std::size_t Line() const {
    return AtEnd() ? (tokens_.empty() ? 1 : tokens_.back().line) : tokens_[next_].line;
  }
  const Token& Next(std::string_view what) {
    if (AtEnd()) Fail(Line(), "the text ends where " + std::string(what) + " was expected");
    return tokens_[next_++];
  }
  [[nodiscard]] bool PeekIs(std::string_view word) const { return !AtEnd() && tokens_[next_].Is(word); }
  void Expect(std::string_view word) {
    const Token& token = Next("'" + std::string(word) + "'");
    if (!token.Is(word)) Fail(token.line, "'" + std::string(word) + "' was expected, not '" + token.text + "'");
  }

  std::u16string Identifier() {
    const Token& token = Next("a name");
    const bool valid = !token.quoted && !token.text.empty() &&
                       std::all_of(token.text.begin(), token.text.end(), [](char c) {
                         return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '_';
                       }) &&
                       !(token.text[0] >= '0' && token.text[0] <= '9');
    if (!valid) Fail(token.line, "'" + token.text + "' is not a name");
    return Utf8ToUtf16(token.text);
  }
  std::u16string Quoted() {
    const Token& token = Next("a quoted help string");
    if (!token.quoted) Fail(token.line, "a quoted help string was expected, not '" + token.text + "'");
    return Utf8ToUtf16(token.text);
  }
  GUID Guid() {
    const Token& token = Next("a GUID");
    const auto guid = GuidFromString(token.text);
    if (token.quoted || !guid) Fail(token.line, "'" + token.text + "' is not a braced GUID");
    return *guid;
  }
  long long Number(int base) {
    const Token& token = Next("a number");
    long long value = 0;
    const char* begin = token.text.data();
    const char* end = begin + token.text.size();
    const auto [at, error] = std::from_chars(begin, end, value, base);
    if (token.quoted || token.text.empty() || error != std::errc() || at != end) {
      Fail(token.line, "'" + token.text + "' is not a number");
    }
    return value;
  }
  long long Integer() {
    const long long value = Number(10);
    if (value < INT32_MIN || value > INT32_MAX) Fail(Line(), "a DISPID must fit 32 bits");
    return value;
  }
  LCID Hex() {
    const long long value = Number(16);
    if (value < 0 || value > 0xFFFF) Fail(Line(), "a locale is a 16-bit hexadecimal number");
    return static_cast<LCID>(value);
  }
  void Version(WORD& major, WORD& minor) {
    const Token& token = Next("a version");
    const std::size_t dot = token.text.find('.');
    if (token.quoted || dot == std::string::npos) {
      Fail(token.line, "'" + token.text + "' is not a MAJOR.MINOR version");
    }
    unsigned a = 0, b = 0;
    const char* text = token.text.data();
    const auto first = std::from_chars(text, text + dot, a);
    const auto second = std::from_chars(text + dot + 1, text + token.text.size(), b);
    if (first.ec != std::errc() || first.ptr != text + dot ||
        second.ec != std::errc() || second.ptr != text + token.text.size() || a > 0xFFFF || b > 0xFFFF) {
      Fail(token.line, "'" + token.text + "' is not a MAJOR.MINOR version");
    }
    major = static_cast<WORD>(a);
    minor = static_cast<WORD>(b);
  }
  SYSKIND SysKind() {
    const Token& token = Next("a system kind");
    if (token.Is("win16")) return SYS_WIN16;
    if (token.Is("win32")) return SYS_WIN32;
    if (token.Is("mac")) return SYS_MAC;
    if (token.Is("win64")) return SYS_WIN64;
    Fail(token.line, "'" + token.text + "' is not a system kind");
  }
  std::vector<std::string> Attributes() {
    std::vector<std::string> words;
    Expect("[");
    while (true) {
      words.push_back(Next("an attribute").text);
      if (PeekIs("]")) break;
      Expect(",");
    }
    Expect("]");
    return words;
  }

  std::vector<ParamDesc> Params() {
    std::vector<ParamDesc> params;
    Expect("(");
    while (!PeekIs(")")) {
      if (!params.empty()) Expect(",");
      const std::size_t line = Line();
      ParamDesc param;
      if (PeekIs("[")) {
        for (const std::string& attribute : Attributes()) {
          if (attribute == "in") param.flags |= PARAMFLAG_FIN;
          else if (attribute == "out") param.flags |= PARAMFLAG_FOUT;
          else if (attribute == "retval") param.flags |= PARAMFLAG_FRETVAL;
          else Fail(line, "unknown parameter attribute '" + attribute + "'");
        }
      }
      if (param.flags == 0) param.flags = PARAMFLAG_FIN;
      std::string type = Next("a parameter type").text;
      if (!type.empty() && type.back() == '*') {
        param.pointer = true;
        type.pop_back();
      }
      static const std::pair<const char*, VARTYPE> kTypes[] = {
          {"long", VT_I4}, {"short", VT_I2}, {"byte", VT_UI1}, {"float", VT_R4},
          {"double", VT_R8}, {"BSTR", VT_BSTR}, {"VARIANT_BOOL", VT_BOOL}, {"VARIANT", VT_VARIANT}};
      const auto found = std::find_if(std::begin(kTypes), std::end(kTypes),
                                      [&](const auto& entry) { return type == entry.first; });
      if (found == std::end(kTypes)) Fail(line, "unknown parameter type '" + type + "'");
      param.vt = found->second;
      param.name = Identifier();
      if ((param.flags & PARAMFLAG_FRETVAL) != 0 &&
          ((param.flags & PARAMFLAG_FOUT) == 0 || !param.pointer)) {
        Fail(line, "a retval parameter is an [out,retval] pointer");
      }
      if ((param.flags & PARAMFLAG_FRETVAL) == 0 && (param.pointer || (param.flags & PARAMFLAG_FOUT))) {
        Fail(line, "only the retval may be an output here");
      }
      if (!params.empty() && (params.back().flags & PARAMFLAG_FRETVAL) != 0) {
        Fail(line, "the retval parameter comes last");
      }
      params.push_back(std::move(param));
    }
    Expect(")");
    return params;
  }

  static void CheckMember(const TypeDesc& interface, const FuncDesc& func, std::size_t line) {
    const bool hasRetval = func.Retval() != nullptr;
    if (func.invkind == INVOKE_PROPERTYGET && (!hasRetval || func.params.size() != 1)) {
      Fail(line, "a propget member has exactly one [out,retval] parameter");
    }
    if (func.invkind == INVOKE_PROPERTYPUT && (hasRetval || func.params.size() != 1)) {
      Fail(line, "a propput member has exactly one [in] parameter");
    }
    for (const FuncDesc& other : interface.funcs) {
      if (other.memid == func.memid && other.invkind == func.invkind) Fail(line, "the DISPID is used twice");
      if (other.memid == func.memid && !SameName(other.name, func.name)) {
        Fail(line, "members of different names share a DISPID");
      }
      if (other.memid != func.memid && SameName(other.name, func.name)) {
        Fail(line, "members of the same name have different DISPIDs");
      }
    }
  }

  static void AddType(TypeLibData& lib, TypeDesc type, std::size_t line) {
    for (const TypeDesc& other : lib.types) {
      if (other.guid == type.guid) Fail(line, "the GUID is used twice");
      if (SameName(other.name, type.name)) Fail(line, "the name is used twice");
    }
    lib.types.push_back(std::move(type));
  }

  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

}  // namespace

std::size_t FuncDesc::CallerParams() const noexcept {
  return params.size() - (Retval() != nullptr ? 1 : 0);
}

const ParamDesc* FuncDesc::Retval() const noexcept {
  return !params.empty() && (params.back().flags & PARAMFLAG_FRETVAL) != 0 ? &params.back() : nullptr;
}

TypeLibData ParseTypeLib(std::string_view text) { return Parser(Tokenize(text)).Library(); }

}  // namespace quillgate::com
