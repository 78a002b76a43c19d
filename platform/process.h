// platform/process.h: thread and process identity, the UTC system clock and
// the per-thread last-error code.
// Thread-safety: all functions may be called from any thread; the last
// error is kept per thread.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

// The last-error values the platform layer leaves (Windows numbering). A
// failing C library call whose errno has no Windows counterpart is reported
// as KORVO_ERRNO_ERROR(errno): the application-defined bit 29 set over the
// errno value, so nothing of the cause is lost.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define KORVO_ERRNO_ERROR(e) (0x20000000u | static_cast<DWORD>(e))

KORVO_API DWORD GetCurrentThreadId();  // the kernel thread id (gettid)
KORVO_API DWORD GetCurrentProcessId();
// Current UTC time, milliseconds included; wDayOfWeek 0 = Sunday.
KORVO_API void GetSystemTime(SYSTEMTIME* out);

// The calling thread's last-error value, left by the platform call that
// failed last on this thread.
KORVO_API DWORD GetLastError();
KORVO_API void SetLastError(DWORD error);
