// types/CTTime.cpp: calendar conversions and text renderings of CTTime.
// All calendar work is delegated to the platform's 64-bit time functions;
// all text goes through the platform formatting engine.
#include <korvo/platform/filetime.h>
#include <korvo/platform/format.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/platform/time64.h>
#include <korvo/types/CTTime.h>

#include <cstdlib>
#include <cstring>

using korvo::platform::Format;

namespace {

// Room for every no-argument rendering and its terminator.
constexpr size_t kTextSize = 30;

const char kBlankIso[] = "    -  -  T  :  :  ";
const char kBlankGmtIso[] = "    -  -  T  :  :  Z";
const char kBlankNormal[] = "  /  /    ";
const char kIsoFormat[] = "%04d-%02d-%02dT%02d:%02d:%02d";
const char kGmtIsoFormat[] = "%04d-%02d-%02dT%02d:%02d:%02dZ";
const char kNormalFormat[] = "%02d/%02d/%04d %02d:%02d:%02d";

}  // namespace

CTTime::CTTime() : m_time(0), m_szText{} {}

CTTime::CTTime(__int64 seconds) : m_time(seconds), m_szText{} {}

CTTime::CTTime(const CTTime& other) : m_time(other.m_time), m_szText{} {}

CTTime::CTTime(int year, int month, int day, int hour, int minute, int second, int dst)
    : m_time(0), m_szText{} {
  SetFromFields(year, month, day, hour, minute, second, dst);
}

CTTime::CTTime(unsigned short dosDate, unsigned short dosTime, int dst) : m_time(0), m_szText{} {
  SetFromFields((dosDate >> 9) + 1980, (dosDate >> 5) & 15, dosDate & 31, dosTime >> 11,
                (dosTime >> 5) & 63, (dosTime & 31) * 2, dst);
}

CTTime::CTTime(const SYSTEMTIME& fields, int dst) : m_time(0), m_szText{} {
  SetFromSystemTime(fields, dst);
}

CTTime::CTTime(const FILETIME& fileTime, int dst) : m_time(0), m_szText{} {
  FILETIME local;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&fileTime, &local)) return;
  if (!FileTimeToSystemTime(&local, &fields)) return;
  SetFromSystemTime(fields, dst);
}

CTTime::CTTime(const char* text) : m_time(0), m_szText{} {
  if (text == nullptr) return;
  // Bounded so that a short text is never read past its terminator.
  const size_t length = strnlen(text, 19);
  auto group = [&](size_t at, size_t width) {
    char scratch[5] = {};
    for (size_t i = 0; i < width && at + i < length; ++i) scratch[i] = text[at + i];
    return std::atoi(scratch);
  };
  SetFromFields(group(6, 4), group(3, 2), group(0, 2), group(11, 2), group(14, 2), group(17, 2),
                -1);
}

CTTime CTTime::GetTickCount() { return CTTime(_time64(nullptr)); }

CTTime& CTTime::operator=(const CTTime& other) {
  m_time = other.m_time;
  return *this;
}

KORVO_HOT CTTime& CTTime::operator=(__int64 seconds) {
  m_time = seconds;
  return *this;
}

CTTime& CTTime::operator=(const SYSTEMTIME& fields) {
  SetFromSystemTime(fields, -1);
  return *this;
}

void CTTime::SetFromFields(int year, int month, int day, int hour, int minute, int second,
                           int dst) {
  struct tm fields = {};
  fields.tm_sec = second;
  fields.tm_min = minute;
  fields.tm_hour = hour;
  fields.tm_mday = day;
  fields.tm_mon = month - 1;
  fields.tm_year = year - 1900;
  fields.tm_isdst = dst;
  const __time64_t t = _mktime64(&fields);
  m_time = t == -1 ? 0 : t;
}

void CTTime::SetFromSystemTime(const SYSTEMTIME& fields, int dst) {
  if (fields.wYear < 1900) {
    m_time = 0;
    return;
  }
  SetFromFields(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                fields.wSecond, dst);
}

bool CTTime::Local(struct tm& out) const {
  const __time64_t t = m_time;
  return _localtime64_s(&out, &t) == 0;
}

