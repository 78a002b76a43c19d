// Fuzz target: the ODBC escape and row-limit translator, with every
// combination of its options. Text without braces is left alone by the
// escape pass.
#include <korvo/ado/sql_escape_internal.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (int mask = 0; mask < 8; ++mask) {
    korvo::ado::SqlRewriteOptions options;
    options.odbc_escapes = (mask & 1) != 0;
    options.top_to_limit = (mask & 2) != 0;
    options.rownum = (mask & 4) != 0;
    korvo::ado::SqlRewriteResult out;
    std::string error;
    if (!korvo::ado::RewriteSql(text, options, &out, &error)) {
      if (error.empty()) std::abort();
      continue;
    }
    if (mask == 1 && text.find_first_of("{}") == std::string::npos && out.sql != text) std::abort();
    if (mask == 0 && out.sql != text) std::abort();
  }
  return 0;
}
