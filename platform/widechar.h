// platform/widechar.h: the C runtime's wide-text functions over 16-bit
// UTF-16 units (WCHAR), plus the Microsoft narrow extensions the library
// uses (_stricmp, _strupr, ...).
//
// The wide forms are overloads of the C library names for `const WCHAR*`,
// so code written for a 16-bit wchar_t reads the same. White space is
// classified as on Windows (see IsWSpace); the other character classes and
// case mapping give the C library's results for text in the Basic
// Multilingual Plane; surrogate units are never classified or mapped.
// All functions are pure (thread-safe) except where they write through a
// pointer argument, and none accepts a null pointer unless it says so.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

KORVO_API size_t wcslen(const WCHAR* s);
KORVO_API WCHAR* wcscpy(WCHAR* dst, const WCHAR* src);
KORVO_API WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n);
KORVO_API WCHAR* wcscat(WCHAR* dst, const WCHAR* src);
KORVO_API int wcscmp(const WCHAR* a, const WCHAR* b);
KORVO_API int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
KORVO_API int wcscoll(const WCHAR* a, const WCHAR* b);
KORVO_API const WCHAR* wcschr(const WCHAR* s, WCHAR c);
KORVO_API const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
KORVO_API const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub);
KORVO_API const WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set);
KORVO_API size_t wcsspn(const WCHAR* s, const WCHAR* set);
KORVO_API size_t wcscspn(const WCHAR* s, const WCHAR* set);
inline WCHAR* wcschr(WCHAR* s, WCHAR c) {
  return const_cast<WCHAR*>(wcschr(const_cast<const WCHAR*>(s), c));
}
inline WCHAR* wcsrchr(WCHAR* s, WCHAR c) {
  return const_cast<WCHAR*>(wcsrchr(const_cast<const WCHAR*>(s), c));
}
inline WCHAR* wcsstr(WCHAR* s, const WCHAR* sub) {
  return const_cast<WCHAR*>(wcsstr(const_cast<const WCHAR*>(s), sub));
}
inline WCHAR* wcspbrk(WCHAR* s, const WCHAR* set) {
  return const_cast<WCHAR*>(wcspbrk(const_cast<const WCHAR*>(s), set));
}

// Case-insensitive comparison, upper/lower-casing and reversal in place
// (Microsoft names). The in-place forms return their argument.
KORVO_API int _wcsicmp(const WCHAR* a, const WCHAR* b);
KORVO_API int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
KORVO_API WCHAR* _wcsupr(WCHAR* s);
KORVO_API WCHAR* _wcslwr(WCHAR* s);
KORVO_API WCHAR* _wcsrev(WCHAR* s);

// Microsoft narrow extensions (current C locale, bytes compared unsigned).
KORVO_API int _stricmp(const char* a, const char* b);
KORVO_API int _strnicmp(const char* a, const char* b, size_t n);
KORVO_API char* _strupr(char* s);
KORVO_API char* _strlwr(char* s);
KORVO_API char* _strrev(char* s);

namespace korvo::platform {

// Character classes and case mapping of one 16-bit unit. IsWSpace is the
// Windows iswspace, the same in every locale: tab to carriage return
// (U+0009..U+000D), space, and the Unicode spaces U+00A0, U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F and U+3000. The others are
// iswdigit, iswalpha, towupper and towlower of the C library for that code
// point (current locale). Not overloads of the C names: an int or wchar_t
// argument would make those calls ambiguous in host code.
KORVO_API int IsWSpace(WCHAR c);
KORVO_API int IsWDigit(WCHAR c);
KORVO_API int IsWAlpha(WCHAR c);
KORVO_API WCHAR ToWUpper(WCHAR c);
KORVO_API WCHAR ToWLower(WCHAR c);

}  // namespace korvo::platform
