#pragma once
// Captcha objects made through the module's own class factory, as a host gets them, and
// called late-bound, as a script host calls them.

#include "Component/Captcha.h"
#include "Component/Module.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/Variant.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <vector>

namespace quillgate::component::testing {

inline com::ComPtr<com::IClassFactory> Factory() {
  com::ComPtr<com::IClassFactory> factory;
  EXPECT_EQ(DllGetClassObject(CLSID_Captcha, com::IID_IClassFactory, factory.OutVoid()), com::S_OK);
  return factory;
}

inline com::ComPtr<ICaptcha> NewCaptcha() {
  com::ComPtr<ICaptcha> captcha;
  EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_ICaptcha, captcha.OutVoid()), com::S_OK);
  return captcha;
}

// The class-only operations need the class itself.
inline Captcha* AsClass(ICaptcha* captcha) { return static_cast<Captcha*>(captcha); }

// An argument as a script host passes it: a number, or a text the caller still owns.
inline com::VARIANT Argument(com::LONG number) {
  com::VARIANT value{};
  value.vt = com::VT_I4;
  value.lVal = number;
  return value;
}
inline com::VARIANT Argument(com::BSTR text) {
  com::VARIANT value{};
  value.vt = com::VT_BSTR;
  value.bstrVal = text;
  return value;
}

inline com::HRESULT Put(com::IDispatch* object, com::DISPID id, com::VARIANT value,
                        com::UINT* argumentError = nullptr) {
  com::DISPID named = com::DISPID_PROPERTYPUT;
  com::DISPPARAMS params{&value, &named, 1, 1};
  return object->Invoke(id, com::IID_NULL, 0, com::DISPATCH_PROPERTYPUT, &params, nullptr,
                        nullptr, argumentError);
}

// The bytes of a byte-array result; none for any other kind of value.
inline std::vector<unsigned char> BytesOf(const com::VARIANT& value) {
  if (value.vt != (com::VT_ARRAY | com::VT_UI1) || value.parray == nullptr) return {};
  const auto* data = static_cast<const unsigned char*>(value.parray->pvData);
  return {data, data + value.parray->rgsabound[0].cElements};
}

// Whether the dynamic loader still holds the built component library.
inline bool ModuleLoaded() {
  void* handle = ::dlopen(QUILLGATE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) ::dlclose(handle);
  return handle != nullptr;
}

}  // namespace quillgate::component::testing
