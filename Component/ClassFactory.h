#pragma once
// The class object of Captcha: makes plain or aggregated objects and holds the module on
// LockServer.

#include "Platform/Com/Interfaces.h"

namespace quillgate::component {

// A new class factory (one reference) for the Captcha class.
com::HRESULT CreateCaptchaFactory(com::IClassFactory** factory) noexcept;

}  // namespace quillgate::component
