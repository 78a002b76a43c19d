// platform/registry.h: read-only registry (HKEY_LOCAL_MACHINE only) backed
// by a file in the Windows registry export format.
//
// The file is $KORVO_REGISTRY when that variable is set, else
// /etc/korvo/registry.reg. It is read once per process, at the first
// RegOpenKeyExA; a missing file is an empty registry, and so is a file that
// does not begin with "Windows Registry Editor Version 5.00" or "REGEDIT4".
// The file may be UTF-16LE with a byte-order mark (as regedit writes it) or
// UTF-8; CRLF or LF. Sections [HKEY_LOCAL_MACHINE\...] (or [HKLM\...]) name
// keys; sections of other hives are ignored; [-...] deletes a key read so
// far and "Name"=- a value. Lines that cannot be parsed are skipped; nothing
// in the file can crash the library.
// Supported values: "text" (REG_SZ, with \\ and \" escapes; any other
// backslash is kept), @ for the default value, dword: (REG_DWORD), hex:
// (REG_BINARY) and hex(n): for any type n, where hex(1), hex(2)
// (REG_EXPAND_SZ) and hex(7) (REG_MULTI_SZ) hold UTF-16LE text (in a
// REGEDIT4 file: ANSI bytes), with "\" line continuations. Key and value
// names match without regard to case (Unicode case, whatever the locale).
// Thread-safety: internally locked; handles may be used from any thread
// but one handle by one thread at a time.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/process.h>
#include <korvo/platform/wintypes.h>

#include <memory>
#include <type_traits>

typedef struct KorvoRegKey* HKEY;
typedef DWORD REGSAM;
typedef HKEY* PHKEY;

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002)))

#define KEY_QUERY_VALUE 0x0001
#define KEY_READ 0x20019

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

// Opens `subKey` (backslash-separated; null or empty: the root itself)
// under HKEY_LOCAL_MACHINE or under a key opened before. Another predefined
// root gives ERROR_FILE_NOT_FOUND, any other handle ERROR_INVALID_HANDLE.
// Asking for write access is ERROR_ACCESS_DENIED. Every key this returns
// is closed with RegCloseKey.
KORVO_API LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                             PHKEY result);
KORVO_API LONG RegCloseKey(HKEY key);

// Reads a value. Text values are returned in the ANSI code page, NUL
// terminated (REG_MULTI_SZ: each string NUL terminated, then one more NUL).
// `type` and `data` may be null; `dataSize` holds the buffer size on entry
// and the value's size in bytes on return. A null `data` with a non-null
// `dataSize` asks for the size only. A buffer that is too small gives
// ERROR_MORE_DATA and the needed size; a missing value ERROR_FILE_NOT_FOUND.
// A null or empty name reads the default value. A non-null `reserved`, or a
// `data` without `dataSize`, is ERROR_INVALID_PARAMETER.
KORVO_API LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                                BYTE* data, DWORD* dataSize);

namespace korvo::platform {

// An open key that RegCloseKey closes when the holder goes.
struct RegKeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyCloser>;

}  // namespace korvo::platform
