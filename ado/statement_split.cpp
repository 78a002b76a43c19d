// ado/statement_split.cpp: cutting a command text into statements (ado
// layer).
#include <korvo/ado/statement_split_internal.h>

#include <cctype>

namespace korvo::ado {
namespace {
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

std::vector<StatementPart> SplitStatements(std::string_view s) {
  std::vector<StatementPart> parts;
  size_t start = 0;
  std::vector<size_t> markers;
  bool content = false;
  auto flush = [&](size_t end) {
    if (content) parts.push_back(StatementPart{std::string(s.substr(start, end - start)), markers});
    start = end + 1;
    markers.clear();
    content = false;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\'' || c == '"' || c == '`') {
      content = true;
      for (++i; i < s.size(); ++i) {
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            ++i;
          } else {
            break;
          }
        } else if (s[i] == '\\' && c == '\'' && i + 1 < s.size()) {
          ++i;  // MariaDB's backslash escape; harmless elsewhere
        }
      }
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      const size_t nl = s.find('\n', i);
      i = nl == std::string_view::npos ? s.size() : nl;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 1;
    } else if (c == '$') {
      content = true;
      size_t j = i + 1;
      while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) ++j;
      if (j < s.size() && s[j] == '$') {
        const std::string_view tag = s.substr(i, j - i + 1);
        const size_t end = s.find(tag, j + 1);
        i = end == std::string_view::npos ? s.size() : end + tag.size() - 1;
      }
    } else if (c == ';') {
      flush(i);
    } else {
      if (c == '?') markers.push_back(i - start);
      if (!IsSpace(c)) content = true;
    }
  }
  flush(s.size());
  return parts;
}

}  // namespace korvo::ado
