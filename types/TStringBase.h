// types/TStringBase.h: the copy-on-write machinery shared by CTString
// (8-bit characters) and CTWString (16-bit UTF-16 units).
//
// Hosts use CTString and CTWString; this header only carries what both
// classes have in common, written once over the character type. The member
// definitions live in TStringBase_internal.h and are instantiated inside the
// library for exactly the two string classes, so a host never instantiates
// this template itself.
//
// Representation: the only data member is m_pszData, a pointer to the first
// character of a block laid out as a StringData header ({nRefCount,
// nLength, nAllocLength}, 12 bytes) immediately followed by
// nAllocLength + 1 characters. The character at nLength is always 0.
// Each block is allocated with the exact size asked for (no spare room)
// through the global operator new and freed as one block. Every empty
// string points at one static empty buffer of its class ({-1, 0, 0} and a
// zero character), which is never written and never freed.
//
// Buffer states, read from nRefCount:
//   static empty  -1  (the shared empty buffer; copied, never counted)
//   private        1  (one holder; written in place)
//   shared        >1  (several holders; the first holder that writes gets a
//                      private copy: "copy-before-write")
//   locked        -1  (LockBuffer: copies of the string copy the text
//                      instead of sharing; writes go straight into it)
//
// Thread-safety: only the reference count is atomic. Distinct string
// objects that share one block may be copied and destroyed on different
// threads at the same time; one string object must not be used by two
// threads at once when one of them writes.
#pragma once

#include <korvo/com/bstr.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <type_traits>

namespace korvo::detail {

// The header in front of the characters of every string block.
template <class Ch>
struct StringData {
  std::atomic<int32_t> nRefCount;  // holders; -1: locked or the static empty buffer
  int32_t nLength;                 // characters in use, terminator excluded
  int32_t nAllocLength;            // capacity, terminator slot excluded

  Ch* data() noexcept { return reinterpret_cast<Ch*>(this + 1); }
};
static_assert(sizeof(std::atomic<int32_t>) == 4, "nRefCount is a plain 32-bit count");
static_assert(sizeof(StringData<char>) == 12 && sizeof(StringData<WCHAR>) == 12,
              "the header is three 32-bit fields, characters follow at once");

// The shared empty buffer: a header {-1, 0, 0} followed by one zero character.
template <class Ch>
struct EmptyStringBlock {
  StringData<Ch> header;
  Ch terminator;
};

template <class Derived, class Ch>
struct StringConcat;  // builds the results of the free operator+ (library-internal)

template <class Derived, class Ch>
class TStringBase;

// Declared only, for deduction: the string class and the character type of
// a string object, also of a host class derived from CTString or CTWString.
template <class D, class Ch>
D StringClassOf(const TStringBase<D, Ch>*);
template <class D, class Ch>
Ch StringCharOf(const TStringBase<D, Ch>*);

// A CTString or CTWString object (or one of a class derived from them).
template <class T>
concept StringObject = requires(const T* s) {
  StringCharOf(s);
};

// The formatting members pass their arguments through these two steps. A
// string object is first copied (sharing its block: one count increment),
// so that formatting into the very string that is also an argument reads
// from a block that stays alive; then its text pointer, of its own width,
// goes to the engine. Any other argument passes both steps unchanged.
template <class T>
const T& HoldFormatArg(const T& arg) noexcept {
  return arg;
}
template <StringObject T>
auto HoldFormatArg(const T& text) {
  return decltype(StringClassOf(&text))(text);
}
template <class T>
const T& PassFormatArg(const T& arg) noexcept {
  return arg;
}
template <StringObject T>
auto PassFormatArg(const T& text) noexcept {
  return static_cast<const decltype(StringCharOf(&text))*>(text);
}

// Derived is the string class itself (CTString or CTWString): results are
// returned as that class.
template <class Derived, class Ch>
class KORVO_API TStringBase {
 public:
  using Data = StringData<Ch>;

  TStringBase(const TStringBase&) = delete;
  TStringBase& operator=(const TStringBase&) = delete;

  // ---- Access. Indexes are not checked: REQUIRES 0 <= index < GetLength().
  int GetLength() const noexcept { return GetData()->nLength; }
  int GetAllocLength() const noexcept { return GetData()->nAllocLength; }
  int IsEmpty() const noexcept { return GetData()->nLength == 0; }
  Ch GetAt(int index) const noexcept { return m_pszData[index]; }
  Ch operator[](int index) const noexcept { return m_pszData[index]; }
  // Detaches a shared block first.
  void SetAt(int index, Ch ch);
  // Never null; valid until the string is next changed or destroyed.
  operator const Ch*() const noexcept { return m_pszData; }
  // A private or shared block is released (the string points at the static
  // empty buffer); a locked block is kept with length 0.
  void Empty();