bool CTTime::Utc(struct tm& out) const {
  const __time64_t t = m_time;
  return _gmtime64_s(&out, &t) == 0;
}

// Each getter returns 0 when the value has no calendar fields.
#define KORVO_TIME_GETTER(name, convert, expr) \
  int CTTime::name() const {                   \
    struct tm t;                               \
    return convert(t) ? (expr) : 0;            \
  }

KORVO_TIME_GETTER(GetYear, Local, t.tm_year + 1900)
KORVO_TIME_GETTER(GetMonth, Local, t.tm_mon + 1)
KORVO_TIME_GETTER(GetDay, Local, t.tm_mday)
KORVO_TIME_GETTER(GetDayOfMonth, Local, t.tm_mday)
KORVO_TIME_GETTER(GetHour, Local, t.tm_hour)
KORVO_TIME_GETTER(GetMinute, Local, t.tm_min)
KORVO_TIME_GETTER(GetSecond, Local, t.tm_sec)
KORVO_TIME_GETTER(GetDayOfWeek, Local, t.tm_wday + 1)
KORVO_TIME_GETTER(GetQuantieme, Local, t.tm_yday + 1)
KORVO_TIME_GETTER(GetGMTYear, Utc, t.tm_year + 1900)
KORVO_TIME_GETTER(GetGMTMonth, Utc, t.tm_mon + 1)
KORVO_TIME_GETTER(GetGMTDay, Utc, t.tm_mday)
KORVO_TIME_GETTER(GetGMTDayOfMonth, Utc, t.tm_mday)
KORVO_TIME_GETTER(GetGMTHour, Utc, t.tm_hour)
KORVO_TIME_GETTER(GetGMTMinute, Utc, t.tm_min)
KORVO_TIME_GETTER(GetGMTSecond, Utc, t.tm_sec)
KORVO_TIME_GETTER(GetGMTDayOfWeek, Utc, t.tm_wday + 1)
KORVO_TIME_GETTER(GetGMTQuantieme, Utc, t.tm_yday + 1)

#undef KORVO_TIME_GETTER

int CTTime::GetAsSystemTime(SYSTEMTIME& out) const {
  struct tm t;
  if (!Local(t)) return 0;
  out.wYear = static_cast<WORD>(t.tm_year + 1900);
  out.wMonth = static_cast<WORD>(t.tm_mon + 1);
  out.wDayOfWeek = static_cast<WORD>(t.tm_wday);
  out.wDay = static_cast<WORD>(t.tm_mday);
  out.wHour = static_cast<WORD>(t.tm_hour);
  out.wMinute = static_cast<WORD>(t.tm_min);
  out.wSecond = static_cast<WORD>(t.tm_sec);
  out.wMilliseconds = 0;
  return 1;
}

struct tm* CTTime::GetLocalTm(struct tm* out) const {
  const __time64_t t = m_time;
  struct tm* result = _localtime64(&t);
  if (result == nullptr || out == nullptr) return result;
  *out = *result;
  return out;
}

struct tm* CTTime::GetGmtTm(struct tm* out) const {
  const __time64_t t = m_time;
  struct tm* result = _gmtime64(&t);
  if (result == nullptr || out == nullptr) return result;
  *out = *result;
  return out;
}

namespace {

// The span in 32-bit arithmetic, as the interface promises; computed
// unsigned so that a caller who exceeds the limit gets a wrapped value
// rather than undefined behaviour.
int32_t Span(long days, int hours, int minutes, int seconds) {
  uint32_t s = static_cast<uint32_t>(days) * 24u + static_cast<uint32_t>(hours);
  s = s * 60u + static_cast<uint32_t>(minutes);
  s = s * 60u + static_cast<uint32_t>(seconds);
  return static_cast<int32_t>(s);
}

}  // namespace

void CTTime::IncTime(long days, int hours, int minutes, int seconds) {
  m_time += Span(days, hours, minutes, seconds);
}

void CTTime::DecTime(long days, int hours, int minutes, int seconds) {
  m_time -= Span(days, hours, minutes, seconds);
}

int CTTime::IsNull() const { return m_time == 0 ? 1 : 0; }

