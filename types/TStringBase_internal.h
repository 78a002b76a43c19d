// types/TStringBase_internal.h: the member definitions of TStringBase and
// the character traits that make one implementation serve both CTString
// and CTWString. Included only by CTString.cpp and CTWString.cpp, which
// instantiate the template for their class.
#pragma once

#include <korvo/com/bstr.h>
#include <korvo/platform/codepage.h>
#include <korvo/platform/format.h>
#include <korvo/platform/resources.h>
#include <korvo/platform/widechar.h>
#include <korvo/types/TStringBase.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <clocale>
#include <cstring>
#include <exception>
#include <new>

namespace korvo::detail {

// What differs between 8-bit and 16-bit text: the C library functions
// used, the string-resource loader and its margin, and the conversions.
template <class Ch>
struct StringTraits;

template <>
struct StringTraits<char> {
  // LoadStringA accepts the first 256-character load only when more than
  // this many characters were left over (a narrow load may stop short of a
  // double-byte character).
  static constexpr int kLoadMargin = 2;
  // Capacity per character of the other width when converting from it:
  // two bytes per UTF-16 unit (room for double-byte code pages).
  static constexpr int kFromOtherFactor = 2;

  static size_t Len(const char* s) noexcept { return std::strlen(s); }
  static const char* Chr(const char* s, char c) noexcept { return std::strchr(s, c); }
  static const char* RChr(const char* s, char c) noexcept { return std::strrchr(s, c); }
  static const char* Str(const char* s, const char* sub) noexcept { return std::strstr(s, sub); }
  static const char* PBrk(const char* s, const char* set) noexcept { return std::strpbrk(s, set); }
  static size_t Spn(const char* s, const char* set) noexcept { return std::strspn(s, set); }
  static size_t CSpn(const char* s, const char* set) noexcept { return std::strcspn(s, set); }
  static void Upper(char* s) noexcept { ::_strupr(s); }
  static void Lower(char* s) noexcept { ::_strlwr(s); }
  static void Reverse(char* s) noexcept { ::_strrev(s); }
  static bool IsSpace(char c) noexcept { return std::isspace(static_cast<unsigned char>(c)) != 0; }
  static int CompareNoCase(const char* a, const char* b) noexcept { return ::_stricmp(a, b); }
  static int Collate(const char* a, const char* b) noexcept { return std::strcoll(a, b); }
  static int FormatV(char* out, size_t capacity, const char* format, va_list args) {
    return korvo::platform::FormatV(out, capacity, format, args);
  }
  static int LoadString(HMODULE module, UINT id, char* buffer, int bufferMax) {
    return ::LoadStringA(module, id, buffer, bufferMax);
  }
  // UTF-16 units the `length` bytes convert to (ANSI code page).
  static int WideCount(const char* s, int length) {
    return length > 0 ? ::MultiByteToWideChar(CP_ACP, 0, s, length, nullptr, 0) : 0;
  }
  static void ToWide(const char* s, int length, WCHAR* out, int units) {
    if (length > 0 && units > 0) ::MultiByteToWideChar(CP_ACP, 0, s, length, out, units);
  }
  // NUL-terminated UTF-16 text into at most `capacity` bytes (terminator
  // included); 0 when it does not fit. With capacity 0: the bytes needed.
  static int FromOther(const WCHAR* s, char* out, int capacity) {
    return ::WideCharToMultiByte(CP_ACP, 0, s, -1, out, capacity, nullptr, nullptr);
  }
};

template <>
struct StringTraits<WCHAR> {
  // A 16-bit load never splits a character, so one unit of margin is enough.
  static constexpr int kLoadMargin = 1;
  // A narrow byte never yields more than one UTF-16 unit.
  static constexpr int kFromOtherFactor = 1;

