// ado/providers/sqlite/sqlite_functions.cpp: SQL functions registered on
// every SQLite connection: korvo_info() (an informational message, the
// engine's stand-in for a server notice) and the ODBC scalar functions
// that SQLite lacks, under their ODBC names, so that {fn ...} escapes run.
#include <korvo/ado/providers/sqlite/sqlite_connection.h>
#include <korvo/platform/time64.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <string>

namespace korvo::ado::provider::sqlite {
namespace {

std::string Text(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_value_bytes(v)))
           : std::string();
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// korvo_info(text): queues `text` as an informational message, reported
// when the statement completes; returns the text.
void KorvoInfo(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  auto* db = static_cast<SqliteDb*>(sqlite3_user_data(ctx));
  ErrorRecord message;
  message.description = argc > 0 ? Text(argv[0]) : std::string();
  message.sqlstate = "01000";
  message.source = "Korvo SQLite Provider";
  db->diagnostics().messages.push_back(message);
  ResultText(ctx, message.description);
}

// Case mapping of ASCII letters; SQLite's own upper()/lower() do the same.
void CaseMap(sqlite3_context* ctx, sqlite3_value** argv, bool upper) {
  std::string s = Text(argv[0]);
  for (char& c : s) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  ResultText(ctx, s);
}
void Ucase(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  CaseMap(c, v, true);
}
void Lcase(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  CaseMap(c, v, false);
}

void Concat(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  ResultText(c, Text(v[0]) + Text(v[1]));
}

// Code-point positions of UTF-8 text.
size_t Utf8Offset(const std::string& s, long long chars) {
  size_t i = 0;
  while (i < s.size() && chars > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --chars;
  }
  return i;
}
long long Utf8Length(const std::string& s) {
  long long n = 0;
  for (unsigned char ch : s) n += (ch & 0xC0) != 0x80;
  return n;
}

void Left(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  const std::string s = Text(v[0]);
  ResultText(c, s.substr(0, Utf8Offset(s, sqlite3_value_int64(v[1]))));
}

void Right(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  const std::string s = Text(v[0]);
  const long long n = sqlite3_value_int64(v[1]);
  const long long len = Utf8Length(s);
  ResultText(c, s.substr(Utf8Offset(s, n >= len ? 0 : len - (n < 0 ? 0 : n))));
}

// LOCATE(needle, haystack[, start]): 1-based character position or 0.
void Locate(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  const std::string needle = Text(v[0]);
  const std::string hay = Text(v[1]);
  long long start = argc > 2 ? sqlite3_value_int64(v[2]) : 1;
  if (start < 1) start = 1;
  const size_t from = Utf8Offset(hay, start - 1);
  const size_t at = hay.find(needle, from);
  sqlite3_result_int64(c, at == std::string::npos ? 0 : Utf8Length(hay.substr(0, at)) + 1);
}

void Mod(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  const long long b = sqlite3_value_int64(v[1]);
  if (b == 0) return sqlite3_result_null(c);
  sqlite3_result_int64(c, sqlite3_value_int64(v[0]) % b);
}

// The local time through platform/, whose clock tests can fix.
void LocalNow(std::tm* out) {
  const __time64_t now = _time64(nullptr);
  if (_localtime64_s(out, &now) != 0) *out = std::tm{};
}

void Now(sqlite3_context* c, int, sqlite3_value**) {
  std::tm t{};
  LocalNow(&t);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
  ResultText(c, buf);
}
void CurDate(sqlite3_context* c, int, sqlite3_value**) {
  std::tm t{};
  LocalNow(&t);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &t);
  ResultText(c, buf);
}
void CurTime(sqlite3_context* c, int, sqlite3_value**) {
  std::tm t{};
  LocalNow(&t);
  char buf[16];
  std::strftime(buf, sizeof buf, "%H:%M:%S", &t);
  ResultText(c, buf);
}

// YEAR, MONTH, DAYOFMONTH, HOUR, MINUTE, SECOND of ISO text: the number
// at a fixed position of "YYYY-MM-DD HH:MM:SS" (a time alone for the
// time parts).
template <int kDatePos, int kTimePos, int kLen>
void DatePart(sqlite3_context* c, int argc, sqlite3_value** v) {
  if (AnyNull(argc, v)) return sqlite3_result_null(c);
  const std::string s = Text(v[0]);
  const bool time_only = s.size() >= 3 && s[2] == ':';
  const int pos = time_only ? kTimePos : kDatePos;
  if (pos < 0 || s.size() < static_cast<size_t>(pos + kLen)) return sqlite3_result_null(c);
  int n = 0;
  for (int i = pos; i < pos + kLen; ++i) {
    if (s[static_cast<size_t>(i)] < '0' || s[static_cast<size_t>(i)] > '9')
      return sqlite3_result_null(c);
    n = n * 10 + (s[static_cast<size_t>(i)] - '0');
  }
  sqlite3_result_int(c, n);
}

void Database(sqlite3_context* c, int, sqlite3_value**) { ResultText(c, "main"); }
void User(sqlite3_context* c, int, sqlite3_value**) { ResultText(c, ""); }

struct FunctionDef {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

const FunctionDef kFunctions[] = {
    {"UCASE", 1, Ucase, true},
    {"LCASE", 1, Lcase, true},
    {"CONCAT", 2, Concat, true},
    {"KORVO_LEFT", 2, Left, true},
    {"KORVO_RIGHT", 2, Right, true},
    {"LOCATE", 2, Locate, true},
    {"LOCATE", 3, Locate, true},
    {"MOD", 2, Mod, true},
    {"NOW", 0, Now, false},
    {"GETDATE", 0, Now, false},
    {"CURDATE", 0, CurDate, false},
    {"CURTIME", 0, CurTime, false},
    {"YEAR", 1, DatePart<0, -1, 4>, true},
    {"MONTH", 1, DatePart<5, -1, 2>, true},
    {"DAYOFMONTH", 1, DatePart<8, -1, 2>, true},
    {"HOUR", 1, DatePart<11, 0, 2>, true},
    {"MINUTE", 1, DatePart<14, 3, 2>, true},
    {"SECOND", 1, DatePart<17, 6, 2>, true},
    {"DATABASE", 0, Database, true},
    {"USER", 0, User, true},
};

}  // namespace

int RegisterFunctions(sqlite3* db, SqliteDb* owner) {
  int rc = sqlite3_create_function_v2(db, "korvo_info", 1, SQLITE_UTF8, owner, KorvoInfo, nullptr,
                                      nullptr, nullptr);
  for (const FunctionDef& f : kFunctions) {
    if (rc != SQLITE_OK) break;
    rc = sqlite3_create_function_v2(db, f.name, f.args,
                                    SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0),
                                    nullptr, f.fn, nullptr, nullptr, nullptr);
  }
  return rc;
}

}  // namespace korvo::ado::provider::sqlite
