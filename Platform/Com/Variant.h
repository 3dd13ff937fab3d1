#pragma once
// The automation variant: a type tag and a value. Owned contents (strings, arrays,
// interfaces) are released by VariantClear.

#include "Platform/Com/Bstr.h"
#include "Platform/Com/SafeArray.h"
#include "Platform/Com/Types.h"

namespace quillgate::com {

struct IUnknown;
struct IDispatch;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    BYTE bVal;
    signed char cVal;
    SHORT iVal;
    USHORT uiVal;
    int intVal;
    unsigned int uintVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    VARIANT* pvarVal;
    void* byref;
  };
};

// Makes the variant empty without looking at what it held.
void VariantInit(VARIANT* v) noexcept;
// Releases what the variant owns and makes it empty.
HRESULT VariantClear(VARIANT* v) noexcept;
// A deep copy: strings and arrays are duplicated, interfaces AddRef'd.
HRESULT VariantCopy(VARIANT* destination, const VARIANT* source) noexcept;

// Coerces `source` to type `vt` into `destination` (which may be `source` itself), the way
// automation coerces arguments: numbers and booleans convert among themselves (out-of-range
// values give DISP_E_OVERFLOW, fractions round half to even), text parses as a number or as
// True/False and numbers format as text, by-reference values are followed. Anything else,
// such as NULL to a number or an array to a scalar, gives DISP_E_TYPEMISMATCH. `flags` is
// accepted for the familiar signature and ignored.
HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, WORD flags,
                          VARTYPE vt) noexcept;

// Owns one variant and clears it on destruction.
class Variant {
 public:
  Variant() noexcept { VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }

  VARIANT* Get() noexcept { return &value_; }
  [[nodiscard]] const VARIANT* Get() const noexcept { return &value_; }
  VARIANT* operator->() noexcept { return &value_; }
  const VARIANT* operator->() const noexcept { return &value_; }

 private:
  VARIANT value_;
};

}  // namespace quillgate::com