  static size_t Len(const WCHAR* s) noexcept { return ::wcslen(s); }
  static const WCHAR* Chr(const WCHAR* s, WCHAR c) noexcept { return ::wcschr(s, c); }
  static const WCHAR* RChr(const WCHAR* s, WCHAR c) noexcept { return ::wcsrchr(s, c); }
  static const WCHAR* Str(const WCHAR* s, const WCHAR* sub) noexcept { return ::wcsstr(s, sub); }
  static const WCHAR* PBrk(const WCHAR* s, const WCHAR* set) noexcept { return ::wcspbrk(s, set); }
  static size_t Spn(const WCHAR* s, const WCHAR* set) noexcept { return ::wcsspn(s, set); }
  static size_t CSpn(const WCHAR* s, const WCHAR* set) noexcept { return ::wcscspn(s, set); }
  static void Upper(WCHAR* s) noexcept { ::_wcsupr(s); }
  static void Lower(WCHAR* s) noexcept { ::_wcslwr(s); }
  static void Reverse(WCHAR* s) noexcept { ::_wcsrev(s); }
  static bool IsSpace(WCHAR c) noexcept { return korvo::platform::IsWSpace(c) != 0; }
  static int CompareNoCase(const WCHAR* a, const WCHAR* b) noexcept { return ::_wcsicmp(a, b); }
  static int Collate(const WCHAR* a, const WCHAR* b) noexcept { return ::wcscoll(a, b); }
  static int FormatV(WCHAR* out, size_t capacity, const WCHAR* format, va_list args) {
    return korvo::platform::FormatV(out, capacity, format, args);
  }
  static int LoadString(HMODULE module, UINT id, WCHAR* buffer, int bufferMax) {
    return ::LoadStringW(module, id, buffer, bufferMax);
  }
  static int WideCount(const WCHAR*, int length) noexcept { return length; }
  static void ToWide(const WCHAR* s, int length, WCHAR* out, int units) noexcept {
    if (length > 0 && units > 0) std::memcpy(out, s, sizeof(WCHAR) * static_cast<size_t>(units));
  }
  static int FromOther(const char* s, WCHAR* out, int capacity) {
    return ::MultiByteToWideChar(CP_ACP, 0, s, -1, out, capacity);
  }
};

// Unsigned unit-by-unit comparison up to the first difference or the common
// terminator: exactly -1, 0 or 1. Used by Compare and the free relational
// operators, which must not call into the C library.
template <class Ch>
int CompareText(const Ch* a, const Ch* b) noexcept {
  using U = std::make_unsigned_t<Ch>;
  for (;; ++a, ++b) {
    const U x = static_cast<U>(*a);
    const U y = static_cast<U>(*b);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

// Length up to the first NUL, never looking past `max` units.
template <class Ch>
int BoundedLength(const Ch* s, int max) noexcept {
  int n = 0;
  while (n < max && s[n] != 0) ++n;
  return n;
}

template <class Ch>
inline void CopyUnits(Ch* dst, const Ch* src, long long count) noexcept {
  if (count > 0) std::memmove(dst, src, sizeof(Ch) * static_cast<size_t>(count));
}

// A length that no block can hold is reported like any allocation failure.
inline int CheckedLength(long long length) {
  if (length > INT_MAX) throw std::bad_alloc();
  return static_cast<int>(length);
}

template <class Ch>
constexpr Ch kNoText[1] = {0};

template <class Ch>
const Ch* OrEmpty(const Ch* text) noexcept {
  return text ? text : kNoText<Ch>;
}

// ---------------------------------------------------------------------------
// Buffer management

template <class D, class Ch>
EmptyStringBlock<Ch> TStringBase<D, Ch>::s_empty = {{{-1}, 0, 0}, 0};

template <class D, class Ch>
void TStringBase<D, Ch>::AllocBuffer(int length) {
  if (length <= 0) {
    Init();
    return;
  }
  void* raw = ::operator new(sizeof(Data) + (static_cast<size_t>(length) + 1) * sizeof(Ch));
  Data* data = new (raw) Data{{1}, length, length};
  data->data()[length] = 0;
  m_pszData = data->data();
}

template <class D, class Ch>
void TStringBase<D, Ch>::Release(Data* data) noexcept {
  if (data == &s_empty.header) return;
  // A locked block (-1) has exactly one holder and is freed by it too.
  if (data->nRefCount.fetch_sub(1, std::memory_order_acq_rel) <= 1) {
    data->~Data();
    ::operator delete(data);
  }
}

template <class D, class Ch>
void TStringBase<D, Ch>::Release() noexcept {
  Release(GetData());
  Init();
}

template <class D, class Ch>
int TStringBase<D, Ch>::SafeStrlen(const Ch* text) noexcept {
  return text ? static_cast<int>(StringTraits<Ch>::Len(text)) : 0;
}

// The new block is filled before the shared one is let go: another holder
// may release it on another thread meanwhile. On exhaustion the string is
// left empty.
template <class D, class Ch>
void TStringBase<D, Ch>::CopyBeforeWrite() {
  Data* old = GetData();
  if (old->nRefCount.load(std::memory_order_acquire) <= 1) return;
  try {
    AllocBuffer(old->nLength);
  } catch (...) {
    Release(old);
    Init();
    throw;
  }
  if (!IsStaticEmpty()) CopyUnits(m_pszData, old->data(), old->nLength + 1LL);
  Release(old);
}

template <class D, class Ch>
void TStringBase<D, Ch>::AllocBeforeWrite(int length) {
  Data* old = GetData();
  if (old->nRefCount.load(std::memory_order_acquire) < 2 && length <= old->nAllocLength) return;
  Release(old);
  Init();
  AllocBuffer(length);
}

template <class D, class Ch>
void TStringBase<D, Ch>::AssignCopy(int length, const Ch* text) {
  if (length < 0 || text == nullptr) return;
  Data* old = GetData();
  if (old->nRefCount.load(std::memory_order_acquire) < 2 && length <= old->nAllocLength) {
    if (IsStaticEmpty()) return;  // length 0: already the empty string
    // The text may lie inside this very block (assignment from a part of
    // one's own text): memmove.
    CopyUnits(m_pszData, text, length);
  } else {
    // Like AllocBeforeWrite, but the old block is released only after the
    // copy, since the text may lie in it.
    try {
      AllocBuffer(length);
    } catch (...) {
      Release(old);
      Init();
      throw;
    }
    if (!IsStaticEmpty()) CopyUnits(m_pszData, text, length);
    Release(old);
    if (IsStaticEmpty()) return;
  }
  GetData()->nLength = length;
  m_pszData[length] = 0;
}

template <class D, class Ch>
void TStringBase<D, Ch>::ConcatCopy(int length1, const Ch* text1, int length2, const Ch* text2) {
  const int total = CheckedLength(static_cast<long long>(length1) + length2);
  if (total <= 0) return;
  AllocBuffer(total);
  CopyUnits(m_pszData, text1, length1);
  CopyUnits(m_pszData + length1, text2, length2);
}

template <class D, class Ch>
void TStringBase<D, Ch>::ConcatInPlace(int length, const Ch* text) {
  if (length <= 0 || text == nullptr) return;
  Data* data = GetData();
  const long long total = static_cast<long long>(data->nLength) + length;
  if (data->nRefCount.load(std::memory_order_acquire) < 2 && total <= data->nAllocLength) {
    CopyUnits(m_pszData + data->nLength, text, length);
    data->nLength = static_cast<int>(total);
    m_pszData[total] = 0;
    return;
  }
  // Released after the copy, so appending one's own text is safe.
  ConcatCopy(data->nLength, m_pszData, length, text);
  Release(data);
}

template <class D, class Ch>
void TStringBase<D, Ch>::AllocCopy(D& dest, int copyLength, int copyIndex, int extraLength) const {
  TStringBase& target = dest;
  const int total = CheckedLength(static_cast<long long>(copyLength) + extraLength);
  if (total <= 0) {
    target.Init();
    return;
  }
  target.AllocBuffer(total);
  CopyUnits(target.m_pszData, m_pszData + copyIndex, copyLength);
}

// ---------------------------------------------------------------------------
// Construction and assignment shared by both classes

template <class D, class Ch>
void TStringBase<D, Ch>::InitCopy(const TStringBase& source) {
  Data* data = source.GetData();
  if (data->nRefCount.load(std::memory_order_relaxed) >= 0) {
    data->nRefCount.fetch_add(1, std::memory_order_relaxed);
    m_pszData = source.m_pszData;
    return;
  }
  // Locked (or the static empty buffer): a private copy of the text.
  const int length = BoundedLength(source.m_pszData, data->nAllocLength);
  if (length > 0) {
    AllocBuffer(length);
    CopyUnits(m_pszData, source.m_pszData, length);
  }
}

template <class D, class Ch>
void TStringBase<D, Ch>::AssignString(const TStringBase& source) {
  if (m_pszData == source.m_pszData) return;
  Data* own = GetData();
  Data* data = source.GetData();
  if ((own->nRefCount.load(std::memory_order_relaxed) >= 0 || IsStaticEmpty()) &&
      data->nRefCount.load(std::memory_order_relaxed) >= 0) {
    data->nRefCount.fetch_add(1, std::memory_order_relaxed);
    Release(own);
    m_pszData = source.m_pszData;
  } else {
    AssignCopy(data->nLength, source.m_pszData);
  }
}

template <class D, class Ch>
void TStringBase<D, Ch>::InitMove(TStringBase& source) noexcept {
  m_pszData = source.m_pszData;
  source.Init();
}

template <class D, class Ch>
void TStringBase<D, Ch>::AssignMove(TStringBase& source) {
  if (m_pszData == source.m_pszData) return;
  if (GetData()->nRefCount.load(std::memory_order_relaxed) < 0 && !IsStaticEmpty()) {
    // A locked string keeps its block: copy into it.
    AssignCopy(source.GetData()->nLength, source.m_pszData);
    return;
  }
  Release(GetData());
  m_pszData = source.m_pszData;
  source.Init();
}

template <class D, class Ch>
void TStringBase<D, Ch>::InitCopy(const Ch* text, int maxCount) {
  if (text == nullptr || maxCount < 1) return;
  InitText(text, BoundedLength(text, maxCount));
}

template <class D, class Ch>
void TStringBase<D, Ch>::InitText(const Ch* text, int length) {
  if (length <= 0) return;
  AllocBuffer(length);
  CopyUnits(m_pszData, text, length);
}

template <class D, class Ch>
void TStringBase<D, Ch>::InitRepeat(Ch ch, int count) {
  if (count < 1) return;
  AllocBuffer(count);
  for (int i = 0; i < count; ++i) m_pszData[i] = ch;
}

template <class D, class Ch>
void TStringBase<D, Ch>::AssignLong(long value) {
  char digits[256];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  Ch text[256];
  const int length = static_cast<int>(result.ptr - digits);
  for (int i = 0; i < length; ++i) text[i] = static_cast<Ch>(digits[i]);
  AssignCopy(length, text);
}

template <class D, class Ch>
void TStringBase<D, Ch>::ConvertFrom(const OtherCh* text, bool assign) {
  using Traits = StringTraits<Ch>;
  const int other_length = text ? static_cast<int>(StringTraits<OtherCh>::Len(text)) : 0;
  const int capacity =
      CheckedLength(static_cast<long long>(Traits::kFromOtherFactor) * other_length);
  if (assign) {
    AllocBeforeWrite(capacity);
  } else {
    AllocBuffer(capacity);
  }
  if (IsStaticEmpty()) return;
  if (capacity == 0) {  // assignment of an empty text into a block that stays
    GetData()->nLength = 0;
    m_pszData[0] = 0;
    return;
  }
  try {
    ConvertInto(text);
  } catch (...) {
    Release();  // a failed conversion leaves the string empty
    throw;
  }
}

template <class D, class Ch>
void TStringBase<D, Ch>::ConvertInto(const OtherCh* text) {
  using Traits = StringTraits<Ch>;
  // A reused block may be larger than `capacity`: let the converter use it.
  const int limit = GetData()->nAllocLength + 1;
  int written = Traits::FromOther(text, m_pszData, limit);
  if (written == 0) {
    // A UTF-8 (or GB18030) code page may need 3 or 4 bytes per UTF-16 unit,
    // more than the two the block was sized for: ask the converter for the
    // exact size and convert again into a block that large.
    const int needed = Traits::FromOther(text, nullptr, 0);
    if (needed > limit) {
      Data* old = GetData();
      AllocBuffer(needed - 1);
      Release(old);
      written = Traits::FromOther(text, m_pszData, needed);
    }
  }
  if (written > 0) {
    m_pszData[written - 1] = 0;
  } else {
    m_pszData[0] = 0;  // the text could not be converted at all
  }
  ReleaseBuffer();
}

// ---------------------------------------------------------------------------
// Access and concatenation

template <class D, class Ch>
void TStringBase<D, Ch>::SetAt(int index, Ch ch) {
  CopyBeforeWrite();
  m_pszData[index] = ch;
}

template <class D, class Ch>
void TStringBase<D, Ch>::Empty() {
  Data* data = GetData();
  if (data->nLength == 0) return;
  if (data->nRefCount.load(std::memory_order_relaxed) >= 0) {
    Release();
  } else {
    AssignCopy(0, kNoText<Ch>);  // locked: the block stays
  }
}

template <class D, class Ch>
void TStringBase<D, Ch>::CopyFrom(const Ch* text, int maxCount) {
  if (text == nullptr || maxCount < 0) return;
  AssignCopy(BoundedLength(text, maxCount), text);
}

template <class D, class Ch>
const D& TStringBase<D, Ch>::operator+=(const D& other) {
  const TStringBase& base = other;
  ConcatInPlace(base.GetData()->nLength, base.m_pszData);
  return static_cast<const D&>(*this);
}

template <class D, class Ch>
const D& TStringBase<D, Ch>::operator+=(const Ch* text) {
  ConcatInPlace(SafeStrlen(text), text);
  return static_cast<const D&>(*this);
}

template <class D, class Ch>
const D& TStringBase<D, Ch>::operator+=(Ch ch) {
  ConcatInPlace(1, &ch);
  return static_cast<const D&>(*this);
}

// ---------------------------------------------------------------------------
// Substrings

template <class D, class Ch>
D TStringBase<D, Ch>::Mid(int first, int count) const {
  const long long length = GetData()->nLength;
  long long from = first < 0 ? 0 : first;
  long long n = count < 0 ? 0 : count;
  if (from + n > length) n = length - from;
  if (from > length) n = 0;
  D result;
  AllocCopy(result, static_cast<int>(n), static_cast<int>(from), 0);
  return result;
}

template <class D, class Ch>
D TStringBase<D, Ch>::Mid(int first) const {
  // The count is taken from the unclamped first index, so a negative first
  // index yields the whole text.
  const long long count = static_cast<long long>(GetData()->nLength) - first;
  return Mid(first, count > INT_MAX ? INT_MAX : static_cast<int>(count));
}

template <class D, class Ch>
D TStringBase<D, Ch>::Left(int count) const {
  const int length = GetData()->nLength;
  const int n = count < 0 ? 0 : (count < length ? count : length);
  D result;
  AllocCopy(result, n, 0, 0);
  return result;
}

template <class D, class Ch>
D TStringBase<D, Ch>::Right(int count) const {
  const int length = GetData()->nLength;
  const int n = count < 0 ? 0 : (count < length ? count : length);
  D result;
  AllocCopy(result, n, length - n, 0);
  return result;
}

template <class D, class Ch>
D TStringBase<D, Ch>::SpanIncluding(const Ch* set) const {
  return Left(static_cast<int>(StringTraits<Ch>::Spn(m_pszData, OrEmpty(set))));
}

template <class D, class Ch>
D TStringBase<D, Ch>::SpanExcluding(const Ch* set) const {
  return Left(static_cast<int>(StringTraits<Ch>::CSpn(m_pszData, OrEmpty(set))));
}

// ---------------------------------------------------------------------------
// In-place changes

template <class D, class Ch>
void TStringBase<D, Ch>::MakeUpper() {
  CopyBeforeWrite();
  if (!IsStaticEmpty()) StringTraits<Ch>::Upper(m_pszData);
}

template <class D, class Ch>
void TStringBase<D, Ch>::MakeLower() {
  CopyBeforeWrite();
  if (!IsStaticEmpty()) StringTraits<Ch>::Lower(m_pszData);
}

template <class D, class Ch>
void TStringBase<D, Ch>::MakeReverse() {
  CopyBeforeWrite();
  if (!IsStaticEmpty()) StringTraits<Ch>::Reverse(m_pszData);
}

template <class D, class Ch>
void TStringBase<D, Ch>::TrimRight() {
  CopyBeforeWrite();
  Ch* run = nullptr;  // where the current run of white space began
  Ch* p = m_pszData;
  for (; *p != 0; ++p) {
    if (StringTraits<Ch>::IsSpace(*p)) {
      if (run == nullptr) run = p;
    } else {
      run = nullptr;
    }
  }
  if (run != nullptr) {
    *run = 0;
    GetData()->nLength = static_cast<int>(run - m_pszData);
  }
}

template <class D, class Ch>
void TStringBase<D, Ch>::TrimLeft() {
  CopyBeforeWrite();
  const Ch* p = m_pszData;
  while (*p != 0 && StringTraits<Ch>::IsSpace(*p)) ++p;
  const int skipped = static_cast<int>(p - m_pszData);
  if (skipped == 0) return;  // also keeps the static empty buffer untouched
  const int length = GetData()->nLength - skipped;
  CopyUnits(m_pszData, p, length + 1LL);
  GetData()->nLength = length;
}

// ---------------------------------------------------------------------------
// Search and comparison

// The index of a position found by a C library search, or -1 for null.
template <class Ch>
int IndexIn(const Ch* text, const Ch* found) noexcept {
  return found ? static_cast<int>(found - text) : -1;
}

template <class D, class Ch>
int TStringBase<D, Ch>::Find(Ch ch) const noexcept {
  if (ch == 0) return SafeStrlen(m_pszData);
  return IndexIn(m_pszData, StringTraits<Ch>::Chr(m_pszData, ch));
}

template <class D, class Ch>
int TStringBase<D, Ch>::Find(const Ch* sub) const noexcept {
  return IndexIn(m_pszData, StringTraits<Ch>::Str(m_pszData, OrEmpty(sub)));
}

template <class D, class Ch>
int TStringBase<D, Ch>::ReverseFind(Ch ch) const noexcept {
  if (ch == 0) return SafeStrlen(m_pszData);
  return IndexIn(m_pszData, StringTraits<Ch>::RChr(m_pszData, ch));
}

template <class D, class Ch>
int TStringBase<D, Ch>::FindOneOf(const Ch* set) const noexcept {
  return IndexIn(m_pszData, StringTraits<Ch>::PBrk(m_pszData, OrEmpty(set)));
}

template <class D, class Ch>
int TStringBase<D, Ch>::Compare(const Ch* text) const noexcept {
  return CompareText(m_pszData, OrEmpty(text));
}

template <class D, class Ch>
int TStringBase<D, Ch>::CompareNoCase(const Ch* text) const noexcept {
  return StringTraits<Ch>::CompareNoCase(m_pszData, OrEmpty(text));
}

template <class D, class Ch>
int TStringBase<D, Ch>::Collate(const Ch* text) const noexcept {
  return StringTraits<Ch>::Collate(m_pszData, OrEmpty(text));
}

// ---------------------------------------------------------------------------
// Direct buffer access

template <class D, class Ch>
Ch* TStringBase<D, Ch>::GetBuffer(int minLength) {
  Data* old = GetData();
  if (old->nRefCount.load(std::memory_order_acquire) < 2 && minLength <= old->nAllocLength) {
    return m_pszData;
  }
  // A grown block is private (count 1) even when the old one was locked.
  AllocBuffer(minLength > old->nLength ? minLength : old->nLength);
  if (!IsStaticEmpty()) {
    CopyUnits(m_pszData, old->data(), old->nLength + 1LL);
    GetData()->nLength = old->nLength;
  }
  Release(old);
  return m_pszData;
}

template <class D, class Ch>
void TStringBase<D, Ch>::ReleaseBuffer(int newLength) {
  CopyBeforeWrite();
  if (IsStaticEmpty()) return;
  Data* data = GetData();
  if (newLength < 0) {
    newLength = BoundedLength(m_pszData, data->nAllocLength);
  } else if (newLength > data->nAllocLength) {
    newLength = data->nAllocLength;
  }
  data->nLength = newLength;
  m_pszData[newLength] = 0;
}

template <class D, class Ch>
Ch* TStringBase<D, Ch>::ResizeBuffer(int newLength) {
  if (newLength < 0) newLength = 0;
  Ch* buffer = GetBuffer(newLength);
  if (!IsStaticEmpty()) {
    GetData()->nLength = newLength;
    buffer[newLength] = 0;
  }
  return buffer;
}

template <class D, class Ch>
void TStringBase<D, Ch>::FreeExtra() {
  Data* old = GetData();
  if (old->nLength == old->nAllocLength) return;
  AllocBuffer(old->nLength);
  if (!IsStaticEmpty()) CopyUnits(m_pszData, old->data(), old->nLength + 1LL);
  Release(old);
}

template <class D, class Ch>
Ch* TStringBase<D, Ch>::LockBuffer() {
  Ch* buffer = GetBuffer(0);
  if (!IsStaticEmpty()) GetData()->nRefCount.store(-1, std::memory_order_relaxed);
  return buffer;
}

template <class D, class Ch>
void TStringBase<D, Ch>::UnlockBuffer() noexcept {
  // Only a locked block is unlocked: forcing a shared block's count to 1
  // would free it under its other holders.
  Data* data = GetData();
  if (!IsStaticEmpty() && data->nRefCount.load(std::memory_order_relaxed) == -1) {
    data->nRefCount.store(1, std::memory_order_relaxed);
  }
}

// ---------------------------------------------------------------------------
// Formatting and resources

template <class D, class Ch>
void TStringBase<D, Ch>::FormatV(const Ch* format, va_list args) {
  if (format == nullptr) return;
  va_list counting;
  va_copy(counting, args);
  const int count = StringTraits<Ch>::FormatV(nullptr, 0, format, counting);
  va_end(counting);
  if (count < 0) return;
  Ch* buffer = GetBuffer(count);
  if (IsStaticEmpty()) return;  // empty output into the empty string
  StringTraits<Ch>::FormatV(buffer, static_cast<size_t>(count) + 1, format, args);
  ReleaseBuffer();
}

template <class D, class Ch>
void TStringBase<D, Ch>::AppendFormatV(const Ch* format, va_list args) {
  D piece;
  piece.FormatV(format, args);
  const TStringBase& text = piece;
  ConcatInPlace(text.GetData()->nLength, text.m_pszData);
}

// va_end must run in the function that called va_start, also when
// formatting throws: the exception is carried out of the formatter and
// rethrown after va_end.
template <class D, class Ch>
std::exception_ptr TStringBase<D, Ch>::FormatCaught(void (TStringBase::*formatter)(const Ch*,
                                                                                   va_list),
                                                    const Ch* format, va_list args) noexcept {
  try {
    (this->*formatter)(format, args);
    return nullptr;
  } catch (...) {
    return std::current_exception();
  }
}

template <class D, class Ch>
void TStringBase<D, Ch>::Format(const Ch* format, ...) {
  va_list args;
  va_start(args, format);
  const std::exception_ptr error = FormatCaught(&TStringBase::FormatV, format, args);
  va_end(args);
  if (error) std::rethrow_exception(error);
}

template <class D, class Ch>
void TStringBase<D, Ch>::Format(unsigned int formatId, ...) {
  D format;
  format.LoadStringA(formatId);
  va_list args;
  va_start(args, formatId);
  const std::exception_ptr error = FormatCaught(&TStringBase::FormatV, format, args);
  va_end(args);
  if (error) std::rethrow_exception(error);
}

template <class D, class Ch>
void TStringBase<D, Ch>::AppendFormat(const Ch* format, ...) {
  va_list args;
  va_start(args, format);
  const std::exception_ptr error = FormatCaught(&TStringBase::AppendFormatV, format, args);
  va_end(args);
  if (error) std::rethrow_exception(error);
}

template <class D, class Ch>
int TStringBase<D, Ch>::LoadStringA(unsigned int id) {
  using Traits = StringTraits<Ch>;
  HMODULE module = ::GetModuleHandleA(nullptr);
  Ch local[256];
  int loaded = Traits::LoadString(module, id, local, 256);
  if (loaded <= 0) {
    loaded = 0;
    local[0] = 0;
  }
  if (256 - loaded > Traits::kLoadMargin) {
    AssignCopy(SafeStrlen(local), local);
    return loaded > 0;
  }
  // The text may have been cut: retry with 256 more characters each pass.
  int size = 256;
  do {
    size += 256;
    Ch* buffer = GetBuffer(size - 1);
    loaded = Traits::LoadString(module, id, buffer, size);
    if (loaded <= 0) {
      loaded = 0;
      buffer[0] = 0;
    }
    ReleaseBuffer();
  } while (size - loaded <= Traits::kLoadMargin);
  return loaded > 0;
}

// ---------------------------------------------------------------------------
// BSTR output

template <class D, class Ch>
BSTR TStringBase<D, Ch>::AllocSysString() const {
  const int length = GetData()->nLength;
  const int units = StringTraits<Ch>::WideCount(m_pszData, length);
  BSTR result = ::SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (result == nullptr) return nullptr;
  try {
    StringTraits<Ch>::ToWide(m_pszData, length, result, units);
  } catch (...) {
    ::SysFreeString(result);
    throw;
  }
  return result;
}

template <class D, class Ch>
BSTR TStringBase<D, Ch>::SetSysString(BSTR* bstr) const {
  if (bstr == nullptr) return nullptr;
  const int length = GetData()->nLength;
  const int units = StringTraits<Ch>::WideCount(m_pszData, length);
  if (!::SysReAllocStringLen(bstr, nullptr, static_cast<UINT>(units))) return nullptr;
  StringTraits<Ch>::ToWide(m_pszData, length, *bstr, units);
  return *bstr;
}

// ---------------------------------------------------------------------------
// The free operators of a string class S over characters Ch.

template <class D, class Ch>
struct StringConcat {
  static D Make(int length1, const Ch* text1, int length2, const Ch* text2) {
    D result;
    static_cast<TStringBase<D, Ch>&>(result).ConcatCopy(length1, text1, length2, text2);
    return result;
  }
  static int Length(const Ch* text) noexcept { return TStringBase<D, Ch>::SafeStrlen(text); }
};

}  // namespace korvo::detail

// Defines operator+ (five forms) and the six relations over the three
// operand pairs for string class S of character type Ch.
#define KORVO_DEFINE_STRING_OPERATORS(S, Ch)                                         \
  using S##Concat = korvo::detail::StringConcat<S, Ch>;                              \
  S operator+(const S& a, const S& b) {                                              \
    return S##Concat::Make(a.GetLength(), a, b.GetLength(), b);                      \
  }                                                                                  \
  S operator+(const S& a, Ch b) { return S##Concat::Make(a.GetLength(), a, 1, &b); } \
  S operator+(Ch a, const S& b) { return S##Concat::Make(1, &a, b.GetLength(), b); } \
  S operator+(const S& a, const Ch* b) {                                             \
    return S##Concat::Make(a.GetLength(), a, S##Concat::Length(b), b);               \
  }                                                                                  \
  S operator+(const Ch* a, const S& b) {                                             \
    return S##Concat::Make(S##Concat::Length(a), a, b.GetLength(), b);               \
  }                                                                                  \
  KORVO_DEFINE_STRING_RELATION(S, Ch, ==)                                            \
  KORVO_DEFINE_STRING_RELATION(S, Ch, !=)                                            \
  KORVO_DEFINE_STRING_RELATION(S, Ch, <)                                             \
  KORVO_DEFINE_STRING_RELATION(S, Ch, >)                                             \
  KORVO_DEFINE_STRING_RELATION(S, Ch, <=)                                            \
  KORVO_DEFINE_STRING_RELATION(S, Ch, >=)

#define KORVO_DEFINE_STRING_RELATION(S, Ch, op)                                                 \
  int operator op(const S& a, const S& b) { return korvo::detail::CompareText<Ch>(a, b) op 0; } \
  int operator op(const S& a, const Ch* b) {                                                    \
    return korvo::detail::CompareText<Ch>(a, korvo::detail::OrEmpty(b)) op 0;                   \
  }                                                                                             \
  int operator op(const Ch* a, const S& b) {                                                    \
    return korvo::detail::CompareText<Ch>(korvo::detail::OrEmpty(a), b) op 0;                   \
  }
