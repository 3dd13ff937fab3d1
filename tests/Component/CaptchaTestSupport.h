#pragma once
// Captcha objects made through the module's own class factory, as a host gets them.

#include "Component/Captcha.h"
#include "Component/Module.h"
#include "Platform/Com/ComPtr.h"

#include <gtest/gtest.h>

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

}  // namespace quillgate::component::testing
