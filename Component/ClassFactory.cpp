#include "Component/ClassFactory.h"

#include "Component/Captcha.h"
#include "Component/Module.h"
#include "Platform/Com/Object.h"

namespace quillgate::component {

using namespace quillgate::com;

namespace {

class CaptchaFactory : public IClassFactory {
 public:
  void* InternalQueryInterface(const IID& riid) noexcept {
    return riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
  }

  HRESULT CreateInstance(IUnknown* outer, const IID& riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    // An aggregating outer object may only ask for the inner object's own IUnknown.
    if (outer != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    IUnknown* object = nullptr;
    try {
      object = ComObject<Captcha>::Create(outer);
    } catch (...) {
      object = nullptr;
    }
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();  // destroys the object when the interface was refused
    return hr;
  }

  HRESULT LockServer(int lock) override {
    if (lock != 0) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }

 protected:
  CaptchaFactory() = default;
  ~CaptchaFactory() = default;
};

}  // namespace

HRESULT CreateCaptchaFactory(IClassFactory** factory) noexcept {
  if (factory == nullptr) return E_POINTER;
  *factory = nullptr;
  IUnknown* object = ComObject<CaptchaFactory>::Create(nullptr);
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(factory));
  object->Release();
  return hr;
}

}  // namespace quillgate::component
