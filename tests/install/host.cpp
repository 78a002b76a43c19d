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
  // The strings: shared copies, formatting, the exported operators.
  CTString text("korvo");
  CTString copy(text);
  copy.Format("%s-%d", static_cast<const char*>(text), 7);
  CTWString wideText(L"host");
  const bool strings =
      copy == "korvo-7" && text + "!" == CTString("korvo!") && wideText.GetLength() == 4;
  return (n == 8 && units == 5 && strings) ? 0 : 1;
}
