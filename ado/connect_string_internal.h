// ado/connect_string_internal.h: parsing of connect strings, the
// `keyword=value;...` text a Connection is opened with, and the choice of
// provider it names.
//
// Keywords are matched without regard to case and trimmed of blanks;
// values are trimmed too, unless quoted: "..." (a doubled "" stands for
// one quote), '...' (likewise '') or {...} (ODBC style, }} stands for }).
// Empty segments (";;") are skipped. A keyword given twice keeps its last
// value. Malformed text (an unbalanced quote or brace, text after a closing
// quote, a segment without '=', an empty keyword) is rejected with a
// description; nothing in the text can crash the parser.
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvo::ado {

class ConnectString {
 public:
  // Parsing, Find and Set take time in proportion to the text and the
  // keyword, not to the number of keywords already seen.
  // Parses UTF-8 text. On failure returns false and sets *error to a
  // description of what is wrong and where.
  bool Parse(std::string_view text, std::string* error);

  // The value of a keyword (case-insensitive), or null when absent. The
  // pointer stays valid until the next Parse or Set.
  const std::string* Find(std::string_view keyword) const;
  bool Has(std::string_view keyword) const { return Find(keyword) != nullptr; }
  void Set(std::string_view keyword, std::string_view value);
  void Remove(std::string_view keyword);

  // Pairs in order of first appearance, keywords as written.
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

  // Renders the pairs back to text, quoting values that need it, so that
  // Parse(ToString()) gives the same pairs.
  std::string ToString() const;

 private:
  static std::string Folded(std::string_view keyword);

  std::vector<std::pair<std::string, std::string>> pairs_;
  std::unordered_map<std::string, size_t> index_;  // folded keyword -> position in pairs_
};

// Which engine a connect string asks for.
enum class ProviderKind { kSqlite, kOdbc, kPostgres, kUnknown };

struct ProviderChoice {
  ProviderKind kind = ProviderKind::kUnknown;
  std::string name;         // the provider as named (for messages)
  std::string odbc_string;  // kOdbc: the text handed to the driver manager
};

// SQLite for "Provider=SQLite" (also "SQLite3", "Korvo.SQLite"); the
// native PostgreSQL provider for "Provider=PostgreSQL" (also
// "Korvo.PostgreSQL"); ODBC for
// "Provider=MSDASQL", for text beginning with "ODBC;" (prefix stripped),
// or for text with DSN=, FILEDSN= or Driver= and no provider. Without any
// of these the text names no provider: kUnknown with an empty name.
// `text` is the raw connect string; `parsed` its parse (of the text after
// any "ODBC;" prefix).
ProviderChoice ChooseProvider(std::string_view text, const ConnectString& parsed);

// True for a libpq connection URI ("postgresql://..." or "postgres://",
// blanks allowed before it), which names the native PostgreSQL provider
// on its own and is not in keyword=value form.
bool IsPostgresUri(std::string_view text);

// Removes a leading "ODBC;" (any letter case, blanks allowed before it).
std::string_view StripOdbcPrefix(std::string_view text);

}  // namespace korvo::ado
