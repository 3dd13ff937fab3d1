// The component library: its state, its attach and detach, and its four exported entry points.
#include "Component/Module.h"

#include "Component/ClassFactory.h"
#include "Component/Identifiers.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/ModuleFile.h"
#include "Platform/Com/Registrar.h"
#include "Platform/Com/Registry.h"
#include "Platform/Com/Runtime.h"
#include "Platform/Com/TypeLib.h"
#include "Platform/Com/Utf.h"
#include "Platform/Resources/ModuleResources.h"

#include <array>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>

namespace quillgate::component {

using namespace quillgate::com;

namespace {

// Everything here is constant-initialised and trivially destructible, so it is usable from
// the library's first constructor to its last destructor whatever the order of the others.
struct ModuleState {
  platform::ModuleHandle instance = nullptr;
  std::atomic<LONG> lockCount{0};
  std::mutex classTableLock;  // guards the creation of the cached factory
  IClassFactory* factory = nullptr;
  std::mutex termLock;
  std::array<void (*)(), 8> terms{};
  std::size_t termCount = 0;
};
constinit ModuleState state;

// Library attach: the engine and the random source are already built by static
// initialisation; only the instance handle is left to record.
__attribute__((constructor)) void AttachLibrary() { state.instance = platform::ThisModule(); }

// Library detach: release the cached factory, then run the clean-up actions.
__attribute__((destructor)) void DetachLibrary() {
  IClassFactory* factory = nullptr;
  {
    const std::scoped_lock lock(state.classTableLock);
    factory = std::exchange(state.factory, nullptr);
  }
  if (factory != nullptr) factory->Release();
  std::array<void (*)(), 8> terms{};
  std::size_t count = 0;
  {
    const std::scoped_lock lock(state.termLock);
    terms = state.terms;
    count = std::exchange(state.termCount, 0);
  }
  while (count > 0) terms[--count]();
}

std::filesystem::path LibraryPath() { return ModuleFileName(platform::ThisModule()); }

// The script's quoting rule: a quote inside '...' is written twice.
std::u16string QuoteForScript(const std::filesystem::path& path) {
  std::u16string text;
  for (const char16_t c : Utf8ToUtf16(path.string())) {
    text += c;
    if (c == u'\'') text += u'\'';
  }
  return text;
}

HRESULT RunScript(bool registering) {
  const std::filesystem::path path = LibraryPath();
  if (path.empty()) return E_UNEXPECTED;
  ComPtr<IRegistrar> registrar;
  if (const HRESULT hr = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IRegistrar, registrar.OutVoid());
      FAILED(hr)) {
    return hr;
  }
  // Linux has no short names: the full path, quotes doubled, stands for %MODULE%.
  if (const HRESULT hr = registrar->AddReplacement(u"Module", QuoteForScript(path).c_str()); FAILED(hr)) {
    return hr;
  }
  const std::u16string file = Utf8ToUtf16(path.string());
  return registering
             ? registrar->ResourceRegister(file.c_str(), kRegistryScriptResource, u"REGISTRY")
             : registrar->ResourceUnregister(file.c_str(), kRegistryScriptResource, u"REGISTRY");
}

// From the library's own resource, else from the .tlb beside it.
HRESULT LoadOwnTypeLib(ITypeLib** lib, std::u16string& loadedFrom) {
  const std::string path = LibraryPath().string();
  if (path.empty()) return E_UNEXPECTED;
  loadedFrom = Utf8ToUtf16(path);
  HRESULT hr = LoadTypeLib(loadedFrom.c_str(), lib);
  if (SUCCEEDED(hr)) return hr;
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const std::string stem =
      (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? path.substr(0, dot) : path;
  loadedFrom = Utf8ToUtf16(stem + ".tlb");
  const HRESULT fallback = LoadTypeLib(loadedFrom.c_str(), lib);
  return SUCCEEDED(fallback) ? fallback : hr;
}

HRESULT RegisterOwnTypeLib() {
  ComPtr<ITypeLib> lib;
  std::u16string path;
  if (const HRESULT hr = LoadOwnTypeLib(lib.Out(), path); FAILED(hr)) return hr;
  const std::size_t cut = path.find_last_of(u"\\/:");
  const std::u16string helpDir = cut == std::u16string::npos ? u"" : path.substr(0, cut + 1);
  return RegisterTypeLib(lib.Get(), path.c_str(), helpDir.c_str());
}

HRESULT UnregisterOwnTypeLib() {
  ComPtr<ITypeLib> lib;
  std::u16string path;
  if (const HRESULT hr = LoadOwnTypeLib(lib.Out(), path); FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  if (const HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) return hr;
  const TLIBATTR copy = *attr;
  lib->ReleaseTLibAttr(attr);
  return UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

}  // namespace

void LockModule() noexcept { ++state.lockCount; }
void UnlockModule() noexcept { --state.lockCount; }
LONG ModuleLockCount() noexcept { return state.lockCount.load(); }

bool AddTermFunction(void (*action)()) noexcept {
  const std::scoped_lock lock(state.termLock);
  if (state.termCount == state.terms.size()) return false;
  state.terms[state.termCount++] = action;
  return true;
}

}  // namespace quillgate::component

using namespace quillgate::com;
using namespace quillgate::component;

extern "C" {

HRESULT DllGetClassObject(const CLSID& clsid, const IID& riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_Captcha) return CLASS_E_CLASSNOTAVAILABLE;
  ComPtr<IClassFactory> factory;
  {
    const std::scoped_lock lock(state.classTableLock);
    if (state.factory == nullptr) {
      IClassFactory* made = nullptr;
      if (const HRESULT hr = CreateCaptchaFactory(&made); FAILED(hr)) return hr;
      state.factory = made;  // the cache's reference, released at detach
    }
    factory = ComPtr<IClassFactory>(state.factory);
  }
  return factory->QueryInterface(riid, ppv);
}

HRESULT DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

// Registration is one change of the registry file: the script's keys and the type
// library's are written together or not at all, so no reader or rival registration ever
// sees half of them.
HRESULT DllRegisterServer() {
  try {
    HRESULT result = S_OK;
    registry::Transaction([&] {
      result = RunScript(true);
      if (SUCCEEDED(result)) result = RegisterOwnTypeLib();
      return SUCCEEDED(result);
    });
    return result;
  } catch (const registry::RegistryError& e) {
    ReportError(IID_IClassFactory, u"Quillgate registration", Utf8ToUtf16(e.what()));
    return REGDB_E_WRITEREGDB;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DllUnregisterServer() {
  // Removal goes as far as it can, in one change of the file; its failures are not
  // reported (the registration tool checks the registry afterwards).
  try {
    registry::Transaction([] {
      RunScript(false);
      UnregisterOwnTypeLib();
      return true;
    });
  } catch (...) {
  }
  return S_OK;
}

}  // extern "C"
