// types/CTWString.h: CTWString, the library's copy-on-write string of
// 16-bit characters (UTF-16 code units, WCHAR = char16_t).
//
// What it is: the twin of CTString (CTString.h) with the same buffer
// layout (a TWStringData header {nRefCount, nLength, nAllocLength} in front
// of the units), the same states, sharing, locking and clamping rules, and
// the same members, implemented once in TStringBase. Every length, index,
// capacity and search result counts 16-bit units. CTWString has its own
// static empty buffer; the two classes never share blocks.
//
// Thread-safety: only the reference count is atomic. Different CTWString
// objects sharing a block may be copied and destroyed on different threads;
// one object must not be written by one thread while another uses it.
//
// Operations that detach a shared block before writing: SetAt, MakeUpper,
// MakeLower, MakeReverse, TrimLeft, TrimRight, GetBuffer,
// GetBufferSetLength, LockBuffer, ReleaseBuffer. Assignment, +=, Format,
// LoadStringA and FreeExtra write into the own block only when it is not
// shared and large enough.
//
// Out of memory raises std::bad_alloc, leaving the string as CTString.h
// says. BSTR allocation failures return null.
//
// Differences from CTString:
// - Construction and assignment from narrow text convert from the ANSI code
//   page into a block of one unit per byte (the capacity stays the byte
//   count).
// - operator+=(char) appends the byte widened as a signed 8-bit value (0xE9
//   becomes 0xFFE9); no code-page conversion.
// - Case mapping, white space, search and CompareNoCase / Collate use the
//   platform's 16-bit C library functions (platform/widechar.h).
// - In a wide format %s/%c take wide text and %S/%C narrow text.
// - LoadStringA accepts the first 256-unit load when more than one unit was
//   left over (CTString needs two).
// - AllocSysString / SetSysString copy the units as they are.
// - There is no unsigned-char constructor or assignment, no assignment of a
//   single character, no += of narrow text and no OEM conversion.
// Choices of this implementation: as CTString's; in addition, the
// constructor and assignment accept UTF-32 `const wchar_t*` text (L"..."
// literals), converted to UTF-16 (code points beyond the Basic Multilingual
// Plane become surrogate pairs, invalid ones U+FFFD); for the assignment a
// null pointer leaves the string unchanged, as for the UTF-16 form.
// GetStdWString hands the text out as UTF-32. (The library's operations
// that take wchar_t text themselves reject invalid code points with a
// CDBException instead; see diag/host_wide_text.h.)
#pragma once

#include <korvo/com/bstr.h>
#include <korvo/platform/export.h>
#include <korvo/platform/utf32.h>
#include <korvo/platform/wintypes.h>
#include <korvo/types/TStringBase.h>

#include <string>

// The header in front of the units of a CTWString block.
using TWStringData = korvo::detail::StringData<WCHAR>;

class KORVO_API CTWString : public korvo::detail::TStringBase<CTWString, WCHAR> {
  using Base = korvo::detail::TStringBase<CTWString, WCHAR>;

 public:
  CTWString() noexcept = default;
  CTWString(const CTWString& source) : Base() { InitCopy(source); }
  CTWString(CTWString&& source) noexcept : Base() { InitMove(source); }
  CTWString(const WCHAR* text) : Base() { InitText(text, SafeStrlen(text)); }
  CTWString(const WCHAR* text, int count) : Base() { InitCopy(text, count); }
  CTWString(WCHAR ch, int count) : Base() { InitRepeat(ch, count); }
  // Narrow text converted from the ANSI code page.
  CTWString(const char* text) : Base() { ConvertFrom(text, false); }
  // UTF-32 text (wchar_t on Linux) converted to UTF-16.
  CTWString(const wchar_t* text);
  ~CTWString() = default;

  const CTWString& operator=(const CTWString& source) {
    AssignString(source);
    return *this;
  }
  const CTWString& operator=(CTWString&& source) {
    AssignMove(source);
    return *this;
  }
  // A null pointer leaves the string unchanged.
  const CTWString& operator=(const WCHAR* text) {
    AssignCopy(SafeStrlen(text), text);
    return *this;
  }
  const CTWString& operator=(long value) {
    AssignLong(value);
    return *this;
  }
  // Narrow text converted from the ANSI code page; null or empty empties.
  const CTWString& operator=(const char* text) {
    ConvertFrom(text, true);
    return *this;
  }
  // UTF-32 text converted to UTF-16; a null pointer leaves it unchanged.
  const CTWString& operator=(const wchar_t* text);

