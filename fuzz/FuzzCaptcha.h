#pragma once
// A Captcha object for harnesses that drive the component, made through its class factory as
// a host would, and the usual settings each input starts from.

#include "Component/Captcha.h"
#include "Component/Module.h"
#include "Platform/Com/Bstr.h"
#include "Platform/Com/ComPtr.h"

namespace quillgate::fuzz {

inline com::ComPtr<component::ICaptcha> NewCaptcha() {
  com::ComPtr<com::IClassFactory> factory;
  if (com::FAILED(::DllGetClassObject(component::CLSID_Captcha, com::IID_IClassFactory, factory.OutVoid()))) {
    __builtin_trap();
  }
  com::ComPtr<component::ICaptcha> captcha;
  if (com::FAILED(factory->CreateInstance(nullptr, component::IID_ICaptcha, captcha.OutVoid()))) __builtin_trap();
  return captcha;
}

// Back to the defaults, so that the next input does not inherit this one's settings.
inline void RestoreUsualSettings(component::ICaptcha& captcha) {
  captcha.put_ImageWidth(250);
  captcha.put_ImageHeight(50);
  captcha.put_CodeLength(5);
  captcha.put_TextStyle(31);
  captcha.put_CodeType(0);
  com::BString jpeg(u"JPEG");
  captcha.put_Format(jpeg.Get());
}

}  // namespace quillgate::fuzz