  // Assigns the first min(length of text, maxCount) characters; nothing when
  // text is null or maxCount is negative.
  void CopyFrom(const Ch* text, int maxCount);

  // ---- Concatenation. A block that is not shared and has room is appended
  // to in place; otherwise the result goes into a new block of exactly the
  // summed length (no growth factor). Appending one's own text is safe.
  const Derived& operator+=(const Derived& other);
  const Derived& operator+=(const Ch* text);  // null appends nothing
  const Derived& operator+=(Ch ch);

  // ---- Substrings: new strings; the source is untouched. Out-of-range
  // arguments are clamped (a negative first index counts as 0, a negative
  // count as 0, counts past the end stop at the end).
  Derived Mid(int first, int count) const;
  Derived Mid(int first) const;
  Derived Left(int count) const;
  Derived Right(int count) const;
  // Leading run of characters in / not in `set` (a null set is empty).
  Derived SpanIncluding(const Ch* set) const;
  Derived SpanExcluding(const Ch* set) const;

  // ---- In-place changes; each detaches a shared block first. The case
  // mapping and white space are those of the C library (narrow: current
  // locale; wide: the platform's UTF-16 character tables).
  void MakeUpper();
  void MakeLower();
  void MakeReverse();
  void TrimRight();
  void TrimLeft();

  // ---- Search: character index, or -1. The text is searched up to its
  // first NUL; searching for the NUL character gives that index. A null
  // pointer argument is treated as the empty text.
  int Find(Ch ch) const noexcept;
  int Find(const Ch* sub) const noexcept;
  int ReverseFind(Ch ch) const noexcept;
  int FindOneOf(const Ch* set) const noexcept;

  // ---- Comparison. Compare: units compared as unsigned values, exactly
  // -1, 0 or 1. CompareNoCase / Collate: only the sign is meaningful. A null
  // argument compares as the empty text.
  int Compare(const Ch* text) const noexcept;
  int CompareNoCase(const Ch* text) const noexcept;
  int Collate(const Ch* text) const noexcept;

  // ---- Direct buffer access.
  // Returns a writable buffer of capacity >= minLength, detached from any
  // other holder; valid until the next change of the string.
  Ch* GetBuffer(int minLength);
  // Ends direct writing: newLength -1 (or any negative value) measures the
  // text up to its first NUL (at most the capacity). A length beyond the
  // capacity is cut to it rather than writing outside the block.
  void ReleaseBuffer(int newLength = -1);
  // GetBuffer(newLength), then the length is newLength (a negative one
  // counts as 0). REQUIRES: the caller fills the newLength characters.
  // (Inline: a private block with room, as a member refilled row after row
  // has, is written in place.)
  Ch* GetBufferSetLength(int newLength) {
    Data* data = GetData();
    if (newLength >= 0 && newLength <= data->nAllocLength &&
        data->nRefCount.load(std::memory_order_acquire) == 1) {
      data->nLength = newLength;
      m_pszData[newLength] = 0;
      return m_pszData;
    }
    return ResizeBuffer(newLength);
  }
  // Shrinks the block to the exact length (the static empty buffer for 0).
  void FreeExtra();
  // Makes the block private and locked (count -1): copies of the string
  // then copy the text. UnlockBuffer sets the count back to 1.
  Ch* LockBuffer();
  void UnlockBuffer() noexcept;

