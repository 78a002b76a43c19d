// Leaks one block on purpose: the sanitizer build's test expects
// LeakSanitizer to report it, which shows leak checking is active.
#include <cstdio>
#include <cstdlib>

void* volatile g_sink;

int main() {
  g_sink = std::malloc(64);
  g_sink = nullptr;  // the only pointer is gone: a definite leak
  std::puts("leaked 64 bytes");
  return 0;
}
