// com/variant_t.h: _variant_t, the COM support wrapper that owns a VARIANT.
//
// It is a VARIANT (public base), so it can be passed wherever a VARIANT* is
// expected, and it clears what it owns on destruction. Construction and
// assignment from the usual scalar types set the matching type code;
// conversion operators change a copy of the value with VariantChangeType
// and raise _com_error (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, ...) when it
// cannot be converted. Every failure to allocate raises
// _com_error(E_OUTOFMEMORY).
//
// Integer widths: `long` is 64-bit on Linux while VT_I4 is 32-bit, so a
// `long` (and LONGLONG, the same type) becomes VT_I4 when it fits in 32
// bits and VT_I8 otherwise; `long long` (__int64) is always VT_I8. `int`
// becomes VT_INT, as on Windows.
// Thread-safety: one object, one thread at a time.
#pragma once

#include <korvo/com/bstr_t.h>
#include <korvo/com/unknown.h>
#include <korvo/com/variant.h>
#include <korvo/platform/export.h>
#include <korvo/platform/utf32.h>

class KORVO_API _variant_t : public tagVARIANT {
 public:
  _variant_t() noexcept;
  _variant_t(const VARIANT& value);
  _variant_t(const VARIANT* value);
  _variant_t(const _variant_t& value);
  _variant_t(_variant_t&& value) noexcept;
  // With copy false takes over value's contents and leaves it VT_EMPTY.
  _variant_t(VARIANT& value, bool copy);
  // vt may be VT_I2 or VT_BOOL (E_INVALIDARG otherwise).
  _variant_t(short value, VARTYPE vt = VT_I2);
  // vt may be VT_I4, VT_BOOL or VT_ERROR (E_INVALIDARG otherwise); see
  // "Integer widths" above for values beyond 32 bits.
  _variant_t(long value, VARTYPE vt = VT_I4);
  _variant_t(float value) noexcept;
  // vt may be VT_R8 or VT_DATE.
  _variant_t(double value, VARTYPE vt = VT_R8);
  _variant_t(const CY& value) noexcept;
  _variant_t(const DECIMAL& value) noexcept;
  _variant_t(const _bstr_t& value);
  _variant_t(const WCHAR* value);
  // The host's UTF-32 wchar_t text (L"..."): VT_BSTR in UTF-16, invalid
  // code points as U+FFFD. (Without this form an L"..." literal would
  // convert to bool.)
  template <korvo::HostWideChar C>
  _variant_t(const C* value)
      : _variant_t(korvo::Utf16Copy(value, korvo::InvalidText::kReplace).c_str()) {}
  _variant_t(const char* value);
  // Interface values take a reference unless addRef is false (then the
  // variant takes over the caller's reference).
  _variant_t(IDispatch* value, bool addRef = true) noexcept;
  _variant_t(IUnknown* value, bool addRef = true) noexcept;
  _variant_t(bool value) noexcept;
  _variant_t(BYTE value) noexcept;
  _variant_t(char value) noexcept;
  _variant_t(unsigned short value) noexcept;
  _variant_t(unsigned long value);
  _variant_t(int value, VARTYPE vt = VT_INT);
  _variant_t(unsigned int value, VARTYPE vt = VT_UINT);
  _variant_t(long long value) noexcept;
  _variant_t(unsigned long long value) noexcept;
  ~_variant_t();

  // Conversions; each raises _com_error when the value cannot be converted.
  operator short() const;
  operator long() const;
  operator float() const;
  operator double() const;
  operator CY() const;
  operator _bstr_t() const;
  operator IDispatch*() const;  // AddRef'd for the caller
  operator bool() const;
  operator IUnknown*() const;  // AddRef'd for the caller
  operator DECIMAL() const;
  operator BYTE() const;
  operator char() const;
  operator unsigned short() const;
  operator unsigned long() const;
  operator int() const;
  operator unsigned int() const;
  operator long long() const;
  operator unsigned long long() const;

  _variant_t& operator=(const VARIANT& value);
  _variant_t& operator=(const VARIANT* value);
  _variant_t& operator=(const _variant_t& value);
  _variant_t& operator=(_variant_t&& value) noexcept;
  _variant_t& operator=(short value);
  _variant_t& operator=(long value);
  _variant_t& operator=(float value);
  _variant_t& operator=(double value);
  _variant_t& operator=(const CY& value);
  _variant_t& operator=(const _bstr_t& value);
  _variant_t& operator=(const WCHAR* value);
  template <korvo::HostWideChar C>
  _variant_t& operator=(const C* value) {
    return *this = korvo::Utf16Copy(value, korvo::InvalidText::kReplace).c_str();
  }
  _variant_t& operator=(const char* value);
  _variant_t& operator=(IDispatch* value);
  _variant_t& operator=(bool value);
  _variant_t& operator=(IUnknown* value);
  _variant_t& operator=(const DECIMAL& value);
  _variant_t& operator=(BYTE value);
  _variant_t& operator=(char value);
  _variant_t& operator=(unsigned short value);
  _variant_t& operator=(unsigned long value);
  _variant_t& operator=(int value);
  _variant_t& operator=(unsigned int value);
  _variant_t& operator=(long long value);
  _variant_t& operator=(unsigned long long value);

  // Same type and equal value (texts by content, interfaces by pointer,
  // arrays by element bytes).
  bool operator==(const VARIANT& other) const noexcept;
  bool operator==(const VARIANT* other) const noexcept;
  bool operator!=(const VARIANT& other) const noexcept;
  bool operator!=(const VARIANT* other) const noexcept;

  // Releases the contents; VT_EMPTY.
  void Clear();
  // Takes over value's contents (value becomes VT_EMPTY).
  void Attach(VARIANT& value);
  // Gives up the contents to the caller, who must clear them.
  VARIANT Detach() noexcept;
  VARIANT& GetVARIANT() noexcept;
  // Clears the contents and returns the address, for out arguments.
  VARIANT* GetAddress();
  // Converts to vt, in place or from src when given; raises _com_error on
  // failure (this object then keeps its value).
  void ChangeType(VARTYPE vt, const _variant_t* src = nullptr);
  // VT_BSTR from narrow text in the ANSI code page.
  void SetString(const char* text);

 private:
  // Sets the contents to value (already owned by the caller's temporary).
  void Take(VARIANT& value) noexcept;
  // A copy of this value converted to vt; raises on failure.
  _variant_t Converted(VARTYPE vt) const;
};

namespace korvo::com {

// An optional argument left out: VT_ERROR with DISP_E_PARAMNOTFOUND.
KORVO_API const _variant_t& MissingVariant();

}  // namespace korvo::com

// The name the Windows headers give the "left out" argument.
#define vtMissing (::korvo::com::MissingVariant())
