// tool/import_command.cpp: CSV import through an updatable recordset, and
// export through a read-only one.
#include "import_command.h"

#include <strings.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "csv_file.h"
#include "progress.h"
#include "session.h"

namespace korvo::tool {
namespace {

bool IsDigits(const std::string& s, size_t pos, size_t count) {
  if (pos + count > s.size()) return false;
  for (size_t i = pos; i < pos + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

bool IsDate(const std::string& s) {
  // YYYY-MM-DD, then optionally " hh:mm:ss" (or "T"), then ".mmm".
  if (!(IsDigits(s, 0, 4) && s.size() >= 10 && s[4] == '-' && IsDigits(s, 5, 2) && s[7] == '-' &&
        IsDigits(s, 8, 2)))
    return false;
  if (s.size() == 10) return true;
  if (!(s.size() >= 19 && (s[10] == ' ' || s[10] == 'T') && IsDigits(s, 11, 2) && s[13] == ':' &&
        IsDigits(s, 14, 2) && s[16] == ':' && IsDigits(s, 17, 2)))
    return false;
  if (s.size() == 19) return true;
  return s[19] == '.' && s.size() > 20 && IsDigits(s, 20, s.size() - 20);
}

// A recordset over the chosen columns of one table, each bound to a
// member: binary columns to a byte array, all others to text that the
// object model converts to the column's type on Update.
class ImportRowset : public CRecordset {
 public:
  ImportRowset(CDatabase* db, std::vector<Column> columns)
      : CRecordset(db),
        columns_(std::move(columns)),
        text_(columns_.size()),
        bytes_(columns_.size()) {
    m_nFields = static_cast<unsigned int>(columns_.size());
  }

  void DoFieldExchange(CFieldExchange* pFX) override {
    pFX->SetFieldType(CFieldExchange::outputColumn);
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].kind == ValueKind::kBinary) {
        RFX_Binary(pFX, columns_[i].name.c_str(), bytes_[i]);
      } else {
        RFX_Text(pFX, columns_[i].name.c_str(), text_[i]);
      }
    }
  }

  // Fills the new row's members; REQUIRES: AddNew was called and the
  // values were checked. Every field is marked, so NULL is sent as NULL
  // and the empty text as the empty text (not as "no value").
  void Fill(const std::vector<Cell>& values) {
    for (size_t i = 0; i < columns_.size(); ++i) {
      const unsigned long index = static_cast<unsigned long>(i);
      SetDirtyFieldStatus(index);
      if (!values[i]) {
        SetNullFieldStatus(index);
        continue;
      }
      ClearNullFieldStatus(index);
      if (columns_[i].kind == ValueKind::kBinary) {
        const auto bytes = BytesOfHex(*values[i]);
        bytes_[i].SetSize(static_cast<int>(bytes->size()));
        if (!bytes->empty()) std::memcpy(bytes_[i].GetData(), bytes->data(), bytes->size());
      } else if (columns_[i].kind == ValueKind::kBoolean) {
        // The words CheckValue accepts, as the digits the object model converts.
        text_[i] = *values[i] == "1" || strcasecmp(values[i]->c_str(), "true") == 0 ? "1" : "0";
      } else {
        text_[i] = CTString(values[i]->data(), static_cast<int>(values[i]->size()));
      }
    }
  }

 private:
  std::vector<Column> columns_;
  std::vector<CTString> text_;
  std::vector<CTByteArray> bytes_;
};

// The first line of an exception's description, for a rejection message.
std::string Reason(const CDBException& e) {
  const std::string text = DescribeError(e);
  std::string first = text.substr(0, text.find('\n'));
  if (first.rfind("error: ", 0) == 0) first.erase(0, 7);
  const size_t details = text.find("return code");
  if (details != std::string::npos) {
    first += " (" + text.substr(details, text.find('\n', details) - details) + ")";
  }
  return first;
}

// The columns of `header` as the table knows them.
std::vector<Column> MatchHeader(CDatabase& db, const std::string& table,
                                const std::vector<Cell>& header, std::string& problem) {
  const ResultSet empty = ReadAll(db, "SELECT * FROM " + table + " WHERE 1=0");
  std::vector<Column> chosen;
  for (const Cell& name : header) {
    const Column* found = nullptr;
    for (const Column& column : empty.columns) {
      if (name && strcasecmp(name->c_str(), column.name.c_str()) == 0) found = &column;
    }
    for (const Column& taken : chosen) {
      if (found != nullptr && taken.name == found->name) {
        problem = "the header names column " + taken.name + " twice";
        return {};
      }
    }
    if (found == nullptr) {
      problem = "the header names " +
                (name ? "\"" + *name + "\"" : std::string("an empty column")) + ", which table " +
                table + " does not have";
      return {};
    }
    chosen.push_back(*found);
  }
  return chosen;
}

// Why a record cannot be inserted, before the engine sees it; empty if fine.
std::string CheckRecord(const CsvRow& row, const std::vector<Column>& columns) {
  if (!row.error.empty()) return row.error;
  if (row.fields.size() != columns.size()) {
    return std::to_string(row.fields.size()) + " fields where the header has " +
           std::to_string(columns.size());
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!row.fields[i]) continue;
    const std::string why = CheckValue(columns[i].kind, *row.fields[i]);
    if (!why.empty()) return "column " + columns[i].name + ": " + why;
  }
  return {};
}

}  // namespace

