// com/variant_t.cpp: the VARIANT-owning COM support wrapper.
#include <korvo/com/com_error.h>
#include <korvo/com/variant_t.h>
#include <korvo/platform/codepage.h>

#include <cstring>
#include <limits>

namespace {

void Check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}

VARIANT Empty() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

VARIANT Make(VARTYPE vt) {
  VARIANT v = Empty();
  v.vt = vt;
  return v;
}

BSTR NarrowToBstr(const char* text) {
  if (text == nullptr) return nullptr;
  size_t bytes = std::strlen(text);
  if (bytes > 0x3FFFFFFF) _com_issue_error(E_OUTOFMEMORY);
  int units =
      bytes == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), nullptr, 0);
  if (units < 0) units = 0;
  BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (s == nullptr) _com_issue_error(E_OUTOFMEMORY);
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), s, units);
  return s;
}

BSTR WideToBstr(const WCHAR* text) {
  if (text == nullptr) return nullptr;
  BSTR s = SysAllocString(text);
  if (s == nullptr) _com_issue_error(E_OUTOFMEMORY);
  return s;
}

}  // namespace

void _variant_t::Take(VARIANT& value) noexcept {
  // Clearing can fail only for a locked array; the value then stays owned
  // by whoever locked it, as VariantClear leaves it.
  VariantClear(this);
  static_cast<VARIANT&>(*this) = value;
  VariantInit(&value);
}

_variant_t::_variant_t() noexcept { VariantInit(this); }

_variant_t::_variant_t(const VARIANT& value) {
  VariantInit(this);
  Check(VariantCopy(this, &value));
}

_variant_t::_variant_t(const VARIANT* value) {
  VariantInit(this);
  if (value == nullptr) _com_issue_error(E_POINTER);
  Check(VariantCopy(this, value));
}

_variant_t::_variant_t(const _variant_t& value) : tagVARIANT() {
  VariantInit(this);
  Check(VariantCopy(this, &value));
}

_variant_t::_variant_t(_variant_t&& value) noexcept : tagVARIANT(value) { VariantInit(&value); }

_variant_t::_variant_t(VARIANT& value, bool copy) {
  VariantInit(this);
  if (copy) {
    Check(VariantCopy(this, &value));
  } else {
    static_cast<VARIANT&>(*this) = value;
    VariantInit(&value);
  }
}

