// platform/local_time.cpp: LocalTimeToTime64 (local_time_internal.h).
#include <korvo/platform/civil_date.h>
#include <korvo/platform/local_time_internal.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace korvo::platform {
namespace {

constexpr int kBlockShift = 21;  // 2^21 s, about 24 days
constexpr time_t kDay = 86400;
constexpr size_t kSlots = 2048;                 // direct-mapped by block number
constexpr __time64_t kMaxTime = 32535215999LL;  // _mktime64's last second
constexpr int32_t kNotUniform = INT32_MIN;

// Eight bytes, so that the table of a zone's blocks stays in the first
// level of cache: dates of a column touch blocks in no order.
struct Block {
  int32_t index = INT32_MIN;
  int32_t offset = kNotUniform;  // the offset at every sample, or kNotUniform
};

// What this thread knows of the zone. One object, initialised at compile
// time and without a destructor, so that a conversion finds its thread's
// copy with one lookup (a thread_local of a shared library costs a lookup
// per access, and one that needs construction a guard besides).
struct ZoneCache {
  Block blocks[kSlots];
  int zone_state = 0;  // 0 not looked yet, 1 no TZ, 2 TZ is t_zone
};

thread_local ZoneCache t_cache;
thread_local std::string t_zone;  // read only while TZ is set

// What not every conversion does (compare a TZ that is set; re-read a
// changed zone, sample a new block or leave a time to mktime, all rare)
// is kept out of line: the path of a conversion then needs few registers.
[[gnu::noinline]] bool SameZone(const char* zone) { return t_zone == zone; }

// Re-reads the zone and forgets what was learnt of the old one.
[[gnu::cold, gnu::noinline]] void RereadZone(ZoneCache& cache, const char* zone, int state) {
  ::tzset();
  t_zone = zone == nullptr ? "" : zone;
  cache.zone_state = state;
  for (Block& b : cache.blocks) b = Block{};
}

// RereadZone when TZ changed since this thread last looked.
void FollowZone(ZoneCache& cache) {
  const char* zone = std::getenv("TZ");
  const int state = zone == nullptr ? 1 : 2;
  if (state == cache.zone_state && (zone == nullptr || SameZone(zone))) return;
  RereadZone(cache, zone, state);
}

bool OffsetAt(time_t t, long* offset) {
  struct tm out;
  if (::localtime_r(&t, &out) == nullptr) return false;
  *offset = out.tm_gmtoff;
  return true;
}

// Samples block `index` into `b`, two days beyond either end: every
// offset mktime's search can look at for a local time whose clock falls in
// the block lies within two days of that clock.
[[gnu::cold, gnu::noinline]] void LoadBlock(Block& b, int32_t index) {
  b = Block{};
  b.index = index;
  const time_t start = (static_cast<time_t>(index) << kBlockShift) - 2 * kDay;
  const time_t end = start + (time_t{1} << kBlockShift) + 4 * kDay;
  long first = 0, next = 0;
  if (!OffsetAt(start, &first)) return;
  for (time_t t = start + kDay;; t += kDay) {
    if (t > end) t = end;
    if (!OffsetAt(t, &next) || next != first) return;
    if (t == end) break;
  }
  // Offsets are under a day; anything stranger is left to mktime.
  if (first > -kDay && first < kDay) b.offset = static_cast<int32_t>(first);
}

[[gnu::cold, gnu::noinline]] __time64_t ByMktime(int year, int month, int day, int hour, int minute,
                                                 int second) {
  struct tm local {};
  local.tm_sec = second;
  local.tm_min = minute;
  local.tm_hour = hour;
  local.tm_mday = day;
  local.tm_mon = month - 1;
  local.tm_year = year - 1900;
  local.tm_isdst = -1;
  return _mktime64(&local);
}

// The conversion of fields in range, given this thread's cache: looked up
// once by the caller, since the compiler would look a thread_local of a
// shared library up again after every call it makes (and, seeing the one
// caller, would do so here too unless kept from propagating the argument).
#if defined(__has_attribute) && __has_attribute(noipa)
__attribute__((noipa))
#else
__attribute__((noinline))
#endif
__time64_t
CachedLocalTime(ZoneCache& cache, int year, int month, int day, int hour, int minute, int second) {
  FollowZone(cache);
  const int64_t clock =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kDay +
      hour * 3600 + minute * 60 + second;
  // A clock this far outside the range gives no time in it at any offset
  // (and keeps block numbers small).
  if (clock < -2 * kDay || clock > kMaxTime + 2 * kDay) {
    return ByMktime(year, month, day, hour, minute, second);
  }
  const auto index = static_cast<int32_t>(clock >> kBlockShift);
  Block& b = cache.blocks[static_cast<uint32_t>(index) % kSlots];
  if (b.index != index) LoadBlock(b, index);
  if (b.offset != kNotUniform) {
    const int64_t t = clock - b.offset;
    if (t >= 0 && t <= kMaxTime) return t;
  }
  return ByMktime(year, month, day, hour, minute, second);
}

}  // namespace

__time64_t LocalTimeToTime64(int year, int month, int day, int hour, int minute, int second) {
  // The fields _mktime64's own shortcut takes; it normalises the rest.
  if (second < 0 || second > 59 || minute < 0 || minute > 59 || hour < 0 || hour > 23 || day < 1 ||
      day > 31 || month < 1 || month > 12) {
    return ByMktime(year, month, day, hour, minute, second);
  }
  return CachedLocalTime(t_cache, year, month, day, hour, minute, second);
}

}  // namespace korvo::platform