std::string CheckValue(ValueKind kind, const std::string& text) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  switch (kind) {
    case ValueKind::kInteger: {
      long long value = 0;
      const auto [stop, error] = std::from_chars(begin, end, value);
      if (error == std::errc() && stop == end && !text.empty()) return {};
      return "\"" + text + "\" is not an integer";
    }
    case ValueKind::kReal: {
      char* stop = nullptr;
      std::strtod(text.c_str(), &stop);
      if (!text.empty() && stop == text.c_str() + text.size() &&
          !std::isspace(static_cast<unsigned char>(text[0])))
        return {};
      return "\"" + text + "\" is not a number";
    }
    case ValueKind::kBoolean:
      if (text == "0" || text == "1" || strcasecmp(text.c_str(), "true") == 0 ||
          strcasecmp(text.c_str(), "false") == 0)
        return {};
      return "\"" + text + "\" is not a boolean (0, 1, true, false)";
    case ValueKind::kDate:
      if (IsDate(text)) return {};
      return "\"" + text + "\" is not a date (YYYY-MM-DD hh:mm:ss)";
    case ValueKind::kBinary:
      if (BytesOfHex(text)) return {};
      return "\"" + text + "\" is not hex bytes (0x...)";
    default:
      return {};
  }
}

int ImportCsv(CDatabase& db, const std::string& table, const std::string& csvPath, bool terminal,
              std::ostream& out, std::ostream& err) {
  std::ifstream file(csvPath, std::ios::binary);
  if (!file) {
    err << "error: cannot read " << csvPath << "\n";
    return 1;
  }
  std::error_code size_error;
  const auto size = std::filesystem::file_size(csvPath, size_error);
  CsvReader reader(file);
  CsvRow header;
  if (!reader.Next(header) || !header.error.empty()) {
    err << "error: " << csvPath << " has no header line naming the columns\n";
    return 1;
  }
  std::string problem;
  const std::vector<Column> columns = MatchHeader(db, table, header.fields, problem);
  if (columns.empty()) {
    err << "error: " << problem << "\n";
    return 1;
  }

  ImportRowset rs(&db, columns);
  // No rows are needed, only a recordset that can append to the table.
  rs.m_strFilter = "1=0";
  rs.Open(CRecordset::keysetCursor, table.c_str());
  if (!db.BeginTrans()) {
    err << "error: the connection cannot begin a transaction\n";
    return 1;
  }
  Progress progress(err, terminal, size_error ? 0 : static_cast<size_t>(size));
  size_t imported = 0, rejected = 0;
  for (CsvRow row; reader.Next(row);) {
    std::string why = CheckRecord(row, columns);
    if (why.empty()) {
      try {
        rs.AddNew();
        rs.Fill(row.fields);
        rs.Update();
        ++imported;
      } catch (CDBException* raw) {
        ExceptionPtr e(raw);
        why = Reason(*e);
        rs.CancelUpdate();
      }
    }
    if (!why.empty()) {
      ++rejected;
      progress.Message("line " + std::to_string(row.line) + ": rejected: " + why);
    }
    progress.Update(imported, reader.BytesRead());
  }
  progress.Finish();
  rs.Close();
  db.CommitTrans();
  out << "imported " << imported << " row" << (imported == 1 ? "" : "s") << " into " << table;
  if (rejected != 0) out << ", rejected " << rejected << " line" << (rejected == 1 ? "" : "s");
  out << "\n";
  return rejected == 0 ? 0 : 2;
}

int ExportCsv(CDatabase& db, const std::string& table, const std::string& csvPath,
              std::ostream& out, std::ostream& err) {
  // Opened first, so that a missing table leaves no empty file behind.
  ResultRowset rs(&db);
  rs.Open(CRecordset::forwardOnly, ("SELECT * FROM " + table).c_str(), CRecordset::readOnly);
  std::ofstream file;
  const bool to_stdout = csvPath == "-";
  if (!to_stdout) {
    file.open(csvPath, std::ios::binary | std::ios::trunc);
    if (!file) {
      err << "error: cannot write " << csvPath << "\n";
      return 1;
    }
  }
  std::ostream& csv = to_stdout ? out : file;
  const std::vector<Column> columns = rs.Describe();
  std::vector<Cell> header;
  for (const Column& column : columns) header.emplace_back(column.name);
  csv << CsvRecord(header);
  size_t rows = 0;
  for (; !rs.IsEOF(); rs.MoveNext(), ++rows) csv << CsvRecord(rs.ReadRow(columns));
  rs.Close();
  if (!csv.flush()) {
    err << "error: cannot write " << csvPath << "\n";
    return 1;
  }
  (to_stdout ? err : out) << "exported " << rows << " row" << (rows == 1 ? "" : "s") << " of "
                          << table << (to_stdout ? "" : " to " + csvPath) << "\n";
  return 0;
}

}  // namespace korvo::tool
