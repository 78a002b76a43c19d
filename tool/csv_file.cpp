// tool/csv_file.cpp: CSV writing and the line-counting reader over libcsv.
#include "csv_file.h"

namespace korvo::tool {
namespace {

constexpr unsigned char kParserOptions = CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL;

// libcsv trims blanks around unquoted fields by default; a value's own
// leading or trailing blanks are data here.
int NoSpace(unsigned char) { return 0; }

bool NeedsQuotes(const std::string& text) {
  return text.empty() || text.find_first_of(",\"\r\n") != std::string::npos;
}

}  // namespace

std::string CsvRecord(const std::vector<Cell>& fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += ',';
    if (!fields[i]) continue;
    const std::string& text = *fields[i];
    if (!NeedsQuotes(text)) {
      out += text;
      continue;
    }
    out += '"';
    for (char c : text) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out + '\n';
}

CsvReader::CsvReader(std::istream& in) : in_(in) { ResetParser(); }

CsvReader::~CsvReader() { csv_free(&parser_); }

void CsvReader::ResetParser() {
  csv_free(&parser_);
  csv_init(&parser_, kParserOptions);
  csv_set_space_func(&parser_, NoSpace);
  current_ = CsvRow{};
  between_records_ = true;
}

void CsvReader::OnField(void* data, size_t size, void* self) {
  auto* reader = static_cast<CsvReader*>(self);
  if (data == nullptr) {
    reader->current_.fields.emplace_back(std::nullopt);
  } else {
    reader->current_.fields.emplace_back(std::string(static_cast<const char*>(data), size));
  }
}

void CsvReader::OnRecordEnd(int, void* self) {
  auto* reader = static_cast<CsvReader*>(self);
  reader->ready_.push_back(std::move(reader->current_));
  reader->current_ = CsvRow{};
  reader->between_records_ = true;
}

void CsvReader::Finish() {
  finished_ = true;
  const size_t start = current_.line;
  if (csv_fini(&parser_, OnField, OnRecordEnd, this) != 0) {
    ready_.push_back(CsvRow{start, {}, "unterminated quoted field"});
  }
}

bool CsvReader::Next(CsvRow& row) {
  std::string line;
  while (ready_.empty() && !finished_) {
    if (!std::getline(in_, line)) {
      Finish();
      break;
    }
    ++line_;
    bytes_read_ += line.size() + 1;
    line += '\n';
    if (between_records_) current_.line = line_;
    const size_t start = current_.line;
    const size_t ended_before = ready_.size();
    if (csv_parse(&parser_, line.data(), line.size(), OnField, OnRecordEnd, this) != line.size()) {
      ready_.push_back(CsvRow{
          start, {}, std::string("malformed quoting (") + csv_strerror(csv_error(&parser_)) + ")"});
      ResetParser();
    } else if (ready_.size() == ended_before && line.find_first_not_of("\r\n") != line.npos) {
      // A quoted field goes on in the next line: the record started here.
      between_records_ = false;
    }
  }
  if (ready_.empty()) return false;
  row = std::move(ready_.front());
  ready_.pop_front();
  return true;
}

}  // namespace korvo::tool
