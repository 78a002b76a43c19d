// platform/resources.h: the string resources of the main executable.
//
// On Linux a process-wide table of (identifier, text) stands in for the
// executable's string table. The host fills it, one string at a time or
// from a file of lines `<id>=<text>` (UTF-8; `\n`, `\t`, `\\` escapes; lines
// starting with # and malformed lines are skipped). Texts are kept as
// UTF-16 and handed out in the ANSI code page by the A form.
// Thread-safety: internally locked.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/process.h>
#include <korvo/platform/wintypes.h>

// The main executable's module handle for a null name; any other name
// gives null (no other module has resources).
KORVO_API HMODULE GetModuleHandleA(const char* moduleName);

// Copies the resource text into `buffer`, at most bufferMax - 1 characters
// followed by a NUL, and returns the number of characters copied (0 for a
// missing identifier, with an empty text written when bufferMax > 0).
KORVO_API int LoadStringA(HINSTANCE module, UINT id, char* buffer, int bufferMax);
KORVO_API int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int bufferMax);

namespace korvo::platform {

// Adds or replaces one resource (UTF-8 text). A null text removes it.
KORVO_API void SetStringResource(UINT id, const char* utf8_text);
// Adds every valid line of the file; returns the number of resources read,
// or -1 when the file cannot be opened.
KORVO_API int LoadStringResourceFile(const char* path);
KORVO_API void ClearStringResources();

}  // namespace korvo::platform
