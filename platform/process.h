// platform/process.h: thread and process identity, the UTC system clock and
// the per-thread last-error code.
// Thread-safety: all functions may be called from any thread; the last
// error is kept per thread.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

KORVO_API DWORD GetCurrentThreadId();   // the kernel thread id (gettid)
KORVO_API DWORD GetCurrentProcessId();
// Current UTC time, milliseconds included; wDayOfWeek 0 = Sunday.
KORVO_API void GetSystemTime(SYSTEMTIME* out);

// The calling thread's last-error value, left by the platform call that
// failed last on this thread.
KORVO_API DWORD GetLastError();
KORVO_API void SetLastError(DWORD error);
