#include "Platform/Com/SafeArray.h"

#include "Platform/Com/Variant.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quillgate::com {
namespace {

// The element type travels in the block in front of the descriptor, as on Windows
// (FADF_HAVEVARTYPE), so SafeArrayGetVartype can answer.
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

struct Block {
  VARTYPE vt;
  SAFEARRAY array;
};

ULONG ElementSize(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY: return 8;
    default: return 0;
  }
}

Block* BlockOf(const SAFEARRAY* array) noexcept {
  return reinterpret_cast<Block*>(reinterpret_cast<char*>(const_cast<SAFEARRAY*>(array)) -
                                  offsetof(Block, array));
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* bounds) noexcept {
  const ULONG size = ElementSize(vt);
  if (cDims != 1 || bounds == nullptr || size == 0) return nullptr;
  const std::size_t count = bounds[0].cElements;
  if (count > std::numeric_limits<std::size_t>::max() / size) return nullptr;
  void* data = nullptr;
  if (count > 0) {
    data = std::calloc(count, size);
    if (data == nullptr) return nullptr;
  }
  auto* block = static_cast<Block*>(std::calloc(1, sizeof(Block)));
  if (block == nullptr) {
    std::free(data);
    return nullptr;
  }
  block->vt = vt;
  SAFEARRAY& array = block->array;
  array.cDims = 1;
  array.fFeatures = FADF_HAVEVARTYPE;
  array.cbElements = size;
  array.cLocks = 0;
  array.pvData = data;
  array.rgsabound[0] = bounds[0];
  return &array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept {
  if (array == nullptr) return S_OK;
  if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  std::free(array->pvData);
  std::free(BlockOf(array));
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) noexcept {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  if (array->cLocks == std::numeric_limits<ULONG>::max()) return E_UNEXPECTED;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) noexcept {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

UINT SafeArrayGetDim(const SAFEARRAY* array) noexcept { return array ? array->cDims : 0; }

UINT SafeArrayGetElemsize(const SAFEARRAY* array) noexcept { return array ? array->cbElements : 0; }

HRESULT SafeArrayGetLBound(const SAFEARRAY* array, UINT dim, LONG* bound) noexcept {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
  *bound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* array, UINT dim, LONG* bound) noexcept {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = array->rgsabound[0];
  *bound = static_cast<LONG>(static_cast<std::int64_t>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetVartype(const SAFEARRAY* array, VARTYPE* vt) noexcept {
  if (array == nullptr || vt == nullptr) return E_INVALIDARG;
  *vt = BlockOf(array)->vt;
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy) noexcept {
  if (copy == nullptr) return E_INVALIDARG;
  *copy = nullptr;
  if (array == nullptr) return S_OK;
  SAFEARRAY* made = SafeArrayCreate(BlockOf(array)->vt, array->cDims, array->rgsabound);
  if (made == nullptr) return E_OUTOFMEMORY;
  if (array->pvData != nullptr) {
    std::memcpy(made->pvData, array->pvData,
                std::size_t{array->rgsabound[0].cElements} * array->cbElements);
  }
  *copy = made;
  return S_OK;
}

}  // namespace quillgate::com
