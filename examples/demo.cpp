// The demo host program: a tour of what Korvo offers so far, on an
// embedded SQLite database. Run it through the README's main-job command.
#include <korvo/Korvo.h>

#include <cstdio>
#include <cstring>

namespace {

void ShowPlatform() {
  std::printf("Platform layer\n");
  std::printf("  ANSI code page: %s, OEM code page: %s\n", korvo::platform::AnsiCodePageName(),
              korvo::platform::OemCodePageName());

  const char* text = "Grüße, Korvo";
  WCHAR wide[64];
  int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
  std::printf("  \"%s\" is %d UTF-16 units with its terminator\n", text, units);

  char line[128];
  korvo::platform::Format(line, sizeof line, "%-8s|%5.2f|%S|%I64d", "left", 3.14159, u"wide",
                          static_cast<long long>(1) << 40);
  std::printf("  formatted: %s\n", line);

  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZEP\\ORB_P5", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    char dir[260] = {};
    DWORD size = sizeof dir;
    LONG rc = RegQueryValueExA(key, "Dbms Korvo Trace", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(dir), &size);
    std::printf("  registry trace directory: %s\n", rc == ERROR_SUCCESS ? dir : "(not set)");
    RegCloseKey(key);
  } else {
    std::printf("  registry key SOFTWARE\\ZEP\\ORB_P5: not present\n");
  }
}

}  // namespace

int main() {
  std::printf("Korvo demo\n\n");
  ShowPlatform();
  return 0;
}
