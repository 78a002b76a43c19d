// platform/process.cpp: thread and process identity, the UTC clock and the
// per-thread last-error code.
#include <korvo/platform/process.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

#include "clock_internal.h"

namespace {

thread_local DWORD t_lastError = 0;

}  // namespace

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::gettid()); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

void GetSystemTime(SYSTEMTIME* out) {
  if (out == nullptr) return;
  const timespec now = korvo::platform::WallClockNow();
  struct tm fields {};
  ::gmtime_r(&now.tv_sec, &fields);
  out->wYear = static_cast<WORD>(fields.tm_year + 1900);
  out->wMonth = static_cast<WORD>(fields.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
  out->wDay = static_cast<WORD>(fields.tm_mday);
  out->wHour = static_cast<WORD>(fields.tm_hour);
  out->wMinute = static_cast<WORD>(fields.tm_min);
  // A leap second (tm_sec 60) does not exist in SYSTEMTIME.
  out->wSecond = static_cast<WORD>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
  out->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD error) { t_lastError = error; }