  // ---- Formatting through korvo::platform::FormatV: a counting pass, then
  // a bounded pass into GetBuffer(count), so a private block large enough is
  // reused. A format error leaves the string unchanged. Narrow formats take
  // narrow text for %s/%c and wide (WCHAR) text for %S/%C; wide formats the
  // reverse.
  //
  // Format and AppendFormat also take CTString and CTWString objects for
  // %s/%S, as Windows host code commonly passes them: when any argument is
  // a string object, a template front hands its text pointer to the engine
  // (other arguments unchanged), and such an argument may be this string
  // itself. Calls without string objects go straight to the C-variadic
  // members, as do binaries built before the front existed. FormatV cannot
  // see what its va_list holds: pass text pointers to it.
  // REQUIRES: no pointer argument (and not the format) points into this
  // string's own characters (the output may be written into the block the
  // argument is read from).
  void FormatV(const Ch* format, va_list args);
  void Format(const Ch* format, ...);
  // The format text is the string resource `formatId` (empty if missing).
  void Format(unsigned int formatId, ...);
  template <class... Args>
  requires(StringObject<Args> || ...) void Format(const Ch* format, const Args&... args) {
    Format(format, PassFormatArg(HoldFormatArg(args))...);
  }
  template <class... Args>
  requires(StringObject<Args> || ...) void Format(unsigned int formatId, const Args&... args) {
    Format(formatId, PassFormatArg(HoldFormatArg(args))...);
  }
  // Appends the formatted text (a format error appends nothing). The output
  // is formatted apart first, so arguments may point into this string.
  void AppendFormatV(const Ch* format, va_list args);
  void AppendFormat(const Ch* format, ...);
  template <class... Args>
  requires(StringObject<Args> || ...) void AppendFormat(const Ch* format, const Args&... args) {
    AppendFormat(format, PassFormatArg(HoldFormatArg(args))...);
  }

  // Replaces the text with string resource `id` of the main executable
  // (platform/resources.h). Returns non-zero when a non-empty text was
  // loaded; a missing resource makes the string empty and returns 0.
  int LoadStringA(unsigned int id);

  // ---- BSTR output (UTF-16; narrow text converted from the ANSI code
  // page). AllocSysString: a new BSTR the caller frees with SysFreeString;
  // null when it cannot be allocated. SetSysString: re-allocates *bstr to the
  // text and returns it; null (and *bstr unchanged) on failure or when bstr
  // is null.
  BSTR AllocSysString() const;
  BSTR SetSysString(BSTR* bstr) const;

 protected:
  TStringBase() noexcept { Init(); }
  ~TStringBase() { Release(GetData()); }

  Data* GetData() const noexcept { return reinterpret_cast<Data*>(m_pszData) - 1; }
  // GetBufferSetLength for every other block.
  Ch* ResizeBuffer(int newLength);
  bool IsStaticEmpty() const noexcept { return m_pszData == &s_empty.terminator; }
  void Init() noexcept { m_pszData = &s_empty.terminator; }

  // Points at a new block of exactly `length` characters (count 1, length
  // = capacity = `length`, terminated), or at the static empty buffer for a
  // length of 0 or below. Does not release the previous buffer.
  void AllocBuffer(int length);
  // dest gets copyLength characters from copyIndex plus room for extra.
  void AllocCopy(Derived& dest, int copyLength, int copyIndex, int extraLength) const;
  void AssignCopy(int length, const Ch* text);
  void ConcatCopy(int length1, const Ch* text1, int length2, const Ch* text2);
  void ConcatInPlace(int length, const Ch* text);
  void CopyBeforeWrite();
  void AllocBeforeWrite(int length);
  void Release() noexcept;
  static void Release(Data* data) noexcept;
  static int SafeStrlen(const Ch* text) noexcept;

  // The shared parts of the two classes' constructors and assignments.
  void InitCopy(const TStringBase& source);
  void AssignString(const TStringBase& source);
  void InitMove(TStringBase& source) noexcept;
  void AssignMove(TStringBase& source);
  void InitCopy(const Ch* text, int maxCount);  // up to maxCount, stops at NUL
  void InitText(const Ch* text, int length);    // exactly `length` characters
  void InitRepeat(Ch ch, int count);
  void AssignLong(long value);
  // Conversion from the other character width (narrow <-> UTF-16 through
  // the ANSI code page). `assign` false: construction (the string is empty
  // on entry); true: assignment, reusing the block where AllocBeforeWrite
  // allows. A null or empty text gives the empty string.
  using OtherCh = std::conditional_t<std::is_same_v<Ch, char>, WCHAR, char>;
  void ConvertFrom(const OtherCh* text, bool assign);
  void ConvertInto(const OtherCh* text);

  Ch* m_pszData;

 private:
  template <class D, class C>
  friend struct StringConcat;

  // `formatter` (FormatV or AppendFormatV) with any exception returned
  // instead of thrown (see Format).
  std::exception_ptr FormatCaught(void (TStringBase::*formatter)(const Ch*, va_list),
                                  const Ch* format, va_list args) noexcept;

  static EmptyStringBlock<Ch> s_empty;
};

}  // namespace korvo::detail
