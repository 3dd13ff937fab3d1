#include "Platform/Com/Runtime.h"

#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/Object.h"
#include "Platform/Com/Registrar.h"
#include "Platform/Com/Registry.h"
#include "Platform/Com/Utf.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <chrono>
#include <map>
#include <optional>
#include <mutex>
#include <string>

namespace quillgate::com {
namespace {

HRESULT Failure(HRESULT hr, const std::string& description) {
  ReportError(IID_IClassFactory, u"Quillgate runtime", Utf8ToUtf16(description));
  return hr;
}

// ---- the built-in registrar's class object ------------------------------------------------

class RegistrarFactory : public IClassFactory {
 public:
  void* InternalQueryInterface(REFIID riid) noexcept {
    return riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
  }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    return CreateRegistrar(outer, riid, ppv);
  }
  HRESULT LockServer(int) override { return S_OK; }  // built in: never unloaded

 protected:
  RegistrarFactory() = default;
  ~RegistrarFactory() = default;
};

// ---- loaded libraries -----------------------------------------------------------------

// A library stays loaded while anyone between lookup and the end of a factory call holds a
// pin on it: CoFreeUnusedLibraries on another thread must not unload code that is about to
// run or still running (the library's DllCanUnloadNow cannot know about such callers).
//
// Pins cannot cover the end of a release: a library's object drops its lock count inside
// its own Release, whose last instructions still run in the library after DllCanUnloadNow
// has begun to say yes. So a library is unloaded only once it has been found unused at
// every look for a whole delay; any lookup in between starts the wait again.
struct LoadedLibrary {
  void* handle = nullptr;
  int pins = 0;
  std::optional<std::chrono::steady_clock::time_point> unusedSince;
};

struct Libraries {
  std::mutex mutex;
  std::map<std::string, LoadedLibrary> loaded;  // by the path the registry names
};

Libraries& LoadedLibraries() {
  static Libraries libraries;
  return libraries;
}

// Keeps one loaded library from being unloaded until it goes.
class LibraryPin {
 public:
  LibraryPin() = default;
  LibraryPin(const LibraryPin&) = delete;
  LibraryPin& operator=(const LibraryPin&) = delete;
  ~LibraryPin() { Reset(); }

  void Hold(LoadedLibrary& library) noexcept {  // called under the libraries' lock
    Reset();
    ++library.pins;
    library.unusedSince.reset();
    library_ = &library;
  }
  void Reset() noexcept {
    if (library_ == nullptr) return;
    Libraries& libraries = LoadedLibraries();
    const std::scoped_lock lock(libraries.mutex);
    --library_->pins;  // map nodes stay put while pinned
    library_ = nullptr;
  }

 private:
  LoadedLibrary* library_ = nullptr;
};

HRESULT LoadServer(const std::string& path, DllGetClassObjectFunction* entry, LibraryPin& pin) {
  Libraries& libraries = LoadedLibraries();
  const std::scoped_lock lock(libraries.mutex);
  auto found = libraries.loaded.find(path);
  if (found == libraries.loaded.end()) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      return Failure(CO_E_DLLNOTFOUND, "cannot load " + path + ": " + (reason ? reason : "unknown"));
    }
    found = libraries.loaded.emplace(path, LoadedLibrary{handle, 0, std::nullopt}).first;
  }
  void* symbol = ::dlsym(found->second.handle, "DllGetClassObject");
  if (symbol == nullptr) {
    return Failure(CO_E_ERRORINDLL, path + " does not export DllGetClassObject");
  }
  *entry = reinterpret_cast<DllGetClassObjectFunction>(symbol);
  pin.Hold(found->second);
  return S_OK;
}

