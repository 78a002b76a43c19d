// com/variant.cpp: VARIANT initialisation, clearing and copying.
#include <korvo/com/scalar_size_internal.h>
#include <korvo/com/variant.h>

#include <cstring>

namespace {

bool ValidBase(VARTYPE base) { return base <= VT_UINT && base != 15; }

bool ValidType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  VARTYPE flags = vt & ~VT_TYPEMASK;
  if ((flags & ~(VT_ARRAY | VT_BYREF)) != 0 || !ValidBase(base)) return false;
  if (flags != 0 && (base == VT_EMPTY || base == VT_NULL)) return false;
  // Only a reference may point at a VARIANT.
  if (base == VT_VARIANT && (flags & VT_BYREF) == 0 && (flags & VT_ARRAY) == 0) return false;
  return true;
}

// Copies the value of src (not a reference) into the empty dest.
HRESULT CopyValue(VARIANT* dest, const VARIANT* src) {
  VARTYPE vt = src->vt;
  if ((vt & VT_BYREF) != 0) {
    *dest = *src;
    return S_OK;
  }
  if ((vt & VT_ARRAY) != 0) {
    SAFEARRAY* copy = nullptr;
    HRESULT hr = SafeArrayCopy(src->parray, &copy);
    if (FAILED(hr)) return hr;
    *dest = *src;
    dest->parray = copy;
    return S_OK;
  }
  switch (vt) {
    case VT_BSTR: {
      BSTR copy = nullptr;
      if (src->bstrVal != nullptr) {
        copy = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                     SysStringByteLen(src->bstrVal));
        if (copy == nullptr) return E_OUTOFMEMORY;
      }
      *dest = *src;
      dest->bstrVal = copy;
      return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH:
      *dest = *src;
      if (dest->punkVal != nullptr) dest->punkVal->AddRef();
      return S_OK;
    default:
      *dest = *src;
      return S_OK;
  }
}

// Copies the value a VT_BYREF src points at into the empty dest.
HRESULT CopyReferenced(VARIANT* dest, const VARIANT* src) {
  VARTYPE target = src->vt & ~VT_BYREF;
  if (src->byref == nullptr) return E_INVALIDARG;
  if (target == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    if ((inner->vt & VT_BYREF) != 0) return E_INVALIDARG;  // one level only
    return CopyValue(dest, inner);
  }
  VARIANT value;
  VariantInit(&value);
  value.vt = target;
  if ((target & VT_ARRAY) != 0) {
    value.parray = *src->pparray;
  } else if (target == VT_BSTR) {
    value.bstrVal = *src->pbstrVal;
  } else if (target == VT_UNKNOWN || target == VT_DISPATCH) {
    value.punkVal = *src->ppunkVal;
  } else if (target == VT_DECIMAL) {
    value.decVal = *src->pdecVal;
    value.vt = VT_DECIMAL;
  } else {
    size_t size = korvo::com::ScalarSize(target);
    if (size == 0) return DISP_E_BADVARTYPE;
    std::memcpy(&value.llVal, src->byref, size);
  }
  return CopyValue(dest, &value);
}

}  // namespace

void VariantInit(VARIANTARG* v) {
  if (v == nullptr) return;
  std::memset(v, 0, sizeof(VARIANT));
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
  if (v == nullptr) return E_INVALIDARG;
  if (!ValidType(v->vt)) return DISP_E_BADVARTYPE;
  if ((v->vt & VT_BYREF) == 0) {
    if ((v->vt & VT_ARRAY) != 0) {
      HRESULT hr = SafeArrayDestroy(v->parray);
      if (FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
      if (v->punkVal != nullptr) v->punkVal->Release();
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (dest == src) return S_OK;
  if (!ValidType(src->vt)) return DISP_E_BADVARTYPE;
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  return CopyValue(dest, src);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (!ValidType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = (src->vt & VT_BYREF) != 0 ? CopyReferenced(&copy, src) : CopyValue(&copy, src);
  if (FAILED(hr)) return hr;
  // Only now may dest go: src may point into it.
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}
