// types/CTString.h: CTString, the library's copy-on-write string of 8-bit
// characters (text in the process's ANSI code page, UTF-8 by default).
//
// What it is: a value type holding one pointer (m_pszData) to the
// characters of a heap block that starts with a TStringData header
// {nRefCount, nLength, nAllocLength}. Copying shares the block and bumps the
// count; the first write through any holder of a shared block gives that
// holder a private copy. Every empty string points at one static empty
// buffer, so empty strings never allocate. Lengths and indexes are signed
// 32-bit character counts. See TStringBase.h for the buffer states and the
// members shared with CTWString.
//
// Thread-safety: only the reference count is atomic. Different CTString
// objects sharing a block may be copied and destroyed on different threads;
// one object must not be written by one thread while another uses it.
//
// Operations that detach a shared block before writing (copy-before-write):
// SetAt, MakeUpper, MakeLower, MakeReverse, TrimLeft, TrimRight,
// CharToOemA, OemToCharA, GetBuffer, GetBufferSetLength, LockBuffer,
// ReleaseBuffer. Assignment and +=, Format, LoadStringA, FreeExtra write
// into the string's own block only when it is not shared and large enough,
// otherwise into a new exact-size block.
//
// Ownership: every block is owned by the strings that point at it and freed
// by the last of them. Pointers returned by operator const char*,
// GetBuffer and LockBuffer stay valid until the string is next changed or
// destroyed.
//
// Out of memory raises std::bad_alloc. Assignment, and the operations that
// detach a shared block, then leave the string empty; concatenation,
// substrings, GetBuffer and FreeExtra leave it unchanged. BSTR allocation
// failures return null instead.
//
// Choices of this implementation:
// - Conversion from UTF-16 sizes the block at two bytes per UTF-16 unit
//   (room for double-byte code pages, kept as capacity). A UTF-8 ANSI code
//   page can need three bytes per unit: when the text does not fit, the
//   block is re-sized to the exact converted length, so non-ASCII text is
//   never cut.
// - operator=(long) renders the whole value of `long` (64-bit here); for
//   every 32-bit value the text is the same as with a 32-bit long.
// - CharToOemA / OemToCharA convert through UTF-16 with exact sizing, so a
//   conversion that changes the byte length (UTF-8 <-> CP437) is complete
//   and the length follows the text.
// - A null `const char*` given to a search, comparison or span is treated
//   as the empty text. Lengths given to ReleaseBuffer beyond the capacity
//   are cut to it, and -1 measures at most up to the capacity.
// - The free operator+ forms are exported for host code, together with the
//   comparison operators; each returns a new string in one exact-size block.
// - A moved-from string is empty; moving a locked string into another that
//   is not locked hands the locked block over.
// - Format also takes CTString and CTWString objects as arguments and
//   prints their text; AppendFormat and AppendFormatV append formatted text
//   (see TStringBase.h).
#pragma once

#include <korvo/com/bstr.h>
#include <korvo/platform/export.h>
#include <korvo/platform/utf32.h>
#include <korvo/platform/wintypes.h>
#include <korvo/types/TStringBase.h>

// The header in front of the characters of a CTString block.
using TStringData = korvo::detail::StringData<char>;

class KORVO_API CTString : public korvo::detail::TStringBase<CTString, char> {
  using Base = korvo::detail::TStringBase<CTString, char>;

 public:
  // The empty string (no allocation).
  CTString() noexcept = default;
  // Shares the source's block (count + 1) unless it is locked or the static
  // empty buffer; then copies the text up to its first NUL.
  CTString(const CTString& source) : Base() { InitCopy(source); }
  CTString(CTString&& source) noexcept : Base() { InitMove(source); }
  // A null pointer or empty text gives the empty string.
  CTString(const char* text) : Base() { InitText(text, SafeStrlen(text)); }
  CTString(const unsigned char* text) : CTString(reinterpret_cast<const char*>(text)) {}
  // At most `count` characters, stopping at the first NUL.
  CTString(const char* text, int count) : Base() { InitCopy(text, count); }
  // `count` copies of `ch`; a count below 1 gives the empty string.
  CTString(char ch, int count) : Base() { InitRepeat(ch, count); }
  // UTF-16 text converted to the ANSI code page.
  CTString(const WCHAR* text) : Base() { ConvertFrom(text, false); }
  // The host's UTF-32 wchar_t text (L"..."), through UTF-16 (invalid code
  // points as U+FFFD) to the ANSI code page.
  template <korvo::HostWideChar C>
  CTString(const C* text)
      : CTString(korvo::Utf16Copy(text, korvo::InvalidText::kReplace).c_str()) {}
  ~CTString() = default;