namespace {

enum class Order { kYmdHms, kHms, kDmyHms };

// Formats the fields in the given order; surplus arguments are ignored by
// formats that use fewer fields.
void FormatFields(char* out, size_t capacity, const char* format, const struct tm& t, Order order) {
  const int y = t.tm_year + 1900, mo = t.tm_mon + 1, d = t.tm_mday;
  const int h = t.tm_hour, mi = t.tm_min, s = t.tm_sec;
  switch (order) {
    case Order::kYmdHms:
      Format(out, capacity, format, y, mo, d, h, mi, s);
      break;
    case Order::kHms:
      Format(out, capacity, format, h, mi, s);
      break;
    case Order::kDmyHms:
      Format(out, capacity, format, d, mo, y, h, mi, s);
      break;
  }
}

// Renderings into the caller's buffer (local time). Capacities are the documented sizes,
// so the engine never writes beyond what the caller was told to provide.
char* RenderLocal(__int64 time, char* buffer, size_t capacity, const char* format, Order order) {
  struct tm t;
  if (_localtime64_s(&t, &time) == 0) {
    FormatFields(buffer, capacity, format, t, order);
  } else {
    buffer[0] = '\0';
  }
  return buffer;
}

}  // namespace

char* CTTime::GetSQL(char* buffer) const {
  return RenderLocal(m_time, buffer, 11, "'%04d%02d%02d'", Order::kYmdHms);
}
char* CTTime::GetExtendedSQLDate(char* buffer) const {
  return RenderLocal(m_time, buffer, 17, "{d '%04d-%02d-%02d'}", Order::kYmdHms);
}
char* CTTime::GetExtendedSQLTime(char* buffer) const {
  return RenderLocal(m_time, buffer, 15, "{t '%02d:%02d:%02d'}", Order::kHms);
}
char* CTTime::GetExtendedSQLTimestamp(char* buffer) const {
  return RenderLocal(m_time, buffer, 27, "{Ts '%04d-%02d-%02d %02d:%02d:%02d'}", Order::kYmdHms);
}
char* CTTime::GetExtendedSQLTimestampWithZeroTime(char* buffer) const {
  return RenderLocal(m_time, buffer, 27, "{Ts '%04d-%02d-%02d 00:00:00'}", Order::kYmdHms);
}
char* CTTime::GetExtendedISOTimestamp(char* buffer) const {
  return RenderLocal(m_time, buffer, 20, kIsoFormat, Order::kYmdHms);
}

// Renderings into m_szText: a null or unconvertible time gets the blank
// template of its layout.
const char* CTTime::RenderOwn(bool utc, const char* format, int order, const char* blank) {
  struct tm t;
  if (IsNull() || !(utc ? Utc(t) : Local(t))) {
    std::memcpy(m_szText, blank, std::strlen(blank) + 1);
  } else {
    FormatFields(m_szText, kTextSize, format, t, static_cast<Order>(order));
  }
  return m_szText;
}

const char* CTTime::GetGMTIso() {
  return RenderOwn(true, kGmtIsoFormat, int(Order::kYmdHms), kBlankGmtIso);
}
const char* CTTime::GetNormalIso() {
  return RenderOwn(false, kIsoFormat, int(Order::kYmdHms), kBlankIso);
}
const char* CTTime::GetNormal() {
  return RenderOwn(false, kNormalFormat, int(Order::kDmyHms), kBlankNormal);
}
const char* CTTime::GetGMTNormal() {
  return RenderOwn(true, kNormalFormat, int(Order::kDmyHms), kBlankNormal);
}

const char* CTTime::GetNormalTime() {
  RenderOwn(false, "%2d/%2d/%4d", int(Order::kDmyHms), kBlankNormal);
  // Only the tens of day and month are padded; a year below 1000 keeps its
  // leading blanks. The blank template has a space where "%2d" always
  // writes a digit, and stays as it is.
  if (m_szText[1] != ' ') {
    if (m_szText[0] == ' ') m_szText[0] = '0';
    if (m_szText[3] == ' ') m_szText[3] = '0';
  }
  return m_szText;
}
