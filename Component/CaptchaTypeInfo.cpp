#include "Component/CaptchaTypeInfo.h"

#include "Component/Identifiers.h"
#include "Component/Module.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ModuleFile.h"
#include "Platform/Com/Utf.h"
#include "Platform/Resources/ModuleResources.h"

#include <mutex>

namespace quillgate::component {

using namespace quillgate::com;

namespace {

// The type-information lock guards the one-time load; the reference is released when the
// library is unloaded.
constinit std::mutex typeInfoLock;
constinit ITypeInfo* cachedTypeInfo = nullptr;

void ReleaseTypeInfo() {
  const std::scoped_lock lock(typeInfoLock);
  if (cachedTypeInfo != nullptr) cachedTypeInfo->Release();
  cachedTypeInfo = nullptr;
}

HRESULT LoadTypeInfo(ITypeInfo** info) {
  ComPtr<ITypeLib> lib;
  HRESULT hr = LoadRegTypeLib(LIBID_TOVIKQUILLGATELib, kTypeLibMajor, kTypeLibMinor, 0, lib.Out());
  if (FAILED(hr)) {
    // Not registered (or registered elsewhere and gone): the module carries its own copy,
    // so an object made without registration still answers IDispatch.
    const std::u16string self = Utf8ToUtf16(ModuleFileName(platform::ThisModule()).string());
    if (self.empty() || FAILED(LoadTypeLib(self.c_str(), lib.Out()))) return hr;
  }
  return lib->GetTypeInfoOfGuid(IID_ICaptcha, info);
}

}  // namespace

HRESULT GetCaptchaTypeInfo(ITypeInfo** info) noexcept {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  const std::scoped_lock lock(typeInfoLock);
  if (cachedTypeInfo == nullptr) {
    ITypeInfo* loaded = nullptr;
    if (const HRESULT hr = LoadTypeInfo(&loaded); FAILED(hr)) return hr;
    cachedTypeInfo = loaded;
    AddTermFunction(&ReleaseTypeInfo);
  }
  cachedTypeInfo->AddRef();
  *info = cachedTypeInfo;
  return S_OK;
}

}  // namespace quillgate::component
