// ado/ascii_case_internal.h: ASCII case folding for the names ado compares
// without regard to case (connect-string keywords, provider names, field
// and parameter names, SQL keywords). Bytes above 0x7F (UTF-8 sequences)
// are compared and copied as they are.
// Thread-safety: pure functions.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace korvo::ado {

inline char LowerAscii(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// True when a and b differ at most in the case of ASCII letters.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// The text with its ASCII letters in lower case.
inline std::string LowerAscii(std::string_view s) {
  std::string lower(s);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

}  // namespace korvo::ado
