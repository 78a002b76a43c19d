// platform/debugout.h: the debugger output channel (OutputDebugStringA).
//
// By default the text is discarded unless the environment variable
// KORVO_DEBUG_OUTPUT is set: "stderr" writes to standard error, anything
// else is a file path that is appended to. A host or a test may install
// its own sink, which then receives every text (a null sink restores the
// default). Thread-safety: calls are serialised; the sink is called with
// the channel's lock held and must not write to the channel itself.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/utf32.h>
#include <korvo/platform/wintypes.h>

KORVO_API void OutputDebugStringA(const char* text);
// The text converted to the ANSI code page, then as OutputDebugStringA.
KORVO_API void OutputDebugStringW(const WCHAR* text);
// The host's UTF-32 wchar_t text (L"..."); invalid code points as U+FFFD.
template <korvo::HostWideChar C>
void OutputDebugStringW(const C* text) {
  OutputDebugStringW(korvo::Utf16Copy(text, korvo::InvalidText::kReplace).c_str());
}

namespace korvo::platform {

using DebugOutputSink = void (*)(const char* text, void* context);
// Returns nothing; the previous sink is replaced.
KORVO_API void SetDebugOutputSink(DebugOutputSink sink, void* context);

}  // namespace korvo::platform
