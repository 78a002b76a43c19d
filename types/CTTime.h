// types/CTTime.h: CTTime, the library's point in time.
//
// A CTTime is a signed 64-bit count of seconds since 1970-01-01 00:00:00
// UTC plus a 30-character text buffer that its no-argument renderings write
// into. Calendar work goes through the 64-bit time functions of
// <korvo/platform/time64.h>, so local time follows the process's TZ and the
// convertible range is 1970-01-01 00:00:00 UTC .. 3000-12-31 23:59:59 UTC.
//
// The value 0 is the unset ("null") time: the default constructor gives it
// and every constructor stores it when its calendar conversion fails.
//
// Thread-safety: caller must synchronize; one object is used by one thread
// at a time. Distinct objects are independent.
// Ownership: the object owns its text buffer; the pointers returned by the
// no-argument renderings point into it (see below). Nothing else is owned.
//
// Choices made for this implementation:
// - IsNull() is 1 exactly when the value is 0, the marker that the
//   constructors store on failure and that date binding uses for a null
//   column. The no-argument renderings of a null time, or of a value whose
//   calendar fields cannot be computed, copy a blank template instead of
//   formatting: "    -  -  T  :  :  Z" (GetGMTIso), "    -  -  T  :  :  "
//   (GetNormalIso), "  /  /    " (GetNormal, GetGMTNormal, GetNormalTime).
//   The getters and the buffer renderings are not affected by IsNull: the
//   value 0 is still 1970-01-01 00:00:00 UTC for them.
// - For a value outside the convertible range (for the local forms: one
//   whose local time is outside it) every calendar getter returns 0 and
//   every rendering into a caller's buffer writes an empty text.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

#include <ctime>

