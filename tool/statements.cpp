// tool/statements.cpp: statement splitting and running.
#include "statements.h"

#include <strings.h>

#include <cctype>
#include <chrono>
#include <cstdio>

#include "session.h"
#include "statement_rows.h"

namespace korvo::tool {
namespace {

bool IsBlank(const std::string& s) {
  for (unsigned char c : s) {
    if (!std::isspace(c)) return false;
  }
  return true;
}

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// "3 rows in 0.002 s", "1 row affected in 0.001 s".
std::string StatusLine(long count, const char* what, double seconds) {
  char text[96];
  std::snprintf(text, sizeof text, "%ld row%s%s in %.3f s\n", count, count == 1 ? "" : "s", what,
                seconds);
  return text;
}

}  // namespace

std::vector<std::string> SplitStatements(const std::string& text, std::string* remainder) {
  std::vector<std::string> statements;
  std::string current;
  char quote = 0;  // the closing character while inside a quoted part
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      current += c;
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
      current += c;
    } else if (c == '[') {
      quote = ']';
      current += c;
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      const size_t end = text.find('\n', i);
      i = end == std::string::npos ? text.size() : end;
      current += '\n';
    } else if (c == ';') {
      if (!IsBlank(current)) statements.push_back(Trimmed(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (remainder != nullptr) {
    *remainder = IsBlank(current) ? std::string() : current;
  } else if (!IsBlank(current)) {
    statements.push_back(Trimmed(current));
  }
  return statements;
}

bool OpensAsRecordset(const std::string& sql) {
  return strncasecmp(sql.c_str(), "SELECT", 6) == 0 || sql.rfind('{', 0) == 0;
}

bool RunStatement(CDatabase& db, const std::string& sql, OutputFormat format, std::ostream& out,
                  std::ostream& status, std::ostream& err) {
  std::ostream& status_out = format == OutputFormat::kTable ? out : status;
  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  const int failed = ReportingFailures(err, [&] {
    auto print_rows = [&](const ResultSet& result, double elapsed) {
      WriteResult(out, result, format);
      out.flush();  // rows before the status line when both reach one screen
      status_out << StatusLine(static_cast<long>(result.rows.size()), "", elapsed);
    };
    if (OpensAsRecordset(sql)) {
      const ResultSet result = ReadAll(db, sql);
      print_rows(result, seconds());
    } else {
      const StatementResult result = ExecuteKeepingRows(db, sql);
      if (result.rows) {
        print_rows(*result.rows, seconds());
      } else {
        // Statements that change no rows (CREATE, BEGIN) report -1.
        status_out << StatusLine(result.affected < 0 ? 0 : result.affected, " affected", seconds());
      }
    }
    return 0;
  });
  out.flush();
  return failed == 0;
}

}  // namespace korvo::tool
