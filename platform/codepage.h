// platform/codepage.h: conversion between the ANSI code page, the OEM code
// page, UTF-8 and UTF-16, with the Windows function semantics the library
// relies on.
//
// The ANSI code page (CP_ACP) is UTF-8 unless the environment variable
// KORVO_CODEPAGE names another iconv character set (CP1252, ...); the OEM
// code page (CP_OEMCP) is CP437 unless KORVO_OEMCP names another. Both are
// read once per process, at first use; a name iconv does not know leaves
// the default. Text that cannot be represented in
// the target becomes '?'; malformed input never crashes.
// Thread-safety: every function may be called from any thread.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/process.h>
#include <korvo/platform/wintypes.h>

#include <string>
#include <string_view>

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

// Converts `cbMultiByte` bytes of `src` (-1: up to and including its NUL
// terminator, which is then converted and counted too) to UTF-16 units.
// With `cchWideChar` 0 returns the number of units needed and writes
// nothing. Otherwise writes at most `cchWideChar` units and returns the
// number written; when they do not fit, returns 0 with
// ERROR_INSUFFICIENT_BUFFER (the part that fit may have been written).
// Returns 0 with ERROR_INVALID_PARAMETER for a null source, a length below
// -1, a length of 0 (as Windows) or an unknown code page. `flags` is
// accepted and ignored. Malformed UTF-8 becomes U+FFFD (one per maximal
// ill-formed subsequence, as Windows); bytes another code page cannot decode
// become '?'. Code pages other than CP_ACP, CP_OEMCP and CP_UTF8 are taken
// as iconv's "CP<number>" (1252, 437, 850, ...).
KORVO_API int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int cbMultiByte,
                                  WCHAR* dst, int cchWideChar);

// The reverse direction, same counting rules in bytes. `defaultChar` and
// `usedDefaultChar` may be null; when given, unrepresentable characters
// become *defaultChar (else '?') and *usedDefaultChar is set to TRUE. A
// UTF-8 target writes an unpaired surrogate as U+FFFD (and sets
// *usedDefaultChar).
KORVO_API int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int cchWideChar,
                                  char* dst, int cbMultiByte, const char* defaultChar,
                                  BOOL* usedDefaultChar);

// In-place-capable conversion of NUL-terminated text between the ANSI and
// the OEM code page (src and dst may be the same buffer; the result is cut
// to the source's byte length when the target encoding is longer, before a
// whole character when the target is UTF-8). Null arguments give FALSE.
KORVO_API BOOL CharToOemA(const char* src, char* dst);
KORVO_API BOOL OemToCharA(const char* src, char* dst);

namespace korvo::platform {

// UTF-8 <-> UTF-16 of a whole text: the library's one converter between
// the two (CP_UTF8 of the functions above runs the same code). Malformed
// UTF-8 becomes U+FFFD, one per maximal ill-formed subsequence: a byte that
// cannot start a sequence is one U+FFFD; a lead byte followed by the valid
// start of its sequence that then breaks off is one U+FFFD for the lead and
// those continuation bytes together, and the byte that broke it off is read
// afresh ("a\xE2\x82b" gives 'a', U+FFFD, 'b'). Overlong forms, surrogates
// and values above U+10FFFF are ill-formed. An unpaired surrogate in UTF-16
// becomes U+FFFD in UTF-8. Never fails; an empty text gives an empty one.
KORVO_API std::u16string Utf8ToUtf16(std::string_view text);
KORVO_API std::string Utf16ToUtf8(std::u16string_view text);

// The iconv names in effect for CP_ACP and CP_OEMCP ("UTF-8", "CP437", ...).
KORVO_API const char* AnsiCodePageName();
KORVO_API const char* OemCodePageName();

}  // namespace korvo::platform