  // Shares the source's block unless either string is locked (then copies
  // into this string's block). Self-assignment does nothing.
  const CTString& operator=(const CTString& source) {
    AssignString(source);
    return *this;
  }
  const CTString& operator=(CTString&& source) {
    AssignMove(source);
    return *this;
  }
  // A null pointer leaves the string unchanged. The text may be part of
  // this string's own text.
  const CTString& operator=(const char* text) {
    AssignCopy(SafeStrlen(text), text);
    return *this;
  }
  const CTString& operator=(const unsigned char* text) {
    return *this = reinterpret_cast<const char*>(text);
  }
  const CTString& operator=(char ch) {
    AssignCopy(1, &ch);
    return *this;
  }
  // The signed decimal text of the value.
  const CTString& operator=(long value) {
    AssignLong(value);
    return *this;
  }
  // UTF-16 text converted to the ANSI code page; null or empty empties.
  const CTString& operator=(const WCHAR* text) {
    ConvertFrom(text, true);
    return *this;
  }
  template <korvo::HostWideChar C>
  const CTString& operator=(const C* text) {
    return *this = korvo::Utf16Copy(text, korvo::InvalidText::kReplace).c_str();
  }

  using Base::operator+=;

  // In-place conversion of the text from the ANSI to the OEM code page and
  // back (platform/codepage.h). Detaches a shared block first.
  void CharToOemA();
  void OemToCharA();

 private:
  void ConvertCodePage(UINT from, UINT to);
};

static_assert(sizeof(CTString) == sizeof(char*), "CTString is one pointer");

// The shared machinery is instantiated once, inside the library.
extern template class korvo::detail::TStringBase<CTString, char>;

// Comparisons by unsigned bytes; each relation holds between the operands
// in the order written. Results are 1 or 0. A null pointer compares as "".
KORVO_API int operator==(const CTString& a, const CTString& b);
KORVO_API int operator==(const CTString& a, const char* b);
KORVO_API int operator==(const char* a, const CTString& b);
KORVO_API int operator!=(const CTString& a, const CTString& b);
KORVO_API int operator!=(const CTString& a, const char* b);
KORVO_API int operator!=(const char* a, const CTString& b);
KORVO_API int operator<(const CTString& a, const CTString& b);
KORVO_API int operator<(const CTString& a, const char* b);
KORVO_API int operator<(const char* a, const CTString& b);
KORVO_API int operator>(const CTString& a, const CTString& b);
KORVO_API int operator>(const CTString& a, const char* b);
KORVO_API int operator>(const char* a, const CTString& b);
KORVO_API int operator<=(const CTString& a, const CTString& b);
KORVO_API int operator<=(const CTString& a, const char* b);
KORVO_API int operator<=(const char* a, const CTString& b);
KORVO_API int operator>=(const CTString& a, const CTString& b);
KORVO_API int operator>=(const CTString& a, const char* b);
KORVO_API int operator>=(const char* a, const CTString& b);

// Concatenation into a new string (one exact-size block); a null pointer
// counts as the empty text.
KORVO_API CTString operator+(const CTString& a, const CTString& b);
KORVO_API CTString operator+(const CTString& a, char b);
KORVO_API CTString operator+(char a, const CTString& b);
KORVO_API CTString operator+(const CTString& a, const char* b);
KORVO_API CTString operator+(const char* a, const CTString& b);
