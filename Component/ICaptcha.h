#pragma once
// ICaptcha: the dual interface of the Captcha class. Members in slot order after IDispatch's;
// the type library lists them in the same order with DISPIDs 1 to 11.

#include "Component/Identifiers.h"
#include "Platform/Com/Interfaces.h"

namespace quillgate::component {

struct ICaptcha : com::IDispatch {
  virtual com::HRESULT get_ImageWidth(com::LONG* pVal) = 0;            // DISPID 1
  virtual com::HRESULT put_ImageWidth(com::LONG newVal) = 0;
  virtual com::HRESULT get_ImageHeight(com::LONG* pVal) = 0;           // DISPID 2
  virtual com::HRESULT put_ImageHeight(com::LONG newVal) = 0;
  virtual com::HRESULT get_CodeLength(com::LONG* pVal) = 0;            // DISPID 3
  virtual com::HRESULT put_CodeLength(com::LONG newVal) = 0;
  virtual com::HRESULT get_TextStyle(com::LONG* pVal) = 0;             // DISPID 4
  virtual com::HRESULT put_TextStyle(com::LONG newVal) = 0;
  virtual com::HRESULT get_CodeType(com::LONG* pVal) = 0;              // DISPID 5
  virtual com::HRESULT put_CodeType(com::LONG newVal) = 0;
  virtual com::HRESULT get_Format(com::BSTR* pVal) = 0;                // DISPID 6
  virtual com::HRESULT put_Format(com::BSTR newVal) = 0;
  virtual com::HRESULT Validate(com::BSTR userCode, com::BSTR hashValue,
                                com::VARIANT_BOOL* Result) = 0;        // DISPID 7
  virtual com::HRESULT GetHashValue(com::BSTR* Result) = 0;            // DISPID 8
  virtual com::HRESULT CreateImage(com::VARIANT* vResult) = 0;         // DISPID 9
  virtual com::HRESULT GetValue(com::BSTR* Result) = 0;                // DISPID 10
  virtual com::HRESULT CreateSoundFromCode(com::BSTR code, com::VARIANT* vResult) = 0;  // DISPID 11

 protected:
  ~ICaptcha() = default;
};

}  // namespace quillgate::component

template <> struct quillgate::com::InterfaceId<quillgate::component::ICaptcha> {
  static constexpr const IID& value = quillgate::component::IID_ICaptcha;
};
