#include "Component/Captcha.h"

#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/StringConversion.h"
#include "Component/CaptchaMembers.h"
#include "Component/CaptchaTypeInfo.h"
#include "Component/Module.h"
#include "Engine/CaptchaEngine.h"
#include "Platform/Com/ComPtr.h"
#include "Platform/Com/ErrorInfo.h"
#include "Platform/Com/Runtime.h"

#include <cstring>
#include <exception>
#include <new>

namespace quillgate::component {

using namespace quillgate::com;

namespace {

CaptchaEngine& Engine() { return CaptchaEngine::Instance(); }

// Automation text to the engine's narrow text: a null string is empty, the text ends at its
// first NUL, unrepresentable characters become '?'.
std::string Narrow(BSTR text) { return WideToAnsi(BstrView(text)); }

HRESULT Widen(const std::string& text, BSTR* out) {
  const std::u16string wide = AnsiToWide(text);
  BSTR made = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (made == nullptr) return E_OUTOFMEMORY;
  *out = made;
  return S_OK;
}

// The bytes as a one-dimensional VT_UI1 array with lower bound 0. `out` is written only
// once the array is complete; its previous content is not cleared (the caller's to manage).
HRESULT StoreBytes(const ByteArray& bytes, VARIANT* out) {
  const auto span = bytes.Bytes();
  SAFEARRAYBOUND bound{static_cast<ULONG>(span.size()), 0};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  if (array == nullptr) return E_OUTOFMEMORY;
  void* data = nullptr;
  if (const HRESULT hr = SafeArrayAccessData(array, &data); FAILED(hr)) {
    SafeArrayDestroy(array);
    return hr;
  }
  if (!span.empty()) std::memcpy(data, span.data(), span.size());
  SafeArrayUnaccessData(array);
  VariantInit(out);
  out->vt = VT_ARRAY | VT_UI1;
  out->parray = array;
  return S_OK;
}

// Installs error information for the calling thread: the message, the class's registered
// ProgID as source (none when the class is not registered), ICaptcha's IID.
HRESULT Fail(const char* message) noexcept {
  try {
    std::u16string source;
    LPOLESTR progId = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(CLSID_Captcha, &progId)) && progId != nullptr) {
      source = progId;
      CoTaskMemFree(progId);
    }
    ReportError(IID_ICaptcha, source, AnsiToWide(message != nullptr ? message : ""));
  } catch (...) {
    // Out of memory while describing the failure: the result code still tells it.
  }
  return E_FAIL;
}

template <typename Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const EngineError& e) {
    return Fail(e.what());
  } catch (const std::exception& e) {
    return Fail(e.what());
  } catch (...) {
    return Fail("An unexpected failure occurred in the Captcha component.");
  }
}

// The frame of every image and sound operation: the engine fills a ByteArray, the bytes go
// into `vResult` only when everything worked.
template <typename Operation>
HRESULT MakeBytes(VARIANT* vResult, Operation&& operation) noexcept {
  if (vResult == nullptr) return E_POINTER;
  return Guarded([&] {
    ByteArray bytes;
    operation(bytes);
    return StoreBytes(bytes, vResult);
  });
}

template <typename Getter>
HRESULT GetLong(LONG* pVal, Getter&& getter) noexcept {
  if (pVal == nullptr) return E_POINTER;
  return Guarded([&] {
    *pVal = getter();
    return S_OK;
  });
}

template <typename Setter>
HRESULT PutLong(Setter&& setter) noexcept {
  return Guarded([&] {
    setter();
    return S_OK;
  });
}

}  // namespace

Captcha::Captcha() noexcept { LockModule(); }
Captcha::~Captcha() = default;
// Not in the destructor: the rest of the object's destruction still runs in this library.
void Captcha::AfterObjectDestroyed() noexcept { UnlockModule(); }

void* Captcha::InternalQueryInterface(const IID& riid) noexcept {
  if (riid == IID_ICaptcha || riid == IID_IDispatch) return static_cast<ICaptcha*>(this);
  return nullptr;
}

// ---- IDispatch ----------------------------------------------------------------------------

HRESULT Captcha::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

HRESULT Captcha::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return GetCaptchaTypeInfo(ppTInfo);
}

HRESULT Captcha::GetIDsOfNames(const IID& riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                               DISPID* rgDispId) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  if (const HRESULT hr = GetCaptchaTypeInfo(info.Out()); FAILED(hr)) return hr;
  return info->GetIDsOfNames(rgszNames, cNames, rgDispId);
}

