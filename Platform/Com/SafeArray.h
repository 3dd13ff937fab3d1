#pragma once
// One-dimensional safe arrays of fixed-size elements: what automation hands byte results in.
// Arrays of more dimensions, or of strings, variants or interfaces, are not made here.

#include "Platform/Com/Types.h"

namespace quillgate::com {

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

// An array of `bounds[0].cElements` zeroed elements of `vt` (VT_UI1, VT_I2, VT_I4, ...).
// Null for any other element type, any dimension count but 1, or when memory runs out.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* bounds) noexcept;
// Fails with DISP_E_ARRAYISLOCKED while the data is accessed.
HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept;
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) noexcept;
HRESULT SafeArrayUnaccessData(SAFEARRAY* array) noexcept;
UINT SafeArrayGetDim(const SAFEARRAY* array) noexcept;
UINT SafeArrayGetElemsize(const SAFEARRAY* array) noexcept;
HRESULT SafeArrayGetLBound(const SAFEARRAY* array, UINT dim, LONG* bound) noexcept;
HRESULT SafeArrayGetUBound(const SAFEARRAY* array, UINT dim, LONG* bound) noexcept;
HRESULT SafeArrayGetVartype(const SAFEARRAY* array, VARTYPE* vt) noexcept;
// A new array with the same shape and a copy of the data.
HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy) noexcept;

}  // namespace quillgate::com
