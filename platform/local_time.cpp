// platform/local_time.cpp: LocalTimeToTime64 (local_time_internal.h).
#include <korvo/platform/civil_date.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/platform/local_time_internal.h>
#include <korvo/platform/zone_watch_internal.h>

#include <cstdint>
#include <ctime>

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
  ZoneWatch zone;  // what the blocks were sampled under
};

thread_local ZoneCache t_cache;

// Forgets what was learnt of a zone TZ no longer names. (Out of line and
// cold: the path of a conversion then needs few registers.)
[[gnu::cold, gnu::noinline]] void ForgetZone(ZoneCache& cache) {
  for (Block& b : cache.blocks) b = Block{};
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
  if (!LocalOffsetAt(start, &first)) return;
  for (time_t t = start + kDay;; t += kDay) {
    if (t > end) t = end;
    if (!LocalOffsetAt(t, &next) || next != first) return;
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
KORVO_HOT __time64_t
CachedLocalTime(ZoneCache& cache, int year, int month, int day, int hour, int minute, int second) {
  if (cache.zone.Changed()) ForgetZone(cache);
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

KORVO_HOT __time64_t LocalTimeToTime64(int year, int month, int day, int hour, int minute,
                                       int second) {
  // The fields _mktime64's own shortcut takes; it normalises the rest.
  if (second < 0 || second > 59 || minute < 0 || minute > 59 || hour < 0 || hour > 23 || day < 1 ||
      day > 31 || month < 1 || month > 12) {
    return ByMktime(year, month, day, hour, minute, second);
  }
  return CachedLocalTime(t_cache, year, month, day, hour, minute, second);
}

}  // namespace korvo::platform
