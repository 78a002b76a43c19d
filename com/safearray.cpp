// com/safearray.cpp: one-dimensional arrays of fixed-size scalars. The
// descriptor lives in a block that also records the element type (as on
// Windows, just before the descriptor); the data is a second block. Both
// come from the process heap, where the platform's fault injection
// reaches them.
#include <korvo/com/safearray.h>
#include <korvo/com/scalar_size_internal.h>
#include <korvo/platform/heap.h>

#include <cstddef>
#include <cstring>
#include <limits>

namespace {

struct Block {
  VARTYPE vt;
  SAFEARRAY array;
};

Block* BlockOf(SAFEARRAY* array) {
  return reinterpret_cast<Block*>(reinterpret_cast<char*>(array) - offsetof(Block, array));
}

bool DataBytes(ULONG elements, ULONG size, size_t* bytes) {
  if (elements > std::numeric_limits<size_t>::max() / size) return false;
  *bytes = static_cast<size_t>(elements) * size;
  return true;
}

// Offset of the element at `index`, or false outside the bounds.
bool Offset(const SAFEARRAY* array, LONG index, size_t* offset) {
  long long rel = static_cast<long long>(index) - array->rgsabound[0].lLbound;
  if (rel < 0 || rel >= static_cast<long long>(array->rgsabound[0].cElements)) return false;
  *offset = static_cast<size_t>(rel) * array->cbElements;
  return true;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds) {
  if (cDims != 1 || bounds == nullptr) return nullptr;
  ULONG size = static_cast<ULONG>(korvo::com::ScalarSize(vt));
  size_t bytes = 0;
  if (size == 0 || !DataBytes(bounds[0].cElements, size, &bytes)) return nullptr;
  Block* block = static_cast<Block*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Block)));
  if (block == nullptr) return nullptr;
  void* data = nullptr;
  if (bytes > 0) {
    data = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (data == nullptr) {
      HeapFree(GetProcessHeap(), 0, block);
      return nullptr;
    }
  }
  block->vt = vt;
  block->array.cDims = 1;
  block->array.fFeatures = FADF_HAVEVARTYPE;
  block->array.cbElements = size;
  block->array.cLocks = 0;
  block->array.pvData = data;
  block->array.rgsabound[0] = bounds[0];
  return &block->array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
  SAFEARRAYBOUND bound = {elements, lowerBound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  HeapFree(GetProcessHeap(), 0, array->pvData);
  HeapFree(GetProcessHeap(), 0, BlockOf(array));
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (array == nullptr) return S_OK;
  SAFEARRAY* copy = SafeArrayCreate(BlockOf(array)->vt, array->cDims, array->rgsabound);
  if (copy == nullptr) return E_OUTOFMEMORY;
  size_t bytes = static_cast<size_t>(array->rgsabound[0].cElements) * array->cbElements;
  if (bytes > 0) std::memcpy(copy->pvData, array->pvData, bytes);
  *out = copy;
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks == std::numeric_limits<ULONG>::max()) return E_UNEXPECTED;
  ++array->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(array);
  *data = SUCCEEDED(hr) ? array->pvData : nullptr;
  return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

UINT SafeArrayGetDim(SAFEARRAY* array) { return array != nullptr ? array->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* array) { return array != nullptr ? array->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
  if (array == nullptr || vt == nullptr) return E_INVALIDARG;
  *vt = BlockOf(array)->vt;
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *bound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  long long upper =
      static_cast<long long>(array->rgsabound[0].lLbound) + array->rgsabound[0].cElements - 1;
  if (upper > std::numeric_limits<LONG>::max()) return DISP_E_OVERFLOW;
  *bound = static_cast<LONG>(upper);
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
  if (array == nullptr || indices == nullptr || value == nullptr) return E_INVALIDARG;
  size_t offset = 0;
  if (!Offset(array, indices[0], &offset)) return DISP_E_BADINDEX;
  std::memcpy(value, static_cast<char*>(array->pvData) + offset, array->cbElements);
  return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
  if (array == nullptr || indices == nullptr || value == nullptr) return E_INVALIDARG;
  size_t offset = 0;
  if (!Offset(array, indices[0], &offset)) return DISP_E_BADINDEX;
  std::memcpy(static_cast<char*>(array->pvData) + offset, value, array->cbElements);
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  size_t bytes = 0;
  if (!DataBytes(bound->cElements, array->cbElements, &bytes)) return E_OUTOFMEMORY;
  void* data = nullptr;
  if (bytes > 0) {
    data = array->pvData != nullptr
               ? HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, array->pvData, bytes)
               : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (data == nullptr) return E_OUTOFMEMORY;
  } else {
    HeapFree(GetProcessHeap(), 0, array->pvData);
  }
  array->pvData = data;
  array->rgsabound[0] = *bound;
  return S_OK;
}