class KORVO_API CTTime {
 public:
  // Value 0 (unset).
  CTTime();
  CTTime(__int64 seconds);
  // Same value, empty text buffer.
  CTTime(const CTTime& other);
  // Calendar fields as local time (month 1-12), normalised by the C
  // runtime: CTTime(2026, 2, 30, 0, 0, 0, -1) is 2 March 2026. `dst` > 0:
  // the fields are daylight-saving time, 0 standard time, < 0 let the C
  // runtime decide. 0 when the time falls outside the range.
  CTTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);
  // MS-DOS date and time words (as in FAT directory entries), local time.
  CTTime(unsigned short dosDate, unsigned short dosTime, int dst = -1);
  // Local calendar fields; milliseconds and day of week are ignored. 0 when
  // the year is below 1900 or the conversion fails.
  CTTime(const SYSTEMTIME& fields, int dst = -1);
  // A UTC file time, taken to local file time and then as the SYSTEMTIME
  // form; 0 when a conversion fails or the year is below 1900.
  CTTime(const FILETIME& fileTime, int dst = -1);
  // The fixed layout "DD/MM/YYYY HH:MM:SS" that GetNormal produces, read at
  // fixed positions with atoi semantics (separators are not checked), as
  // local time with the C runtime deciding daylight saving. A text shorter
  // than 19 characters reads its missing groups as 0; a null pointer
  // gives 0.
  explicit CTTime(const char* text);
  ~CTTime() = default;

  // The current calendar time in whole seconds (not a tick count).
  static CTTime GetTickCount();

  // Copies the value only; the text buffer is left as it is.
  CTTime& operator=(const CTTime& other);
  CTTime& operator=(__int64 seconds);
  // As the SYSTEMTIME constructor with the C runtime deciding daylight
  // saving; the text buffer is not touched.
  CTTime& operator=(const SYSTEMTIME& fields);

  __int64 GetTime() const { return m_time; }

  // Local calendar fields (see the header comment for unconvertible values).
  int GetYear() const;
  int GetMonth() const;       // 1..12
  int GetDay() const;         // 1..31
  int GetDayOfMonth() const;  // same as GetDay
  int GetHour() const;
  int GetMinute() const;
  int GetSecond() const;
  int GetDayOfWeek() const;  // 1 = Sunday .. 7 = Saturday
  int GetQuantieme() const;  // day of the year, 1..366
  // The same in UTC.
  int GetGMTYear() const;
  int GetGMTMonth() const;
  int GetGMTDay() const;
  int GetGMTDayOfMonth() const;
  int GetGMTHour() const;
  int GetGMTMinute() const;
  int GetGMTSecond() const;
  int GetGMTDayOfWeek() const;
  int GetGMTQuantieme() const;

  // Local fields into `out` (day of week 0 = Sunday, milliseconds 0);
  // returns 1, or 0 leaving `out` untouched when the value cannot be
  // converted.
  int GetAsSystemTime(SYSTEMTIME& out) const;
  // With a null argument: the C runtime's own per-thread result, valid until
  // the next conversion on this thread. Otherwise copies into `out` and
  // returns it. Null (and `out` untouched) when the value cannot be
  // converted.
  struct tm* GetLocalTm(struct tm* out = nullptr) const;
  struct tm* GetGmtTm(struct tm* out = nullptr) const;

  // Adds / subtracts ((days * 24 + hours) * 60 + minutes) * 60 + seconds.
  // REQUIRES: the span fits in a signed 32-bit second count (|days| < 24856).
  void IncTime(long days, int hours, int minutes, int seconds);
  void DecTime(long days, int hours, int minutes, int seconds);

  // By the stored seconds only; 1 or 0.
  int operator==(CTTime other) const { return m_time == other.m_time ? 1 : 0; }
  int operator!=(CTTime other) const { return m_time != other.m_time ? 1 : 0; }
  int operator<(CTTime other) const { return m_time < other.m_time ? 1 : 0; }
  int operator>(CTTime other) const { return m_time > other.m_time ? 1 : 0; }
  int operator<=(CTTime other) const { return m_time <= other.m_time ? 1 : 0; }
  int operator>=(CTTime other) const { return m_time >= other.m_time ? 1 : 0; }

  // 1 when the value is 0 (unset), else 0.
  int IsNull() const;

  // Renderings of the local time into the caller's buffer; each returns
  // `buffer`. REQUIRES: the buffer holds the result and its terminator
  // (sizes in parentheses, terminator included).
  char* GetSQL(char* buffer) const;                               // '20260131' (11)
  char* GetExtendedSQLDate(char* buffer) const;                   // {d '2026-01-31'} (17)
  char* GetExtendedSQLTime(char* buffer) const;                   // {t '13:05:09'} (15)
  char* GetExtendedSQLTimestamp(char* buffer) const;              // {Ts '2026-01-31 13:05:09'} (27)
  char* GetExtendedSQLTimestampWithZeroTime(char* buffer) const;  // {Ts '2026-01-31 00:00:00'} (27)
  char* GetExtendedISOTimestamp(char* buffer) const;              // 2026-01-31T13:05:09 (20)

  // Renderings into the object's own buffer. The returned pointer points
  // into this object and stays valid until the next of these calls on it or
  // its destruction.
  const char* GetGMTIso();      // 2026-01-31T13:05:09Z (UTC)
  const char* GetNormalIso();   // 2026-01-31T13:05:09 (local)
  const char* GetNormal();      // 31/01/2026 13:05:09 (local)
  const char* GetGMTNormal();   // 31/01/2026 13:05:09 (UTC)
  const char* GetNormalTime();  // 31/01/2026 (local date only)

 private:
  // Stores the _mktime64 result of the fields, 0 when it fails.
  void SetFromFields(int year, int month, int day, int hour, int minute, int second, int dst);
  void SetFromSystemTime(const SYSTEMTIME& fields, int dst);
  // The broken-down local / UTC time; false when the value cannot be
  // converted.
  bool Local(struct tm& out) const;
  bool Utc(struct tm& out) const;
  // Formats into m_szText, or copies `blank` there for a null or
  // unconvertible time; returns m_szText either way.
  const char* RenderOwn(bool utc, const char* format, int order, const char* blank);

  __int64 m_time;
  char m_szText[30];
};