// CoGetClassObject with the server library pinned until `pin` goes.
HRESULT GetClassObject(REFCLSID clsid, DWORD context, REFIID riid, void** ppv, LibraryPin& pin) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) == 0) {
    // Only in-process servers exist here.
    return REGDB_E_CLASSNOTREG;
  }
  if (clsid == CLSID_Registrar) {
    IUnknown* factory = ComObject<RegistrarFactory>::Create(nullptr);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  std::string path;
  try {
    const registry::Key root = registry::Read();
    const registry::Key* server =
        root.Find("CLSID\\" + GuidToString(clsid) + "\\InprocServer32");
    if (server == nullptr || !server->defaultValue || server->defaultValue->empty()) {
      return REGDB_E_CLASSNOTREG;
    }
    path = *server->defaultValue;
  } catch (const registry::RegistryError& e) {
    return Failure(REGDB_E_READREGDB, e.what());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  DllGetClassObjectFunction entry = nullptr;
  if (const HRESULT hr = LoadServer(path, &entry, pin); FAILED(hr)) return hr;
  return entry(clsid, riid, ppv);
}

}  // namespace

void* CoTaskMemAlloc(std::size_t bytes) noexcept { return std::malloc(bytes); }
void CoTaskMemFree(void* memory) noexcept { std::free(memory); }

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) noexcept {
  if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
  try {
    const std::string name = Utf16ToUtf8(progId);
    if (name.empty() || name.find('\\') != std::string::npos) return CO_E_CLASSSTRING;
    const registry::Key root = registry::Read();
    const registry::Key* key = root.Find(name + "\\CLSID");
    if (key == nullptr || !key->defaultValue) return CO_E_CLASSSTRING;
    const auto parsed = GuidFromString(*key->defaultValue);
    if (!parsed) return CO_E_CLASSSTRING;
    *clsid = *parsed;
    return S_OK;
  } catch (const registry::RegistryError& e) {
    return Failure(REGDB_E_READREGDB, e.what());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) noexcept {
  if (progId == nullptr) return E_INVALIDARG;
  *progId = nullptr;
  try {
    const registry::Key root = registry::Read();
    const registry::Key* key = root.Find("CLSID\\" + GuidToString(clsid) + "\\ProgID");
    if (key == nullptr || !key->defaultValue || key->defaultValue->empty()) {
      return REGDB_E_CLASSNOTREG;
    }
    const std::u16string text = Utf8ToUtf16(*key->defaultValue);
    auto* copy = static_cast<OLECHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
    *progId = copy;
    return S_OK;
  } catch (const registry::RegistryError& e) {
    return Failure(REGDB_E_READREGDB, e.what());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*serverInfo*/, REFIID riid,
                         void** ppv) noexcept {
  // The class object keeps its library loaded from here on (the library counts it).
  LibraryPin pin;
  return GetClassObject(clsid, context, riid, ppv, pin);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  // Pinned until the factory is released: a library need not count its class object,
  // so nothing else keeps it loaded between lookup and the end of these calls.
  LibraryPin pin;
  IClassFactory* factory = nullptr;
  if (const HRESULT hr = GetClassObject(clsid, context, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory), pin);
      FAILED(hr)) {
    return hr;
  }
  const HRESULT hr = factory->CreateInstance(outer, riid, ppv);
  factory->Release();
  return hr;
}

void CoFreeUnusedLibrariesEx(DWORD unloadDelayMs, DWORD /*reserved*/) noexcept {
  const auto now = std::chrono::steady_clock::now();
  Libraries& libraries = LoadedLibraries();
  const std::scoped_lock lock(libraries.mutex);
  for (auto it = libraries.loaded.begin(); it != libraries.loaded.end();) {
    LoadedLibrary& library = it->second;
    auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(::dlsym(library.handle, "DllCanUnloadNow"));
    // A pin means a lookup or a factory call is under way.
    if (library.pins > 0 || canUnload == nullptr || canUnload() != S_OK) {
      library.unusedSince.reset();
      ++it;
      continue;
    }
    if (!library.unusedSince) library.unusedSince = now;
    if (now - *library.unusedSince < std::chrono::milliseconds(unloadDelayMs)) {
      ++it;
      continue;
    }
    ::dlclose(library.handle);
    it = libraries.loaded.erase(it);
  }
}

void CoFreeUnusedLibraries() noexcept { CoFreeUnusedLibrariesEx(kDefaultUnloadDelayMs, 0); }

}  // namespace quillgate::com
