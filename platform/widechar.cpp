// platform/widechar.cpp: the C runtime's wide-text functions over 16-bit
// UTF-16 units, and the Microsoft narrow extensions.
//
// White space is Korvo's own table (the Windows set, the same in every
// locale). The other classes and case mapping defer to the C library's
// wchar_t functions (current locale) one unit at a time; surrogate units are
// left alone, so a pair is never split or changed.
#include <korvo/platform/utf32.h>
#include <korvo/platform/widechar.h>

#include <cctype>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

bool IsSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDFFF; }

// The units Windows classifies as white space, in every locale: the ASCII
// controls tab to carriage return, the space, and the Unicode spaces of the
// Basic Multilingual Plane, no-break spaces included. glibc's iswspace
// knows only ASCII in the "C" locale and leaves the no-break spaces out in
// the others, so it cannot serve.
struct UnitRange {
  WCHAR first;
  WCHAR last;
};
constexpr UnitRange kWhiteSpace[] = {
    {0x0009, 0x000D}, {0x0020, 0x0020}, {0x00A0, 0x00A0}, {0x1680, 0x1680}, {0x2000, 0x200A},
    {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000},
};

// Widens UTF-16 to the C library's UTF-32 wchar_t text for wcscoll (a lone
// surrogate collates as U+FFFD).
std::wstring ToWide(const WCHAR* s) {
  std::wstring out;
  korvo::Utf16ToUtf32(s, out, korvo::InvalidText::kReplace);
  return out;
}

}  // namespace

size_t wcslen(const WCHAR* s) {
  const WCHAR* p = s;
  while (*p != 0) ++p;
  return static_cast<size_t>(p - s);
}

WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
  WCHAR* d = dst;
  while ((*d++ = *src++) != 0) {
  }
  return dst;
}

WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i] != 0; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
  wcscpy(dst + wcslen(dst), src);
  return dst;
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
  while (*a != 0 && *a == *b) ++a, ++b;
  return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
  for (; n > 0; --n, ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (*a == 0) break;
  }
  return 0;
}

int wcscoll(const WCHAR* a, const WCHAR* b) {
  std::wstring wa = ToWide(a), wb = ToWide(b);
  return std::wcscoll(wa.c_str(), wb.c_str());
}

const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (*s == 0) return nullptr;
  }
}

const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
  const WCHAR* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (*s == 0) return found;
  }
}

const WCHAR* wcsstr(const WCHAR* s, const WCHAR* sub) {
  if (*sub == 0) return s;
  size_t n = wcslen(sub);
  for (; *s != 0; ++s) {
    if (*s == *sub && wcsncmp(s, sub, n) == 0) return s;
  }
  return nullptr;
}

const WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set) {
  for (; *s != 0; ++s) {
    if (wcschr(set, *s) != nullptr) return s;
  }
  return nullptr;
}

size_t wcsspn(const WCHAR* s, const WCHAR* set) {
  size_t n = 0;
  while (s[n] != 0 && wcschr(set, s[n]) != nullptr) ++n;
  return n;
}

size_t wcscspn(const WCHAR* s, const WCHAR* set) {
  size_t n = 0;
  while (s[n] != 0 && wcschr(set, s[n]) == nullptr) ++n;
  return n;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
  using korvo::platform::ToWLower;
  for (;; ++a, ++b) {
    WCHAR ca = ToWLower(*a), cb = ToWLower(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
  using korvo::platform::ToWLower;
  for (; n > 0; --n, ++a, ++b) {
    WCHAR ca = ToWLower(*a), cb = ToWLower(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) break;
  }
  return 0;
}

WCHAR* _wcsupr(WCHAR* s) {
  for (WCHAR* p = s; *p != 0; ++p) *p = korvo::platform::ToWUpper(*p);
  return s;
}

WCHAR* _wcslwr(WCHAR* s) {
  for (WCHAR* p = s; *p != 0; ++p) *p = korvo::platform::ToWLower(*p);
  return s;
}

WCHAR* _wcsrev(WCHAR* s) {
  size_t n = wcslen(s);
  for (size_t i = 0; i < n / 2; ++i) {
    WCHAR t = s[i];
    s[i] = s[n - 1 - i];
    s[n - 1 - i] = t;
  }
  return s;
}

int _stricmp(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = std::tolower(static_cast<unsigned char>(*a));
    int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int _strnicmp(const char* a, const char* b, size_t n) {
  for (; n > 0; --n, ++a, ++b) {
    int ca = std::tolower(static_cast<unsigned char>(*a));
    int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) break;
  }
  return 0;
}

char* _strupr(char* s) {
  for (char* p = s; *p != 0; ++p)
    *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return s;
}

char* _strlwr(char* s) {
  for (char* p = s; *p != 0; ++p)
    *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return s;
}

char* _strrev(char* s) {
  size_t n = std::strlen(s);
  for (size_t i = 0; i < n / 2; ++i) {
    char t = s[i];
    s[i] = s[n - 1 - i];
    s[n - 1 - i] = t;
  }
  return s;
}

namespace korvo::platform {

int IsWSpace(WCHAR c) {
  for (const UnitRange& range : kWhiteSpace) {
    if (c < range.first) return 0;  // the table is sorted
    if (c <= range.last) return 1;
  }
  return 0;
}

int IsWDigit(WCHAR c) { return !IsSurrogate(c) && std::iswdigit(c) ? 1 : 0; }

int IsWAlpha(WCHAR c) { return !IsSurrogate(c) && std::iswalpha(c) ? 1 : 0; }

WCHAR ToWUpper(WCHAR c) {
  if (IsSurrogate(c)) return c;
  wint_t u = std::towupper(c);
  // A mapping that leaves the BMP (none exists today) would not fit a unit.
  return u <= 0xFFFF ? static_cast<WCHAR>(u) : c;
}

WCHAR ToWLower(WCHAR c) {
  if (IsSurrogate(c)) return c;
  wint_t u = std::towlower(c);
  return u <= 0xFFFF ? static_cast<WCHAR>(u) : c;
}

}  // namespace korvo::platform
