// diag/settings_key.h: the library's settings in the registry, under
// `HKEY_LOCAL_MACHINE\SOFTWARE\ZEP\ORB_P5` (the trace directory, "Dbms
// Korvo Trace", and the session instructions, "Dbms System Session
// Instructions").
// Thread-safety: as the registry functions (platform/registry.h).
#pragma once

#include <korvo/platform/registry.h>

namespace korvo::diag {

inline constexpr char kSettingsKey[] = "SOFTWARE\\ZEP\\ORB_P5";

// The settings key opened for reading, closed when the holder goes; null
// when the registry has no such key.
inline korvo::platform::UniqueRegKey OpenSettingsKey() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return korvo::platform::UniqueRegKey(key);
}

}  // namespace korvo::diag
