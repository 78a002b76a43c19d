// platform/filetime.cpp: FILETIME <-> SYSTEMTIME arithmetic on the proleptic
// Gregorian calendar, and the local-time offset from the C library.
#include <korvo/platform/civil_date.h>
#include <korvo/platform/filetime.h>
#include <korvo/platform/process.h>

#include <ctime>

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = kTicksPerSecond * 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = 134774;

int64_t Ticks(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

void SetTicks(FILETIME& ft, int64_t ticks) {
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
}

BOOL Fail() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (fileTime == nullptr || systemTime == nullptr) return Fail();
  const int64_t ticks = Ticks(*fileTime);
  if (ticks < 0) return Fail();  // top bit set
  const int64_t days = ticks / kTicksPerDay;
  const int64_t rest = ticks % kTicksPerDay;
  const korvo::platform::CivilDate civil =
      korvo::platform::CivilFromDays(days - kDaysFrom1601To1970);
  systemTime->wYear = static_cast<WORD>(civil.year);
  systemTime->wMonth = static_cast<WORD>(civil.month);
  systemTime->wDay = static_cast<WORD>(civil.day);
  // 1601-01-01 was a Monday.
  systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
  const int64_t seconds = rest / kTicksPerSecond;
  systemTime->wHour = static_cast<WORD>(seconds / 3600);
  systemTime->wMinute = static_cast<WORD>(seconds / 60 % 60);
  systemTime->wSecond = static_cast<WORD>(seconds % 60);
  systemTime->wMilliseconds = static_cast<WORD>(rest % kTicksPerSecond / 10000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* fileTime) {
  if (st == nullptr || fileTime == nullptr) return Fail();
  if (st->wYear < 1601 || st->wYear > 30827 ||
      !korvo::platform::IsValidDate(st->wYear, st->wMonth, st->wDay) || st->wHour > 23 ||
      st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    return Fail();
  }
  const int64_t days =
      korvo::platform::DaysFromCivil(st->wYear, st->wMonth, st->wDay) + kDaysFrom1601To1970;
  const int64_t seconds = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
  SetTicks(*fileTime, seconds * kTicksPerSecond + st->wMilliseconds * int64_t{10000});
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
  if (fileTime == nullptr || localFileTime == nullptr) return Fail();
  const int64_t ticks = Ticks(*fileTime);
  if (ticks < 0) return Fail();
  const time_t unix_seconds =
      static_cast<time_t>(ticks / kTicksPerSecond - kDaysFrom1601To1970 * 86400);
  tzset();
  struct tm local;
  if (localtime_r(&unix_seconds, &local) == nullptr) return Fail();
  const int64_t shifted = ticks + static_cast<int64_t>(local.tm_gmtoff) * kTicksPerSecond;
  if (shifted < 0) return Fail();
  SetTicks(*localFileTime, shifted);
  return TRUE;
}