  using Base::operator+=;
  // Appends the byte widened as a signed 8-bit value.
  const CTWString& operator+=(char ch);

  // The host's UTF-32 text where the members above take WCHAR text,
  // converted first (invalid code points as U+FFFD). Constrained to
  // wchar_t, so u"..." text, 0 and nullptr pick the WCHAR forms as before.
  template <korvo::HostWideChar C>
  const CTWString& operator+=(const C* text) {
    return *this += HostText(text).c_str();
  }
  template <korvo::HostWideChar C>
  int Find(const C* sub) const {
    return Find(HostText(sub).c_str());
  }
  template <korvo::HostWideChar C>
  int Compare(const C* text) const {
    return Compare(HostText(text).c_str());
  }
  template <korvo::HostWideChar C>
  int CompareNoCase(const C* text) const {
    return CompareNoCase(HostText(text).c_str());
  }
  using Base::Compare;
  using Base::CompareNoCase;
  using Base::Find;

  // The text as UTF-32 (the host's std::wstring); a lone surrogate unit
  // becomes U+FFFD. The explicit conversion lets `std::wstring w(s)` and
  // static_cast compile as they do for a 16-bit wchar_t.
  std::wstring GetStdWString() const;
  explicit operator std::wstring() const { return GetStdWString(); }

  // The conversion behind the wchar_t members and operators.
  static korvo::Utf16Copy HostText(const wchar_t* text) {
    return korvo::Utf16Copy(text, korvo::InvalidText::kReplace);
  }
};

static_assert(sizeof(CTWString) == sizeof(WCHAR*), "CTWString is one pointer");

extern template class korvo::detail::TStringBase<CTWString, WCHAR>;

// Comparisons by unsigned 16-bit units; each relation holds between the
// operands in the order written. Results are 1 or 0.
KORVO_API int operator==(const CTWString& a, const CTWString& b);
KORVO_API int operator==(const CTWString& a, const WCHAR* b);
KORVO_API int operator==(const WCHAR* a, const CTWString& b);
KORVO_API int operator!=(const CTWString& a, const CTWString& b);
KORVO_API int operator!=(const CTWString& a, const WCHAR* b);
KORVO_API int operator!=(const WCHAR* a, const CTWString& b);
KORVO_API int operator<(const CTWString& a, const CTWString& b);
KORVO_API int operator<(const CTWString& a, const WCHAR* b);
KORVO_API int operator<(const WCHAR* a, const CTWString& b);
KORVO_API int operator>(const CTWString& a, const CTWString& b);
KORVO_API int operator>(const CTWString& a, const WCHAR* b);
KORVO_API int operator>(const WCHAR* a, const CTWString& b);
KORVO_API int operator<=(const CTWString& a, const CTWString& b);
KORVO_API int operator<=(const CTWString& a, const WCHAR* b);
KORVO_API int operator<=(const WCHAR* a, const CTWString& b);
KORVO_API int operator>=(const CTWString& a, const CTWString& b);
KORVO_API int operator>=(const CTWString& a, const WCHAR* b);
KORVO_API int operator>=(const WCHAR* a, const CTWString& b);

// Comparisons with the host's UTF-32 text (converted as CTWString does).
template <korvo::HostWideChar C>
int operator==(const CTWString& a, const C* b) {
  return a == CTWString::HostText(b).c_str();
}
template <korvo::HostWideChar C>
int operator==(const C* a, const CTWString& b) {
  return CTWString::HostText(a).c_str() == b;
}
template <korvo::HostWideChar C>
int operator!=(const CTWString& a, const C* b) {
  return a != CTWString::HostText(b).c_str();
}
template <korvo::HostWideChar C>
int operator!=(const C* a, const CTWString& b) {
  return CTWString::HostText(a).c_str() != b;
}

// Concatenation into a new string (one exact-size block).
KORVO_API CTWString operator+(const CTWString& a, const CTWString& b);
KORVO_API CTWString operator+(const CTWString& a, WCHAR b);
KORVO_API CTWString operator+(WCHAR a, const CTWString& b);
KORVO_API CTWString operator+(const CTWString& a, const WCHAR* b);
KORVO_API CTWString operator+(const WCHAR* a, const CTWString& b);
