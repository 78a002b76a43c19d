// tool/output_format.cpp: table, CSV and JSON writers.
#include "output_format.h"

#include <cstdio>

#include "csv_file.h"
#include "display_width.h"

namespace korvo::tool {
namespace {

constexpr const char kNullText[] = "NULL";

bool IsNumeric(ValueKind kind) { return kind == ValueKind::kInteger || kind == ValueKind::kReal; }

// Control characters would break the table's lines; they are shown as
// the C escapes a reader recognises.
std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Trailing blanks of the last column are noise on a terminal.
std::string WithoutTrailingBlanks(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace

void WriteTable(std::ostream& out, const ResultSet& result) {
  const size_t n = result.columns.size();
  std::vector<std::vector<std::string>> shown;
  std::vector<size_t> widths(n);
  for (size_t c = 0; c < n; ++c) widths[c] = DisplayWidth(result.columns[c].name);
  shown.reserve(result.rows.size());
  for (const auto& row : result.rows) {
    std::vector<std::string>& line = shown.emplace_back();
    for (size_t c = 0; c < n; ++c) {
      line.push_back(row[c] ? Printable(*row[c]) : kNullText);
      widths[c] = std::max(widths[c], DisplayWidth(line.back()));
    }
  }
  // Numbers (and their headings) are right-aligned.
  auto line = [&](const std::vector<std::string>& texts) {
    std::string text;
    for (size_t c = 0; c < n; ++c) {
      const std::string pad(widths[c] - std::min(widths[c], DisplayWidth(texts[c])), ' ');
      text += c ? " | " : "";
      text += IsNumeric(result.columns[c].kind) ? pad + texts[c] : texts[c] + pad;
    }
    out << WithoutTrailingBlanks(text) << '\n';
  };
  std::vector<std::string> names;
  for (const Column& column : result.columns) names.push_back(column.name);
  line(names);
  for (size_t c = 0; c < n; ++c) out << (c ? "-+-" : "") << std::string(widths[c], '-');
  out << '\n';
  for (const auto& texts : shown) line(texts);
}

void WriteCsv(std::ostream& out, const ResultSet& result) {
  std::vector<Cell> header;
  for (const Column& column : result.columns) header.emplace_back(column.name);
  out << CsvRecord(header);
  for (const auto& row : result.rows) out << CsvRecord(row);
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void WriteJson(std::ostream& out, const ResultSet& result) {
  out << '[';
  for (size_t r = 0; r < result.rows.size(); ++r) {
    out << (r ? ",\n " : "\n ") << '{';
    for (size_t c = 0; c < result.columns.size(); ++c) {
      const Cell& value = result.rows[r][c];
      out << (c ? ", " : "") << JsonString(result.columns[c].name) << ": ";
      if (!value) {
        out << "null";
      } else if (result.columns[c].kind == ValueKind::kBoolean) {
        out << (*value == "0" ? "false" : "true");
      } else if (IsNumeric(result.columns[c].kind) &&
                 value->find_first_of("ni") == std::string::npos) {
        // inf and nan have no JSON number form; they stay strings.
        out << *value;
      } else {
        out << JsonString(*value);
      }
    }
    out << '}';
  }
  out << (result.rows.empty() ? "]\n" : "\n]\n");
}

void WriteResult(std::ostream& out, const ResultSet& result, OutputFormat format) {
  switch (format) {
    case OutputFormat::kCsv:
      WriteCsv(out, result);
      break;
    case OutputFormat::kJson:
      WriteJson(out, result);
      break;
    default:
      WriteTable(out, result);
      break;
  }
}

}  // namespace korvo::tool
