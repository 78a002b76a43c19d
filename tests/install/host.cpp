// Built against the installed package only: proves the umbrella header and
// the exported symbols are enough for a host.
#include <korvo/Korvo.h>

#include <cstdio>

int main() {
  char out[64];
  int n = korvo::platform::Format(out, sizeof out, "%s %d", "korvo", 42);
  WCHAR wide[16];
  int units = MultiByteToWideChar(CP_ACP, 0, "host", -1, wide, 16);
  std::printf("%s (%d) %d\n", out, n, units);
  return (n == 8 && units == 5) ? 0 : 1;
}
