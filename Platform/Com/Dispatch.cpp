// IDispatch::Invoke served from type information.
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/TypeLib.h"

#include <optional>
#include <vector>

namespace quillgate::com {
namespace {

// The member that a DISPID and the call's flags select, or the reason there is none.
HRESULT FindMember(ITypeInfo* info, DISPID member, WORD flags, const FuncDesc** found) {
  TYPEATTR* attr = nullptr;
  if (const HRESULT hr = info->GetTypeAttr(&attr); FAILED(hr)) return hr;
  const UINT count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    const FuncDesc* func = nullptr;
    if (const HRESULT hr = info->GetFuncDesc(i, &func); FAILED(hr)) return hr;
    if (func->memid != member) continue;
    const bool matches =
        (func->invkind == INVOKE_FUNC && (flags & DISPATCH_METHOD) != 0) ||
        (func->invkind == INVOKE_PROPERTYGET && (flags & DISPATCH_PROPERTYGET) != 0) ||
        (func->invkind == INVOKE_PROPERTYPUT && (flags & DISPATCH_PROPERTYPUT) != 0) ||
        (func->invkind == INVOKE_PROPERTYPUTREF && (flags & DISPATCH_PROPERTYPUTREF) != 0);
    if (matches) {
      *found = func;
      return S_OK;
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

void FillException(EXCEPINFO* excepInfo, HRESULT hr) {
  *excepInfo = EXCEPINFO{};
  excepInfo->scode = hr;
  ComPtr<IErrorInfo> error;
  if (GetErrorInfo(0, error.Out()) != S_OK || !error) return;
  error->GetSource(&excepInfo->bstrSource);
  error->GetDescription(&excepInfo->bstrDescription);
  error->GetHelpFile(&excepInfo->bstrHelpFile);
  error->GetHelpContext(&excepInfo->dwHelpContext);
}

// Clears the coerced arguments however the call ends.
struct Arguments {
  std::vector<VARIANT> values;
  ~Arguments() {
    for (VARIANT& v : values) VariantClear(&v);
  }
};

}  // namespace

HRESULT DispatchInvoke(ITypeInfo* info, DISPID member, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr,
                       const MemberCall& call, const MemberCheck& check) noexcept {
  if (info == nullptr) return E_UNEXPECTED;
  if (params == nullptr || (params->cArgs > 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) ||
      params->cNamedArgs > params->cArgs) {
    return E_INVALIDARG;
  }
  try {
    const FuncDesc* func = nullptr;
    if (const HRESULT hr = FindMember(info, member, flags, &func); FAILED(hr)) return hr;
    if (check) {
      if (const HRESULT hr = check(*func); FAILED(hr)) return hr;
    }

    // Place every argument: positional ones (stored last first) from the front, named ones
    // at the position their DISPID names; a property put's value is the last parameter.
    const std::size_t expected = func->CallerParams();
    if (params->cArgs != expected) return DISP_E_BADPARAMCOUNT;
    std::vector<std::optional<UINT>> source(expected);  // index into rgvarg per parameter
    const UINT positional = params->cArgs - params->cNamedArgs;
    for (UINT p = 0; p < positional; ++p) source[p] = params->cArgs - 1 - p;
    for (UINT n = 0; n < params->cNamedArgs; ++n) {
      DISPID position = params->rgdispidNamedArgs[n];
      if (position == DISPID_PROPERTYPUT && func->invkind == INVOKE_PROPERTYPUT) {
        position = static_cast<DISPID>(expected - 1);
      }
      if (position < 0 || static_cast<std::size_t>(position) >= expected || source[position]) {
        if (argErr != nullptr) *argErr = n;
        return DISP_E_PARAMNOTFOUND;
      }
      source[position] = n;
    }

    Arguments args;
    args.values.resize(expected);
    for (VARIANT& v : args.values) VariantInit(&v);
    for (std::size_t p = 0; p < expected; ++p) {
      const VARIANT& given = params->rgvarg[*source[p]];
      const VARTYPE wanted = func->params[p].vt;
      const HRESULT hr = wanted == VT_VARIANT
                             ? VariantChangeType(&args.values[p], &given, 0, given.vt & ~VT_BYREF)
                             : VariantChangeType(&args.values[p], &given, 0, wanted);
      if (FAILED(hr)) {
        if (argErr != nullptr) *argErr = *source[p];
        return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
      }
    }

    VARIANT retval;
    VariantInit(&retval);
    const ParamDesc* retvalDesc = func->Retval();
    if (retvalDesc != nullptr && retvalDesc->vt != VT_VARIANT) retval.vt = retvalDesc->vt;

    // Only what this call reports may reach the caller's EXCEPINFO.
    SetErrorInfo(0, nullptr);
    HRESULT hr = E_FAIL;
    try {
      hr = call(*func, args.values, retvalDesc != nullptr ? &retval : nullptr);
    } catch (...) {
      hr = E_FAIL;
    }
    if (FAILED(hr)) {
      VariantClear(&retval);
      if (excepInfo == nullptr) return hr;
      FillException(excepInfo, hr);
      return DISP_E_EXCEPTION;
    }
    if (result != nullptr) {
      *result = retval;
    } else {
      VariantClear(&retval);
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace quillgate::com
