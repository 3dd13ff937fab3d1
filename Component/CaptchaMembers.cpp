#include "Component/CaptchaMembers.h"

namespace quillgate::component {

using namespace quillgate::com;

namespace {

constexpr MemberShape kMembers[] = {
    {1, INVOKE_PROPERTYGET, {}, 0, VT_I4},
    {1, INVOKE_PROPERTYPUT, {VT_I4}, 1, VT_EMPTY},
    {2, INVOKE_PROPERTYGET, {}, 0, VT_I4},
    {2, INVOKE_PROPERTYPUT, {VT_I4}, 1, VT_EMPTY},
    {3, INVOKE_PROPERTYGET, {}, 0, VT_I4},
    {3, INVOKE_PROPERTYPUT, {VT_I4}, 1, VT_EMPTY},
    {4, INVOKE_PROPERTYGET, {}, 0, VT_I4},
    {4, INVOKE_PROPERTYPUT, {VT_I4}, 1, VT_EMPTY},
    {5, INVOKE_PROPERTYGET, {}, 0, VT_I4},
    {5, INVOKE_PROPERTYPUT, {VT_I4}, 1, VT_EMPTY},
    {6, INVOKE_PROPERTYGET, {}, 0, VT_BSTR},
    {6, INVOKE_PROPERTYPUT, {VT_BSTR}, 1, VT_EMPTY},
    {7, INVOKE_FUNC, {VT_BSTR, VT_BSTR}, 2, VT_BOOL},
    {8, INVOKE_FUNC, {}, 0, VT_BSTR},
    {9, INVOKE_FUNC, {}, 0, VT_VARIANT},
    {10, INVOKE_FUNC, {}, 0, VT_BSTR},
    {11, INVOKE_FUNC, {VT_BSTR}, 1, VT_VARIANT},
};

}  // namespace

std::span<const MemberShape> CaptchaMembers() noexcept { return kMembers; }

HRESULT CheckCaptchaMember(const FuncDesc& func) noexcept {
  for (const MemberShape& shape : kMembers) {
    if (shape.memid != func.memid || shape.kind != func.invkind) continue;
    if (func.CallerParams() != shape.inputCount) return DISP_E_BADPARAMCOUNT;
    for (std::size_t i = 0; i < shape.inputCount; ++i) {
      if (func.params[i].vt != shape.inputs[i] || func.params[i].pointer) return DISP_E_TYPEMISMATCH;
    }
    const ParamDesc* retval = func.Retval();
    if ((retval == nullptr) != (shape.retval == VT_EMPTY)) return DISP_E_TYPEMISMATCH;
    if (retval != nullptr && retval->vt != shape.retval) return DISP_E_TYPEMISMATCH;
    return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace quillgate::component
