// platform/zone_watch_internal.h: following TZ as mktime follows it, for
// the conversions that answer local times without mktime. Not installed.
// Thread-safety: a ZoneWatch belongs to one thread (it lives in a
// thread_local object); the environment may be changed by any thread
// between calls, as for getenv.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <ctime>

namespace korvo::platform {

// What one thread saw of the environment when it last read TZ. Trivially
// destructible and initialised at compile time, so that it can sit in the
// constant-initialised thread_local cache of its user.
class ZoneWatch {
 public:
  // True when TZ changed (was set, unset or given another value) since
  // this watch last looked, and the first time; tzset has then been called
  // so that localtime_r answers in the zone TZ names now, and the caller
  // forgets what it learnt of the old one.
  //
  // Cheap while the environment stays as it was (asked for every date a
  // column converts): its list of entries is compared with a copy, and TZ's
  // own entry, if any, with its text. So every change made through setenv,
  // unsetenv, putenv, clearenv or a new `environ` is seen, and so is a
  // string given to putenv whose text is changed in place while it is TZ,
  // or one freed and reused for TZ by the variable set last. Not seen until
  // the environment next changes: another entry's string rewritten in place
  // to become TZ.
  bool Changed() {
    char** env = environ;
    if (looked_ && env == seen_ && Unchanged(env)) return false;
    return Reread(env);
  }

 private:
  static constexpr size_t kMaxEntries = 255;  // more: the list is read on every call
  static constexpr size_t kMaxText = 128;     // a longer TZ counts as changed on every call

  bool Unchanged(char** env) const {
    if (env == nullptr) return has_text_;  // still none (the caller compared with seen_)
    if (count_ == 0 || std::memcmp(env, entries_, count_ * sizeof(char*)) != 0) return false;
    if (tz_ != nullptr) return std::strcmp(tz_, tz_text_) == 0;
    // A variable set since the copy is the last entry, perhaps a TZ entry
    // at the address of a string freed since.
    return count_ == 1 || !IsTzEntry(env[count_ - 2]);
  }

  static bool IsTzEntry(const char* entry) {
    return entry[0] == 'T' && entry[1] == 'Z' && entry[2] == '=';
  }

  bool Reread(char** env);

  char** seen_ = nullptr;                // `environ` at the last look
  size_t count_ = 0;                     // entries_ in use (the closing null included), or 0
  const char* tz_ = nullptr;             // the first TZ entry then, or null
  bool looked_ = false;                  // the zone was read at least once
  bool has_text_ = false;                // tz_text_ holds the TZ entry (or "" for none)
  char tz_text_[kMaxText] = {};          // the TZ entry's text then
  char* entries_[kMaxEntries + 1] = {};  // the entries then
};

// The offset from UTC of local time at `t` (localtime_r's tm_gmtoff);
// false where localtime_r fails.
bool LocalOffsetAt(time_t t, long* offset);

}  // namespace korvo::platform
