// examples/tour/output.cpp: how the tour prints steps, rows and errors.
#include <cstdarg>
#include <cstdio>

#include "tour.h"

namespace tour {

void Step(const char* title, const char* explanation) {
  static int number = 0;
  std::printf("\nStep %d: %s\n  (%s)\n", ++number, title, explanation);
}

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::printf("    ");
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
}

void PrintRows(CBirdSet& rs) {
  for (; !rs.IsEOF(); rs.MoveNext()) {
    char seen[16] = "NULL";
    if (!rs.IsFieldNull(&rs.m_seen)) std::snprintf(seen, sizeof seen, "%d", rs.m_seen);
    Say("%3ld  %-10s seen %s", rs.m_id, static_cast<const char*>(rs.m_name), seen);
  }
}

void Explain(CDBException* e) {
  Say("caught CDBException: return code %d, native error %u, origin \"%s\"", e->m_nReturnCode,
      e->m_dwNativeError, static_cast<const char*>(e->m_strErrorOrigin));
  Say("text: %s", static_cast<const char*>(e->m_strErrorText));
  e->Delete();
}

}  // namespace tour
