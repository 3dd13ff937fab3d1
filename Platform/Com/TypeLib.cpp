#include "Platform/Com/TypeLib.h"

#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/ModuleFile.h"
#include "Platform/Com/Object.h"
#include "Platform/Com/Registry.h"
#include "Platform/Com/Utf.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace quillgate::com {
namespace {

constexpr std::string_view kTextHeader = "QUILLGATE TYPELIB";
constexpr std::string_view kTypeLibResourceType = "TYPELIB";
constexpr int kTypeLibResourceId = 1;

bool SameName(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

HRESULT CopyText(std::u16string_view text, BSTR* out) {
  if (out == nullptr) return S_OK;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The out-parameters of GetDocumentation, for a library, a type or a member alike: each may
// be null; on failure nothing allocated here is left behind.
HRESULT WriteDocumentation(std::u16string_view nameText, std::u16string_view helpText, BSTR* name,
                           BSTR* docString, DWORD* helpContext, BSTR* helpFile) {
  if (helpContext != nullptr) *helpContext = 0;
  if (helpFile != nullptr) *helpFile = nullptr;
  if (docString != nullptr) *docString = nullptr;
  if (const HRESULT hr = CopyText(nameText, name); FAILED(hr)) return hr;
  if (const HRESULT hr = CopyText(helpText, docString); FAILED(hr)) {
    if (name != nullptr) SysFreeString(*name);
    return hr;
  }
  return S_OK;
}

using Data = std::shared_ptr<const TypeLibData>;

class TypeInfoObject : public ITypeInfo {
 public:
  void* InternalQueryInterface(REFIID riid) noexcept {
    return riid == IID_ITypeInfo ? static_cast<ITypeInfo*>(this) : nullptr;
  }

  HRESULT GetTypeAttr(TYPEATTR** out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = new (std::nothrow) TYPEATTR{Type().guid, data_->attr.lcid, Type().kind,
                                       static_cast<WORD>(Type().funcs.size()),
                                       static_cast<WORD>(Type().implemented.size()),
                                       static_cast<WORD>(Slots() * sizeof(void*)), Type().flags,
                                       data_->attr.wMajorVerNum, data_->attr.wMinorVerNum};
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

  HRESULT GetFuncDesc(UINT index, const FuncDesc** desc) override {
    if (desc == nullptr) return E_INVALIDARG;
    if (index >= Type().funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
    *desc = &Type().funcs[index];
    return S_OK;
  }

  HRESULT GetNames(MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) override {
    if (names == nullptr || count == nullptr) return E_INVALIDARG;
    *count = 0;
    const FuncDesc* func = FindById(memid);
    if (func == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    std::vector<std::u16string_view> all{func->name};
    for (const ParamDesc& param : func->params) all.push_back(param.name);
    for (UINT i = 0; i < maxNames && i < all.size(); ++i) {
      if (const HRESULT hr = CopyText(all[i], &names[i]); FAILED(hr)) {
        for (UINT k = 0; k < i; ++k) SysFreeString(names[k]);
        return hr;
      }
      *count = i + 1;
    }
    return S_OK;
  }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (names == nullptr || ids == nullptr) return E_INVALIDARG;
    if (count == 0) return S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const FuncDesc* func = nullptr;
    if (names[0] != nullptr) {
      for (const FuncDesc& candidate : Type().funcs) {
        if (SameName(candidate.name, names[0])) {
          func = &candidate;
          break;
        }
      }
    }
    if (func == nullptr) return DISP_E_UNKNOWNNAME;
    ids[0] = func->memid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
      // Parameter names: the position among the member's parameters (any propget/propput
      // sibling of the same DISPID may name them).
      bool found = false;
      for (const FuncDesc& sibling : Type().funcs) {
        if (sibling.memid != func->memid || names[i] == nullptr) continue;
        for (std::size_t p = 0; p < sibling.params.size() && !found; ++p) {
          if (SameName(sibling.params[p].name, names[i])) {
            ids[i] = static_cast<DISPID>(p);
            found = true;
          }
        }
      }
      if (!found) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }

  HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString, DWORD* helpContext,
                           BSTR* helpFile) override {
    std::u16string_view nameText = Type().name;
    std::u16string_view helpText = Type().helpString;
    if (memid != MEMBERID_NIL) {
      const FuncDesc* func = FindById(memid);
      if (func == nullptr) return TYPE_E_ELEMENTNOTFOUND;
      nameText = func->name;
      helpText = func->helpString;
    }
    return WriteDocumentation(nameText, helpText, name, docString, helpContext, helpFile);
  }

  HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
    if (lib == nullptr) return E_INVALIDARG;
    *lib = ComPtr<ITypeLib>(lib_).Detach();
    if (index != nullptr) *index = index_;
    return S_OK;
  }

 protected:
  TypeInfoObject(ITypeLib* lib, Data data, UINT index)
      : lib_(lib), data_(std::move(data)), index_(index) {}
  ~TypeInfoObject() = default;

 private:
  [[nodiscard]] const TypeDesc& Type() const { return data_->types[index_]; }
  [[nodiscard]] std::size_t Slots() const {
    if (Type().kind != TKIND_INTERFACE) return 0;
    return (Type().baseName == u"IDispatch" ? 7 : 3) + Type().funcs.size();
  }
  [[nodiscard]] const FuncDesc* FindById(MEMBERID memid) const {
    for (const FuncDesc& func : Type().funcs) {
      if (func.memid == memid) return &func;
    }
    return nullptr;
  }

  ComPtr<ITypeLib> lib_;
  Data data_;
  UINT index_;
};

class TypeLibObject : public ITypeLib {
 public:
  void* InternalQueryInterface(REFIID riid) noexcept {
    return riid == IID_ITypeLib ? static_cast<ITypeLib*>(this) : nullptr;
  }

  UINT GetTypeInfoCount() override { return static_cast<UINT>(data_->types.size()); }

  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override {
    if (info == nullptr) return E_INVALIDARG;
    *info = nullptr;
    if (index >= data_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
    IUnknown* object = ComObject<TypeInfoObject>::Create(nullptr, this, data_, index);
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(info));
    object->Release();
    return hr;
  }

  HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (kind == nullptr) return E_INVALIDARG;
    if (index >= data_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = data_->types[index].kind;
    return S_OK;
  }

  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
    if (info == nullptr) return E_INVALIDARG;
    *info = nullptr;
    for (UINT i = 0; i < data_->types.size(); ++i) {
      if (data_->types[i].guid == guid) return GetTypeInfo(i, info);
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }

  HRESULT GetLibAttr(TLIBATTR** attr) override {
    if (attr == nullptr) return E_INVALIDARG;
    *attr = new (std::nothrow) TLIBATTR(data_->attr);
    return *attr != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  void ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

  HRESULT GetDocumentation(int index, BSTR* name, BSTR* docString, DWORD* helpContext,
                           BSTR* helpFile) override {
    if (index >= 0 && static_cast<std::size_t>(index) >= data_->types.size()) {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    if (index < -1) return TYPE_E_ELEMENTNOTFOUND;
    const std::u16string_view nameText = index < 0 ? data_->name : data_->types[index].name;
    const std::u16string_view helpText =
        index < 0 ? data_->helpString : data_->types[index].helpString;
    return WriteDocumentation(nameText, helpText, name, docString, helpContext, helpFile);
  }

 protected:
  explicit TypeLibObject(Data data) : data_(std::move(data)) {}
  ~TypeLibObject() = default;

 private:
  Data data_;
};

// ---- registry forms -----------------------------------------------------------------------

std::string HexText(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

std::string VersionText(WORD major, WORD minor) { return HexText(major) + "." + HexText(minor); }

const char* SysKindName(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16: return "win16";
    case SYS_WIN32: return "win32";
    case SYS_MAC: return "mac";
    case SYS_WIN64: return "win64";
  }
  return "win32";
}

bool ParseHex(std::string_view text, unsigned& value) {
  if (text.empty() || text.size() > 8) return false;
  value = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    value = value << 4 | static_cast<unsigned>(digit);
  }
  return true;
}

HRESULT Failure(HRESULT hr, const std::string& description) {
  ReportError(IID_ITypeLib, u"TypeLib", Utf8ToUtf16(description));
  return hr;
}

}  // namespace

HRESULT CreateTypeLib(TypeLibData data, ITypeLib** lib) noexcept {
  if (lib == nullptr) return E_INVALIDARG;
  *lib = nullptr;
  try {
    auto shared = std::make_shared<const TypeLibData>(std::move(data));
    IUnknown* object = ComObject<TypeLibObject>::Create(nullptr, std::move(shared));
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(IID_ITypeLib, reinterpret_cast<void**>(lib));
    object->Release();
    return hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** lib) noexcept {
  if (file == nullptr || lib == nullptr) return E_INVALIDARG;
  *lib = nullptr;
  try {
    const std::string path = Utf16ToUtf8(file);
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure(TYPE_E_CANTLOADLIBRARY, "cannot open " + path);
    char head[4] = {};
    in.read(head, sizeof head);
    std::string text;
    if (in.gcount() == 4 && std::string_view(head, 4) == "\x7F" "ELF") {
      in.close();
      const auto bytes = ReadModuleResource(path, kTypeLibResourceType, kTypeLibResourceId);
      if (!bytes) return Failure(TYPE_E_CANTLOADLIBRARY, path + " carries no type library");
      text.assign(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    } else {
      in.clear();
      in.seekg(0);
      std::ostringstream all;
      all << in.rdbuf();
      text = all.str();
      if (!text.starts_with(kTextHeader)) {
        return Failure(TYPE_E_CANTLOADLIBRARY, path + " is neither a module nor a type library");
      }
    }
    TypeLibData data;
    try {
      data = ParseTypeLib(text);
    } catch (const TypeLibFormatError& e) {
      return Failure(TYPE_E_INVDATAREAD, "the type library in " + path + " is damaged: " + e.what());
    }
    return CreateTypeLib(std::move(data), lib);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    return Failure(TYPE_E_CANTLOADLIBRARY, e.what());
  }
}

HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) noexcept {
  if (lib == nullptr || fullPath == nullptr) return E_INVALIDARG;
  try {
    TLIBATTR* attr = nullptr;
    if (const HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) return hr;
    const TLIBATTR libAttr = *attr;
    lib->ReleaseTLibAttr(attr);
    BString name;
    BString doc;
    if (const HRESULT hr = lib->GetDocumentation(-1, name.Out(), doc.Out(), nullptr, nullptr); FAILED(hr)) {
      return hr;
    }
    struct Interface {
      std::string iid;
      std::string name;
    };
    std::vector<Interface> interfaces;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
      ComPtr<ITypeInfo> info;
      if (const HRESULT hr = lib->GetTypeInfo(i, info.Out()); FAILED(hr)) return hr;
      TYPEATTR* type = nullptr;
      if (const HRESULT hr = info->GetTypeAttr(&type); FAILED(hr)) return hr;
      const bool automation = (type->typekind == TKIND_INTERFACE || type->typekind == TKIND_DISPATCH) &&
                              (type->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION)) != 0;
      const GUID iid = type->guid;
      info->ReleaseTypeAttr(type);
      if (!automation) continue;
      BString typeName;
      if (const HRESULT hr = info->GetDocumentation(MEMBERID_NIL, typeName.Out(), nullptr, nullptr, nullptr);
          FAILED(hr)) {
        return hr;
      }
      interfaces.push_back({GuidToString(iid), Utf16ToUtf8(typeName.View())});
    }
    const std::string libId = GuidToString(libAttr.guid);
    const std::string version = VersionText(libAttr.wMajorVerNum, libAttr.wMinorVerNum);
    const std::string path = Utf16ToUtf8(fullPath);
    const std::string help = helpDir != nullptr ? Utf16ToUtf8(helpDir) : std::string();
    const std::u16string_view title = doc.View().empty() ? name.View() : doc.View();
    const std::string proxy = GuidToString(CLSID_PSOAInterface);
    registry::Update([&](registry::Key& root) {
      registry::Key& versionKey = root.Create("TypeLib\\" + libId + "\\" + version);
      versionKey.defaultValue = Utf16ToUtf8(title);
      versionKey.Create(HexText(libAttr.lcid) + "\\" + SysKindName(libAttr.syskind)).defaultValue = path;
      versionKey.Create("FLAGS").defaultValue = std::to_string(libAttr.wLibFlags);
      versionKey.Create("HELPDIR").defaultValue = help;
      for (const Interface& interface : interfaces) {
        registry::Key& key = root.Create("Interface\\" + interface.iid);
        key.defaultValue = interface.name;
        key.Create("ProxyStubClsid").defaultValue = proxy;
        key.Create("ProxyStubClsid32").defaultValue = proxy;
        registry::Key& typeLib = key.Create("TypeLib");
        typeLib.defaultValue = libId;
        typeLib.values["Version"] = version;
      }
    });
    return S_OK;
  } catch (const registry::RegistryError& e) {
    return Failure(TYPE_E_REGISTRYACCESS, e.what());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT UnRegisterTypeLib(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND syskind) noexcept {
  try {
    const std::string id = GuidToString(libId);
    const std::string version = VersionText(major, minor);
    const std::string versionPath = "TypeLib\\" + id + "\\" + version;
    bool found = false;
    registry::Update([&](registry::Key& root) {
      registry::Key* versionKey = root.Find(versionPath);
      registry::Key* localeKey = versionKey ? versionKey->Find(HexText(lcid)) : nullptr;
      if (localeKey == nullptr || !localeKey->Remove(SysKindName(syskind))) return;
      found = true;
      if (localeKey->Subkeys().empty()) versionKey->Remove(HexText(lcid));
      // The version stays while another locale still points at a file.
      for (const auto& [name, key] : versionKey->Subkeys()) {
        unsigned ignored = 0;
        if (ParseHex(name, ignored)) return;
      }
      root.Remove(versionPath);
      if (registry::Key* libKey = root.Find("TypeLib\\" + id); libKey && libKey->Subkeys().empty()) {
        root.Remove("TypeLib\\" + id);
      }
      if (registry::Key* interfaces = root.Find("Interface")) {
        std::vector<std::string> owned;
        for (const auto& [name, key] : interfaces->Subkeys()) {
          const registry::Key* typeLib = key.Find("TypeLib");
          if (typeLib == nullptr || !typeLib->defaultValue) continue;
          const auto parsed = GuidFromString(*typeLib->defaultValue);
          const auto versionValue = typeLib->values.find("Version");
          if (parsed && *parsed == libId && versionValue != typeLib->values.end() &&
              versionValue->second == version) {
            owned.push_back(name);
          }
        }
        for (const std::string& name : owned) interfaces->Remove(name);
      }
    });
    return found ? S_OK : TYPE_E_LIBNOTREGISTERED;
  } catch (const registry::RegistryError& e) {
    return Failure(TYPE_E_REGISTRYACCESS, e.what());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT LoadRegTypeLib(REFGUID libId, WORD major, WORD minor, LCID lcid, ITypeLib** lib) noexcept {
  if (lib == nullptr) return E_INVALIDARG;
  *lib = nullptr;
  std::string path;
  try {
    const registry::Key root = registry::Read();
    const registry::Key* libKey = root.Find("TypeLib\\" + GuidToString(libId));
    if (libKey == nullptr) return TYPE_E_LIBNOTREGISTERED;
    const registry::Key* best = nullptr;
    unsigned bestMinor = 0;
    for (const auto& [name, key] : libKey->Subkeys()) {
      const std::size_t dot = name.find('.');
      unsigned keyMajor = 0;
      unsigned keyMinor = 0;
      if (dot == std::string::npos || !ParseHex(std::string_view(name).substr(0, dot), keyMajor) ||
          !ParseHex(std::string_view(name).substr(dot + 1), keyMinor)) {
        continue;
      }
      if (keyMajor == major && keyMinor >= minor && (best == nullptr || keyMinor > bestMinor)) {
        best = &key;
        bestMinor = keyMinor;
      }
    }
    if (best == nullptr) return TYPE_E_LIBNOTREGISTERED;
    const registry::Key* localeKey = nullptr;
    for (const unsigned candidate : {lcid, lcid & 0x3FFu, 0u}) {
      if ((localeKey = best->Find(HexText(candidate))) != nullptr) break;
    }
    if (localeKey == nullptr) {
      for (const auto& [name, key] : best->Subkeys()) {
        unsigned ignored = 0;
        if (ParseHex(name, ignored)) {
          localeKey = &key;
          break;
        }
      }
    }
    if (localeKey == nullptr) return TYPE_E_LIBNOTREGISTERED;
    const registry::Key* file = localeKey->Find("win32");
    if (file == nullptr) file = localeKey->Find("win64");
    if (file == nullptr || !file->defaultValue || file->defaultValue->empty()) {
      return TYPE_E_LIBNOTREGISTERED;
    }
    path = *file->defaultValue;
  } catch (const registry::RegistryError& e) {
    return Failure(TYPE_E_LIBNOTREGISTERED, e.what());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  ComPtr<ITypeLib> loaded;
  const std::u16string widePath = Utf8ToUtf16(path);
  if (const HRESULT hr = LoadTypeLib(widePath.c_str(), loaded.Out()); FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  if (const HRESULT hr = loaded->GetLibAttr(&attr); FAILED(hr)) return hr;
  const bool same = attr->guid == libId && attr->wMajorVerNum == major;
  loaded->ReleaseTLibAttr(attr);
  // A registration that points at some other library is as good as none.
  if (!same) return TYPE_E_LIBNOTREGISTERED;
  *lib = loaded.Detach();
  return S_OK;
}

}  // namespace quillgate::com