HRESULT Captcha::Invoke(DISPID dispIdMember, const IID& riid, LCID, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  if (const HRESULT hr = GetCaptchaTypeInfo(info.Out()); FAILED(hr)) return hr;
  const auto call = [this](const FuncDesc& func, std::span<VARIANT> args, VARIANT* retval) -> HRESULT {
    const bool get = func.invkind == INVOKE_PROPERTYGET;
    switch (func.memid) {
      case 1: return get ? get_ImageWidth(&retval->lVal) : put_ImageWidth(args[0].lVal);
      case 2: return get ? get_ImageHeight(&retval->lVal) : put_ImageHeight(args[0].lVal);
      case 3: return get ? get_CodeLength(&retval->lVal) : put_CodeLength(args[0].lVal);
      case 4: return get ? get_TextStyle(&retval->lVal) : put_TextStyle(args[0].lVal);
      case 5: return get ? get_CodeType(&retval->lVal) : put_CodeType(args[0].lVal);
      case 6: return get ? get_Format(&retval->bstrVal) : put_Format(args[0].bstrVal);
      case 7: return Validate(args[0].bstrVal, args[1].bstrVal, &retval->boolVal);
      case 8: return GetHashValue(&retval->bstrVal);
      case 9: return CreateImage(retval);
      case 10: return GetValue(&retval->bstrVal);
      case 11: return CreateSoundFromCode(args[0].bstrVal, retval);
      default: return DISP_E_MEMBERNOTFOUND;
    }
  };
  // The registered library may describe another build: the call must match what this
  // object has before `call` reads its arguments.
  return DispatchInvoke(info.Get(), dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo,
                        puArgErr, call, &CheckCaptchaMember);
}

// ---- properties ---------------------------------------------------------------------------

HRESULT Captcha::get_ImageWidth(LONG* pVal) { return GetLong(pVal, [] { return Engine().ImageWidth(); }); }
HRESULT Captcha::put_ImageWidth(LONG newVal) { return PutLong([&] { Engine().SetImageWidth(newVal); }); }
HRESULT Captcha::get_ImageHeight(LONG* pVal) { return GetLong(pVal, [] { return Engine().ImageHeight(); }); }
HRESULT Captcha::put_ImageHeight(LONG newVal) { return PutLong([&] { Engine().SetImageHeight(newVal); }); }
HRESULT Captcha::get_CodeLength(LONG* pVal) { return GetLong(pVal, [] { return Engine().CodeLength(); }); }
HRESULT Captcha::put_CodeLength(LONG newVal) { return PutLong([&] { Engine().SetCodeLength(newVal); }); }
HRESULT Captcha::get_TextStyle(LONG* pVal) { return GetLong(pVal, [] { return Engine().TextStyle(); }); }
HRESULT Captcha::put_TextStyle(LONG newVal) { return PutLong([&] { Engine().SetTextStyle(newVal); }); }
HRESULT Captcha::get_CodeType(LONG* pVal) { return GetLong(pVal, [] { return Engine().CodeType(); }); }
HRESULT Captcha::put_CodeType(LONG newVal) { return PutLong([&] { Engine().SetCodeType(newVal); }); }

HRESULT Captcha::get_Format(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  return Guarded([&] { return Widen(Engine().Format(), pVal); });
}

HRESULT Captcha::put_Format(BSTR newVal) {
  return Guarded([&] {
    Engine().SetFormat(Narrow(newVal));
    return S_OK;
  });
}

// ---- codes and hash values ----------------------------------------------------------------

HRESULT Captcha::Validate(BSTR userCode, BSTR hashValue, VARIANT_BOOL* Result) {
  if (Result == nullptr) return E_POINTER;
  return Guarded([&] {
    *Result = CaptchaEngine::Validate(Narrow(userCode), Narrow(hashValue)) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT Captcha::GetHashValue(BSTR* Result) {
  if (Result == nullptr) return E_POINTER;
  return Guarded([&] { return Widen(Engine().GetHashValue(), Result); });
}

HRESULT Captcha::GetValue(BSTR* Result) {
  if (Result == nullptr) return E_POINTER;
  return Guarded([&] { return Widen(Engine().GetValue(), Result); });
}

// ---- images and sounds --------------------------------------------------------------------

HRESULT Captcha::CreateImage(VARIANT* vResult) {
  return MakeBytes(vResult, [](ByteArray& bytes) { Engine().CreateImage({}, bytes); });
}

HRESULT Captcha::CreateImageFromCode(BSTR code, VARIANT* vResult) {
  return MakeBytes(vResult, [&](ByteArray& bytes) { Engine().CreateImage(Narrow(code), bytes); });
}

HRESULT Captcha::CreateSoundFromCode(BSTR code, VARIANT* vResult) {
  return MakeBytes(vResult, [&](ByteArray& bytes) { Engine().CreateSound(Narrow(code), bytes); });
}

HRESULT Captcha::CreateSound(VARIANT* vResult) {
  return MakeBytes(vResult, [](ByteArray& bytes) { Engine().CreateSound({}, bytes); });
}

}  // namespace quillgate::component
