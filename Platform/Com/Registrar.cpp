#include "Platform/Com/Registrar.h"

#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/ModuleFile.h"
#include "Platform/Com/Object.h"
#include "Platform/Com/Registry.h"
#include "Platform/Com/Utf.h"

#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

namespace quillgate::com {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// ---- preprocessing: %NAME% replacements ---------------------------------------------------

std::string Preprocess(std::string_view script, const Replacements& replacements) {
  std::string out;
  out.reserve(script.size());
  std::size_t line = 1;
  for (std::size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (c == '\n') ++line;
    if (c != '%') {
      out += c;
      continue;
    }
    const std::size_t close = script.find('%', i + 1);
    const std::size_t newline = script.find('\n', i + 1);
    if (close == std::string_view::npos || close > newline) {
      throw ScriptError("line " + std::to_string(line) + ": a '%' has no closing '%'");
    }
    const std::string name(script.substr(i + 1, close - i - 1));
    if (name.empty()) {
      out += '%';  // %% is a literal percent sign
    } else {
      const auto found = replacements.find(name);
      if (found == replacements.end()) {
        throw ScriptError("line " + std::to_string(line) + ": no replacement for %" + name + "%");
      }
      out += found->second;
    }
    i = close;
  }
  return out;
}

// ---- tokens -------------------------------------------------------------------------------

struct Token {
  std::string text;
  bool quoted = false;
  std::size_t line = 0;
  [[nodiscard]] bool Is(std::string_view word) const { return !quoted && SameWord(text, word); }
};

std::vector<Token> Tokenize(std::string_view script) {
  std::vector<Token> tokens;
  std::size_t line = 1;
  std::size_t i = 0;
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < script.size()) {
    if (isSpace(script[i])) {
      if (script[i] == '\n') ++line;
      ++i;
      continue;
    }
    Token token;
    token.line = line;
    if (script[i] == '\'') {
      token.quoted = true;
      ++i;
      while (true) {
        if (i >= script.size()) {
          throw ScriptError("line " + std::to_string(token.line) + ": a quoted text is not closed");
        }
        if (script[i] == '\'') {
          if (i + 1 < script.size() && script[i + 1] == '\'') {
            token.text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (script[i] == '\n') ++line;
        token.text += script[i++];
      }
    } else {
      while (i < script.size() && !isSpace(script[i])) token.text += script[i++];
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

// ---- the parsed script --------------------------------------------------------------------

enum class KeyFlag { None, NoRemove, ForceRemove, Delete };

constexpr std::size_t kMaxScriptDepth = 128;

struct Item {
  bool isValue = false;  // `val Name = s 'text'`
  KeyFlag flag = KeyFlag::None;
  std::string name;
  std::optional<std::string> data;
  std::vector<Item> body;
};

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  std::vector<Item> Script() {
    std::vector<Item> roots;
    while (!AtEnd()) {
      const Token& root = Next("a root key");
      if (!root.Is("HKCR") && !root.Is("HKEY_CLASSES_ROOT")) {
        Fail(root, "only HKEY_CLASSES_ROOT (HKCR) can be written, not '" + root.text + "'");
      }
      Expect("{");
      roots.push_back(Item{false, KeyFlag::NoRemove, "", std::nullopt, Body(0)});
    }
    return roots;
  }

 private:
  [[noreturn]] static void Fail(const Token& at, const std::string& reason) {
    throw ScriptError("line " + std::to_string(at.line) + ": " + reason);
  }
  [[nodiscard]] bool AtEnd() const { return next_ >= tokens_.size(); }
  const Token& Next(std::string_view what) {
    if (AtEnd()) {
      throw ScriptError("the script ends where " + std::string(what) + " was expected");
    }
    return tokens_[next_++];
  }
  [[nodiscard]] bool PeekIs(std::string_view word) const {
    return !AtEnd() && tokens_[next_].Is(word);
  }
  void Expect(std::string_view word) {
    const Token& token = Next("'" + std::string(word) + "'");
    if (!token.Is(word)) Fail(token, "'" + std::string(word) + "' was expected, not '" + token.text + "'");
  }

  std::string Value() {
    Expect("=");
    const Token& type = Next("a value type");
    if (!type.Is("s")) {
      Fail(type, "only string values (s) are supported, not '" + type.text + "'");
    }
    const Token& text = Next("a quoted value");
    if (!text.quoted) Fail(text, "a value must be quoted: '" + text.text + "'");
    return text.text;
  }

  // Keys nest as deep as the registry allows them (and no deeper than the stack can follow).
  std::vector<Item> Body(std::size_t depth) {
    const bool atRoot = depth == 0;
    std::vector<Item> items;
    while (true) {
      const Token& token = Next("'}'");
      if (token.Is("}")) return items;
      Item item;
      if (token.Is("val")) {
        if (atRoot) Fail(token, "HKEY_CLASSES_ROOT itself has no values");
        item.isValue = true;
        item.name = Name(Next("a value name"));
        item.data = Value();
        items.push_back(std::move(item));
        continue;
      }
      const Token* name = &token;
      if (token.Is("NoRemove")) item.flag = KeyFlag::NoRemove;
      if (token.Is("ForceRemove")) item.flag = KeyFlag::ForceRemove;
      if (token.Is("Delete")) item.flag = KeyFlag::Delete;
      if (item.flag != KeyFlag::None) name = &Next("a key name");
      item.name = Name(*name);
      if (PeekIs("=")) item.data = Value();
      if (PeekIs("{")) {
        if (depth + 1 >= kMaxScriptDepth) {
          Fail(tokens_[next_], "keys are nested more than " + std::to_string(kMaxScriptDepth) + " deep");
        }
        Expect("{");
        item.body = Body(depth + 1);
      }
      items.push_back(std::move(item));
    }
  }

  static std::string Name(const Token& token) {
    if (!token.quoted && (token.text == "{" || token.text == "}" || token.text == "=")) {
      Fail(token, "a name was expected, not '" + token.text + "'");
    }
    if (token.text.empty()) Fail(token, "a name is empty");
    if (token.text.find('\\') != std::string::npos) {
      Fail(token, "a key name cannot contain a backslash: '" + token.text + "'");
    }
    for (const char c : token.text) {
      if (static_cast<unsigned char>(c) < 0x20) Fail(token, "a name contains a control character");
    }
    return token.text;
  }

  std::vector<Token> tokens_;
  std::size_t next_ = 0;
};

// ---- applying it --------------------------------------------------------------------------

void Register(registry::Key& parent, const std::vector<Item>& items) {
  for (const Item& item : items) {
    if (item.isValue) {
      parent.values[item.name] = *item.data;
      continue;
    }
    if (item.flag == KeyFlag::Delete) {
      parent.Remove(item.name);
      continue;
    }
    if (item.flag == KeyFlag::ForceRemove) parent.Remove(item.name);
    registry::Key& key = parent.Create(item.name);
    if (item.data) key.defaultValue = *item.data;
    Register(key, item.body);
  }
}

void Unregister(registry::Key& parent, const std::vector<Item>& items) {
  for (const Item& item : items) {
    if (item.isValue) {
      parent.values.erase(item.name);
      continue;
    }
    switch (item.flag) {
      case KeyFlag::Delete:
        break;
      case KeyFlag::ForceRemove:
        parent.Remove(item.name);
        break;
      case KeyFlag::NoRemove:
        if (registry::Key* key = parent.Find(item.name)) Unregister(*key, item.body);
        break;
      case KeyFlag::None:
        if (registry::Key* key = parent.Find(item.name)) {
          Unregister(*key, item.body);
          // Subkeys that other components added keep the key alive.
          if (key->Subkeys().empty()) parent.Remove(item.name);
        }
        break;
    }
  }
}

// ---- the registrar object -----------------------------------------------------------------

HRESULT Report(HRESULT hr, const std::string& description) {
  ReportError(IID_IRegistrar, u"Registrar", Utf8ToUtf16(description));
  return hr;
}

class RegistrarObject : public IRegistrar {
 public:
  void* InternalQueryInterface(REFIID riid) noexcept {
    return riid == IID_IRegistrar ? static_cast<IRegistrar*>(this) : nullptr;
  }

  HRESULT AddReplacement(LPCOLESTR key, LPCOLESTR item) override {
    if (key == nullptr || item == nullptr) return E_INVALIDARG;
    try {
      const std::scoped_lock lock(mutex_);
      replacements_[Utf16ToUtf8(key)] = Utf16ToUtf8(item);
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT ClearReplacements() override {
    const std::scoped_lock lock(mutex_);
    replacements_.clear();
    return S_OK;
  }
  HRESULT ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) override {
    return FromResourceSz(file, id, type, ScriptMode::Register);
  }
  HRESULT ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) override {
    return FromResourceSz(file, id, type, ScriptMode::Unregister);
  }
  HRESULT FileRegister(LPCOLESTR file) override { return FromFile(file, ScriptMode::Register); }
  HRESULT FileUnregister(LPCOLESTR file) override { return FromFile(file, ScriptMode::Unregister); }
  HRESULT StringRegister(LPCOLESTR data) override { return FromString(data, ScriptMode::Register); }
  HRESULT StringUnregister(LPCOLESTR data) override {
    return FromString(data, ScriptMode::Unregister);
  }
  HRESULT ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) override {
    return FromResource(file, id, type, ScriptMode::Register);
  }
  HRESULT ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) override {
    return FromResource(file, id, type, ScriptMode::Unregister);
  }

 protected:
  RegistrarObject() = default;
  ~RegistrarObject() = default;

 private:
  HRESULT Run(std::string_view script, ScriptMode mode) {
    try {
      Replacements replacements;
      {
        const std::scoped_lock lock(mutex_);
        replacements = replacements_;
      }
      RunRegistryScript(script, replacements, mode);
      return S_OK;
    } catch (const ScriptError& e) {
      return Report(DISP_E_EXCEPTION, std::string("registry script: ") + e.what());
    } catch (const registry::RegistryError& e) {
      return Report(REGDB_E_WRITEREGDB, e.what());
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      return Report(E_FAIL, e.what());
    }
  }

  HRESULT FromString(LPCOLESTR data, ScriptMode mode) {
    if (data == nullptr) return E_INVALIDARG;
    try {
      return Run(Utf16ToUtf8(data), mode);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT FromFile(LPCOLESTR file, ScriptMode mode) {
    if (file == nullptr) return E_INVALIDARG;
    try {
      const std::string path = Utf16ToUtf8(file);
      std::ifstream in(path, std::ios::binary);
      if (!in) return Report(HRESULT_FROM_WIN32_FILE_NOT_FOUND, "cannot open " + path);
      std::ostringstream text;
      text << in.rdbuf();
      return Run(text.str(), mode);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT FromResourceSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type, ScriptMode mode) {
    if (id == nullptr) return E_INVALIDARG;
    UINT number = 0;
    const std::u16string_view text(id);
    if (text.empty() || text.size() > 9) return HRESULT_FROM_WIN32_RESOURCE_NAME_NOT_FOUND;
    for (const char16_t c : text) {
      if (c < u'0' || c > u'9') return HRESULT_FROM_WIN32_RESOURCE_NAME_NOT_FOUND;
      number = number * 10 + static_cast<UINT>(c - u'0');
    }
    return FromResource(file, number, type, mode);
  }

  HRESULT FromResource(LPCOLESTR file, UINT id, LPCOLESTR type, ScriptMode mode) {
    if (file == nullptr || type == nullptr) return E_INVALIDARG;
    try {
      const std::string path = Utf16ToUtf8(file);
      const std::string typeName = Utf16ToUtf8(type);
      std::optional<std::vector<std::byte>> bytes;
      try {
        bytes = ReadModuleResource(path, typeName, static_cast<int>(id));
      } catch (const std::runtime_error& e) {
        return Report(HRESULT_FROM_WIN32_FILE_NOT_FOUND, e.what());
      }
      if (!bytes) {
        return Report(HRESULT_FROM_WIN32_RESOURCE_NAME_NOT_FOUND,
                      path + " has no resource \"" + typeName + "\" " + std::to_string(id));
      }
      return Run(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                 mode);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  std::mutex mutex_;
  Replacements replacements_;
};

}  // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const noexcept {
  return registry::NameLess{}(a, b);
}

void RunRegistryScript(std::string_view script, const Replacements& replacements, ScriptMode mode) {
  const std::vector<Item> roots = Parser(Tokenize(Preprocess(script, replacements))).Script();
  registry::Update([&](registry::Key& root) {
    for (const Item& item : roots) {
      if (mode == ScriptMode::Register) {
        Register(root, item.body);
      } else {
        Unregister(root, item.body);
      }
    }
  });
}

HRESULT CreateRegistrar(IUnknown* outer, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  IUnknown* object = ComObject<RegistrarObject>::Create(outer);
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

}  // namespace quillgate::com
