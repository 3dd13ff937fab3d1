#pragma once
// The Captcha automation object. It holds no settings of its own: every call converts its
// arguments and forwards to the process-wide CaptchaEngine, so every object sees the same
// settings and the same current code.
//
// Failures never cross the interface as exceptions: an engine error becomes E_FAIL with
// rich error information (its message, the class's ProgID as source, ICaptcha's IID), and
// so does any other exception; null out-pointers give E_POINTER, an array that cannot be
// made gives E_OUTOFMEMORY. A failed call leaves its out-parameters as they were.
//
// Objects are made by ComObject<Captcha>::Create (the class factory does it), which adds
// reference counting and aggregation.

#include "Component/ICaptcha.h"

namespace quillgate::component {

class Captcha : public ICaptcha {
 public:
  void* InternalQueryInterface(const com::IID& riid) noexcept;

  // IDispatch, served from the registered type library.
  com::HRESULT GetTypeInfoCount(com::UINT* pctinfo) override;
  com::HRESULT GetTypeInfo(com::UINT iTInfo, com::LCID lcid, com::ITypeInfo** ppTInfo) override;
  com::HRESULT GetIDsOfNames(const com::IID& riid, com::LPOLESTR* rgszNames, com::UINT cNames,
                             com::LCID lcid, com::DISPID* rgDispId) override;
  com::HRESULT Invoke(com::DISPID dispIdMember, const com::IID& riid, com::LCID lcid,
                      com::WORD wFlags, com::DISPPARAMS* pDispParams, com::VARIANT* pVarResult,
                      com::EXCEPINFO* pExcepInfo, com::UINT* puArgErr) override;

  // ICaptcha
  com::HRESULT get_ImageWidth(com::LONG* pVal) override;
  com::HRESULT put_ImageWidth(com::LONG newVal) override;
  com::HRESULT get_ImageHeight(com::LONG* pVal) override;
  com::HRESULT put_ImageHeight(com::LONG newVal) override;
  com::HRESULT get_CodeLength(com::LONG* pVal) override;
  com::HRESULT put_CodeLength(com::LONG newVal) override;
  com::HRESULT get_TextStyle(com::LONG* pVal) override;
  com::HRESULT put_TextStyle(com::LONG newVal) override;
  com::HRESULT get_CodeType(com::LONG* pVal) override;
  com::HRESULT put_CodeType(com::LONG newVal) override;
  com::HRESULT get_Format(com::BSTR* pVal) override;
  com::HRESULT put_Format(com::BSTR newVal) override;
  com::HRESULT Validate(com::BSTR userCode, com::BSTR hashValue, com::VARIANT_BOOL* Result) override;
  com::HRESULT GetHashValue(com::BSTR* Result) override;
  com::HRESULT CreateImage(com::VARIANT* vResult) override;
  com::HRESULT GetValue(com::BSTR* Result) override;
  com::HRESULT CreateSoundFromCode(com::BSTR code, com::VARIANT* vResult) override;

  // Class-only operations, in slots after ICaptcha's: not reachable through QueryInterface
  // or IDispatch. An empty or null code makes a new random code current.
  virtual com::HRESULT CreateImageFromCode(com::BSTR code, com::VARIANT* vResult);
  virtual com::HRESULT CreateSound(com::VARIANT* vResult);

 protected:
  Captcha() noexcept;  // every living object holds the module...
  ~Captcha();
  static void AfterObjectDestroyed() noexcept;  // ...until it is destroyed
};

}  // namespace quillgate::component