_variant_t::_variant_t(short value, VARTYPE vt) {
  VariantInit(this);
  if (vt == VT_I2) {
    this->vt = VT_I2;
    iVal = value;
  } else if (vt == VT_BOOL) {
    this->vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  } else {
    _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(long value, VARTYPE vt) {
  VariantInit(this);
  if (vt == VT_BOOL) {
    this->vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (vt == VT_ERROR) {
    if (value < std::numeric_limits<SCODE>::min() || value > std::numeric_limits<uint32_t>::max())
      _com_issue_error(DISP_E_OVERFLOW);
    this->vt = VT_ERROR;
    scode = static_cast<SCODE>(static_cast<uint32_t>(value));
  } else if (vt == VT_I4) {
    if (value >= std::numeric_limits<LONG>::min() && value <= std::numeric_limits<LONG>::max()) {
      this->vt = VT_I4;
      lVal = static_cast<LONG>(value);
    } else {
      this->vt = VT_I8;
      llVal = value;
    }
  } else {
    _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(float value) noexcept {
  VariantInit(this);
  vt = VT_R4;
  fltVal = value;
}

_variant_t::_variant_t(double value, VARTYPE vt) {
  VariantInit(this);
  if (vt != VT_R8 && vt != VT_DATE) _com_issue_error(E_INVALIDARG);
  this->vt = vt;
  dblVal = value;
}

_variant_t::_variant_t(const CY& value) noexcept {
  VariantInit(this);
  vt = VT_CY;
  cyVal = value;
}

_variant_t::_variant_t(const DECIMAL& value) noexcept {
  VariantInit(this);
  decVal = value;
  vt = VT_DECIMAL;
}

_variant_t::_variant_t(const _bstr_t& value) {
  VariantInit(this);
  bstrVal = value.copy(true);
  vt = VT_BSTR;
}

_variant_t::_variant_t(const WCHAR* value) {
  VariantInit(this);
  bstrVal = WideToBstr(value);
  vt = VT_BSTR;
}

_variant_t::_variant_t(const char* value) {
  VariantInit(this);
  bstrVal = NarrowToBstr(value);
  vt = VT_BSTR;
}

_variant_t::_variant_t(IDispatch* value, bool addRef) noexcept {
  VariantInit(this);
  vt = VT_DISPATCH;
  pdispVal = value;
  if (value != nullptr && addRef) value->AddRef();
}

_variant_t::_variant_t(IUnknown* value, bool addRef) noexcept {
  VariantInit(this);
  vt = VT_UNKNOWN;
  punkVal = value;
  if (value != nullptr && addRef) value->AddRef();
}

_variant_t::_variant_t(bool value) noexcept {
  VariantInit(this);
  vt = VT_BOOL;
  boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

_variant_t::_variant_t(BYTE value) noexcept {
  VariantInit(this);
  vt = VT_UI1;
  bVal = value;
}

_variant_t::_variant_t(char value) noexcept {
  VariantInit(this);
  vt = VT_I1;
  cVal = value;
}

_variant_t::_variant_t(unsigned short value) noexcept {
  VariantInit(this);
  vt = VT_UI2;
  uiVal = value;
}

_variant_t::_variant_t(unsigned long value) {
  VariantInit(this);
  if (value <= std::numeric_limits<ULONG>::max()) {
    vt = VT_UI4;
    ulVal = static_cast<ULONG>(value);
  } else {
    vt = VT_UI8;
    ullVal = value;
  }
}

_variant_t::_variant_t(int value, VARTYPE vt) {
  VariantInit(this);
  if (vt == VT_INT) {
    this->vt = VT_INT;
    intVal = value;
  } else if (vt == VT_I4) {
    this->vt = VT_I4;
    lVal = value;
  } else {
    _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(unsigned int value, VARTYPE vt) {
  VariantInit(this);
  if (vt == VT_UINT) {
    this->vt = VT_UINT;
    uintVal = value;
  } else if (vt == VT_UI4) {
    this->vt = VT_UI4;
    ulVal = value;
  } else {
    _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(long long value) noexcept {
  VariantInit(this);
  vt = VT_I8;
  llVal = value;
}

_variant_t::_variant_t(unsigned long long value) noexcept {
  VariantInit(this);
  vt = VT_UI8;
  ullVal = value;
}

_variant_t::~_variant_t() { VariantClear(this); }

_variant_t _variant_t::Converted(VARTYPE target) const {
  _variant_t out;
  if (vt == target) {
    Check(VariantCopy(&out, this));
  } else {
    Check(VariantChangeType(&out, this, 0, target));
  }
  return out;
}

_variant_t::operator short() const { return Converted(VT_I2).iVal; }
_variant_t::operator long() const { return Converted(VT_I4).lVal; }
_variant_t::operator float() const { return Converted(VT_R4).fltVal; }
_variant_t::operator double() const { return Converted(VT_R8).dblVal; }
_variant_t::operator CY() const { return Converted(VT_CY).cyVal; }
_variant_t::operator _bstr_t() const { return _bstr_t(*this); }
_variant_t::operator IDispatch*() const {
  if (vt == VT_DISPATCH) {
    if (pdispVal != nullptr) pdispVal->AddRef();
    return pdispVal;
  }
  if (vt == VT_UNKNOWN) {
    IDispatch* d = nullptr;
    if (punkVal == nullptr) return nullptr;
    Check(punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)));
    return d;
  }
  _com_issue_error(DISP_E_TYPEMISMATCH);
}
_variant_t::operator bool() const { return Converted(VT_BOOL).boolVal != VARIANT_FALSE; }
_variant_t::operator IUnknown*() const {
  if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    if (punkVal != nullptr) punkVal->AddRef();
    return punkVal;
  }
  _com_issue_error(DISP_E_TYPEMISMATCH);
}
_variant_t::operator DECIMAL() const {
  DECIMAL d = Converted(VT_DECIMAL).decVal;
  d.wReserved = 0;  // it held the type code
  return d;
}
_variant_t::operator BYTE() const { return Converted(VT_UI1).bVal; }
_variant_t::operator char() const { return Converted(VT_I1).cVal; }
_variant_t::operator unsigned short() const { return Converted(VT_UI2).uiVal; }
_variant_t::operator unsigned long() const { return Converted(VT_UI4).ulVal; }
_variant_t::operator int() const { return Converted(VT_INT).intVal; }
_variant_t::operator unsigned int() const { return Converted(VT_UINT).uintVal; }
_variant_t::operator long long() const { return Converted(VT_I8).llVal; }
_variant_t::operator unsigned long long() const { return Converted(VT_UI8).ullVal; }

// Each assignment builds the new value first (the source may be this
// object's own contents), then swaps it in.
_variant_t& _variant_t::operator=(const VARIANT& value) {
  if (&value != this) {
    _variant_t copy(value);
    Take(copy);
  }
  return *this;
}
_variant_t& _variant_t::operator=(const VARIANT* value) {
  if (value == nullptr) _com_issue_error(E_POINTER);
  return *this = *value;
}
_variant_t& _variant_t::operator=(const _variant_t& value) {
  return *this = static_cast<const VARIANT&>(value);
}
_variant_t& _variant_t::operator=(_variant_t&& value) noexcept {
  if (&value != this) Take(value);
  return *this;
}

#define KORVO_ASSIGN_VIA_CTOR(Type)               \
  _variant_t& _variant_t::operator=(Type value) { \
    _variant_t fresh(value);                      \
    Take(fresh);                                  \
    return *this;                                 \
  }
KORVO_ASSIGN_VIA_CTOR(short)
KORVO_ASSIGN_VIA_CTOR(long)
KORVO_ASSIGN_VIA_CTOR(float)
KORVO_ASSIGN_VIA_CTOR(double)
KORVO_ASSIGN_VIA_CTOR(const CY&)
KORVO_ASSIGN_VIA_CTOR(const _bstr_t&)
KORVO_ASSIGN_VIA_CTOR(const WCHAR*)
KORVO_ASSIGN_VIA_CTOR(const char*)
KORVO_ASSIGN_VIA_CTOR(IDispatch*)
KORVO_ASSIGN_VIA_CTOR(bool)
KORVO_ASSIGN_VIA_CTOR(IUnknown*)
KORVO_ASSIGN_VIA_CTOR(const DECIMAL&)
KORVO_ASSIGN_VIA_CTOR(BYTE)
KORVO_ASSIGN_VIA_CTOR(char)
KORVO_ASSIGN_VIA_CTOR(unsigned short)
KORVO_ASSIGN_VIA_CTOR(unsigned long)
KORVO_ASSIGN_VIA_CTOR(int)
KORVO_ASSIGN_VIA_CTOR(unsigned int)
KORVO_ASSIGN_VIA_CTOR(long long)
KORVO_ASSIGN_VIA_CTOR(unsigned long long)
#undef KORVO_ASSIGN_VIA_CTOR

bool _variant_t::operator==(const VARIANT& other) const noexcept {
  if (&other == this) return true;
  if (vt != other.vt) return false;
  if ((vt & VT_BYREF) != 0) return byref == other.byref;
  if ((vt & VT_ARRAY) != 0) {
    if (parray == other.parray) return true;
    if (parray == nullptr || other.parray == nullptr) return false;
    if (parray->cbElements != other.parray->cbElements ||
        parray->rgsabound[0].cElements != other.parray->rgsabound[0].cElements ||
        parray->rgsabound[0].lLbound != other.parray->rgsabound[0].lLbound)
      return false;
    size_t bytes = static_cast<size_t>(parray->cbElements) * parray->rgsabound[0].cElements;
    return bytes == 0 || std::memcmp(parray->pvData, other.parray->pvData, bytes) == 0;
  }
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_I1:
    case VT_UI1:
      return bVal == other.bVal;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return uiVal == other.uiVal;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
      return ulVal == other.ulVal;
    case VT_I8:
    case VT_UI8:
    case VT_CY:
      return ullVal == other.ullVal;
    case VT_R4:
      return fltVal == other.fltVal;
    case VT_R8:
    case VT_DATE:
      return dblVal == other.dblVal;
    case VT_BSTR: {
      UINT n = SysStringByteLen(bstrVal);
      return n == SysStringByteLen(other.bstrVal) &&
             (n == 0 || std::memcmp(bstrVal, other.bstrVal, n) == 0);
    }
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return punkVal == other.punkVal;
    case VT_DECIMAL:
      return decVal.scale == other.decVal.scale && decVal.sign == other.decVal.sign &&
             decVal.Hi32 == other.decVal.Hi32 && decVal.Lo64 == other.decVal.Lo64;
    default:
      return false;
  }
}
bool _variant_t::operator==(const VARIANT* other) const noexcept {
  return other != nullptr && *this == *other;
}
bool _variant_t::operator!=(const VARIANT& other) const noexcept { return !(*this == other); }
bool _variant_t::operator!=(const VARIANT* other) const noexcept { return !(*this == other); }

void _variant_t::Clear() { Check(VariantClear(this)); }

void _variant_t::Attach(VARIANT& value) {
  if (&value == this) return;
  Check(VariantClear(this));
  static_cast<VARIANT&>(*this) = value;
  VariantInit(&value);
}

VARIANT _variant_t::Detach() noexcept {
  VARIANT out = *this;
  VariantInit(this);
  return out;
}

VARIANT& _variant_t::GetVARIANT() noexcept { return *this; }

VARIANT* _variant_t::GetAddress() {
  Clear();
  return this;
}

void _variant_t::ChangeType(VARTYPE target, const _variant_t* src) {
  const VARIANT* from = src != nullptr ? static_cast<const VARIANT*>(src) : this;
  if (from == this && vt == target) return;
  // VariantChangeType leaves the destination as it was on failure.
  Check(VariantChangeType(this, from, 0, target));
}

void _variant_t::SetString(const char* text) {
  VARIANT fresh = Make(VT_BSTR);
  fresh.bstrVal = NarrowToBstr(text);
  Take(fresh);
}

namespace korvo::com {

const _variant_t& MissingVariant() {
  static const _variant_t missing(static_cast<long>(DISP_E_PARAMNOTFOUND), VT_ERROR);
  return missing;
}

}  // namespace korvo::com
