// Fuzz target: the connect-string parser and provider choice. A text that
// parses renders back to text that parses to the same pairs.
#include <korvo/ado/connect_string_internal.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  korvo::ado::ConnectString parsed;
  std::string error;
  const std::string_view body = korvo::ado::StripOdbcPrefix(text);
  if (!parsed.Parse(body, &error)) {
    if (error.empty()) std::abort();  // every rejection says why
    return 0;
  }
  korvo::ado::ChooseProvider(text, parsed);
  korvo::ado::ConnectString again;
  if (!again.Parse(parsed.ToString(), &error)) std::abort();
  if (again.pairs() != parsed.pairs()) std::abort();
  return 0;
}
