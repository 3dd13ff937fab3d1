#pragma once
// The type information IDispatch serves for ICaptcha: loaded once per module on first use
// (from the registered type library, else from the module's own "TYPELIB" resource) and kept
// until the module is unloaded.

#include "Platform/Com/TypeLib.h"

namespace quillgate::component {

// A new reference to ICaptcha's type information.
com::HRESULT GetCaptchaTypeInfo(com::ITypeInfo** info) noexcept;

}  // namespace quillgate::component
