#pragma once
// What the Captcha object really answers through IDispatch: every ICaptcha member with its
// DISPID, kind and signature, compiled in. Invoke dispatches from the registered type
// library, which may be a file describing another build; each call is checked against
// this table first, so a library that disagrees gets a DISP_E_* answer instead of a call
// with arguments of the wrong type.

#include "Platform/Com/TypeLib.h"

#include <array>
#include <cstddef>
#include <span>

namespace quillgate::component {

struct MemberShape {
  com::MEMBERID memid;
  com::INVOKEKIND kind;
  std::array<com::VARTYPE, 2> inputs;  // the first `inputCount` are used
  std::size_t inputCount;
  com::VARTYPE retval;  // VT_EMPTY: none
};

// In ICaptcha's slot order.
std::span<const MemberShape> CaptchaMembers() noexcept;

// S_OK when `func` is one of the members above with exactly its signature;
// DISP_E_MEMBERNOTFOUND for a member the object does not have, DISP_E_BADPARAMCOUNT for
// another number of inputs, DISP_E_TYPEMISMATCH for other types.
com::HRESULT CheckCaptchaMember(const com::FuncDesc& func) noexcept;

}  // namespace quillgate::component
