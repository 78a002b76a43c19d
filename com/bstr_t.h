// com/bstr_t.h: _bstr_t, the COM support string: a shared, reference-counted
// holder of one BSTR with a narrow (ANSI code page) view made on demand.
//
// Copies share the same BSTR; the count is atomic, so copies may be used
// and destroyed on different threads. The narrow view is built once per
// shared string (safely, even from two threads at a time). Operations that
// change the text (assignment, +=, Assign, Attach) give this object a
// string of its own and never touch other copies. Pointers returned by the
// conversion operators stay valid until this object is changed or
// destroyed. A default-constructed _bstr_t holds no string (null BSTR,
// length 0).
// Failure to allocate raises _com_error(E_OUTOFMEMORY).
// Thread-safety: one object, one thread at a time; copies are independent.
#pragma once

#include <korvo/com/bstr.h>
#include <korvo/platform/export.h>
#include <korvo/platform/utf32.h>
#include <korvo/platform/wintypes.h>

#include <string>

class _variant_t;

class KORVO_API _bstr_t {
 public:
  _bstr_t() noexcept;
  _bstr_t(const _bstr_t& other) noexcept;
  _bstr_t(_bstr_t&& other) noexcept;
  // Narrow text in the ANSI code page; null gives an empty holder.
  _bstr_t(const char* text);
  _bstr_t(const WCHAR* text);
  // The host's UTF-32 wchar_t text (L"..."), converted to UTF-16; invalid
  // code points become U+FFFD.
  template <korvo::HostWideChar C>
  _bstr_t(const C* text) : _bstr_t(korvo::Utf16Copy(text, korvo::InvalidText::kReplace).c_str()) {}
  // With copy false the holder takes ownership of bstr; else it copies it.
  _bstr_t(BSTR bstr, bool copy);
  // The variant's value as text (VT_BSTR read directly, other types
  // converted; a failing conversion raises _com_error).
  _bstr_t(const _variant_t& value);
  ~_bstr_t();

  _bstr_t& operator=(const _bstr_t& other) noexcept;
  _bstr_t& operator=(_bstr_t&& other) noexcept;
  _bstr_t& operator=(const char* text);
  _bstr_t& operator=(const WCHAR* text);
  template <korvo::HostWideChar C>
  _bstr_t& operator=(const C* text) {
    return *this = korvo::Utf16Copy(text, korvo::InvalidText::kReplace).c_str();
  }
  _bstr_t& operator=(const _variant_t& value);

  _bstr_t& operator+=(const _bstr_t& other);
  _bstr_t operator+(const _bstr_t& other) const;
  friend KORVO_API _bstr_t operator+(const char* left, const _bstr_t& right);
  friend KORVO_API _bstr_t operator+(const WCHAR* left, const _bstr_t& right);

  // The wide text (null when empty-holder); valid while this object is.
  operator const WCHAR*() const noexcept;
  operator WCHAR*() const noexcept;
  // The narrow text in the ANSI code page (null when the holder is empty).
  operator const char*() const;
  operator char*() const;

  // True when the holder is empty or its text has length 0.
  bool operator!() const noexcept;
  // Comparison of the texts unit by unit; an empty holder equals "".
  bool operator==(const _bstr_t& other) const noexcept;
  bool operator!=(const _bstr_t& other) const noexcept;
  bool operator<(const _bstr_t& other) const noexcept;
  bool operator>(const _bstr_t& other) const noexcept;
  bool operator<=(const _bstr_t& other) const noexcept;
  bool operator>=(const _bstr_t& other) const noexcept;

  // A new BSTR the caller owns (copy true), or the held one (copy false:
  // the holder still owns it).
  BSTR copy(bool copy = true) const;
  unsigned int length() const noexcept;  // characters
  // The text as the host's UTF-32 std::wstring (a lone surrogate becomes
  // U+FFFD; an empty holder gives "").
  std::wstring GetStdWString() const;

  // Replaces the text with a copy of bstr.
  void Assign(BSTR bstr);
  // The holder's own BSTR slot, for out arguments: the current text is
  // freed first (GetAddress) or kept (GetBSTR); the holder owns what is
  // written there.
  BSTR& GetBSTR();
  BSTR* GetAddress();
  // Takes ownership of bstr / gives up ownership of the held BSTR (the
  // caller frees it). Detach on a shared string returns a copy.
  void Attach(BSTR bstr);
  BSTR Detach();

 private:
  class Data;
  explicit _bstr_t(Data* data) noexcept : data_(data) {}
  // A shared string holding `wide` (owned); raises E_OUTOFMEMORY, freeing it.
  static Data* NewData(BSTR wide);
  void Release() noexcept;
  // Makes data_ unshared (or absent) so it can be changed.
  void Unshare();

  Data* data_;
};
