// platform/zone_watch.cpp: ZoneWatch's look at the environment and
// LocalOffsetAt (zone_watch_internal.h).
#include <korvo/platform/zone_watch_internal.h>

namespace korvo::platform {

bool ZoneWatch::Reread(char** env) {
  const char* tz = nullptr;
  size_t count = 0;
  for (; env != nullptr && env[count] != nullptr; ++count) {
    if (tz == nullptr && IsTzEntry(env[count])) tz = env[count];
  }
  const char* text = tz == nullptr ? "" : tz;
  const bool same = looked_ && has_text_ && std::strcmp(text, tz_text_) == 0;
  looked_ = true;
  seen_ = env;
  tz_ = tz;
  const size_t text_size = std::strlen(text) + 1;
  has_text_ = text_size <= kMaxText;
  if (has_text_) std::memcpy(tz_text_, text, text_size);
  // Without a copy of both, every call reads the list again. (No list is
  // compared by its address alone.)
  count_ = env != nullptr && has_text_ && count < kMaxEntries ? count + 1 : 0;
  if (count_ != 0) std::memcpy(entries_, env, count_ * sizeof(char*));
  if (!same) ::tzset();
  return !same;
}

bool LocalOffsetAt(time_t t, long* offset) {
  struct tm out;
  if (::localtime_r(&t, &out) == nullptr) return false;
  *offset = out.tm_gmtoff;
  return true;
}

}  // namespace korvo::platform
