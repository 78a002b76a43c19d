// ado/sql_escape.cpp: ODBC escapes and row-limit forms rewritten for an
// engine that lacks them. Two passes: escapes first (they can nest), then
// TOP and ROWNUM on the escape-free text, tracking parenthesis levels so a
// LIMIT lands at the end of the query level its TOP belongs to.
#include <korvo/ado/ascii_case_internal.h>
#include <korvo/ado/excerpt_internal.h>
#include <korvo/ado/sql_escape_internal.h>

#include <cctype>
#include <vector>

namespace korvo::ado {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool IsWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Shared lexical helpers: literals, quoted identifiers and comments are
// copied as a unit so that nothing inside them is ever rewritten.
class Lexer {
 public:
  Lexer(std::string_view s, std::string* error) : s_(s), error_(error) {}

 protected:
  // At a quote, bracket or comment start: copies it whole into `out` and
  // returns 1; returns 0 when s_[i_] starts none of them; -1 on an
  // unterminated one (error set).
  int CopyOpaque(std::string& out) {
    const char c = s_[i_];
    if (c == '\'' || c == '"' || c == '`') return CopyQuoted(out, c, c);
    if (c == '[') return CopyQuoted(out, '[', ']');
    if (c == '-' && i_ + 1 < s_.size() && s_[i_ + 1] == '-') {
      const size_t end = s_.find('\n', i_);
      const size_t stop = end == std::string_view::npos ? s_.size() : end;
      out.append(s_.substr(i_, stop - i_));
      i_ = stop;
      return 1;
    }
    if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '*') {
      const size_t end = s_.find("*/", i_ + 2);
      if (end == std::string_view::npos) return Fail("Unterminated comment", i_);
      out.append(s_.substr(i_, end + 2 - i_));
      i_ = end + 2;
      return 1;
    }
    return 0;
  }

  int CopyQuoted(std::string& out, char open, char close) {
    const size_t start = i_++;
    while (i_ < s_.size()) {
      if (s_[i_] == close) {
        if (open == close && i_ + 1 < s_.size() && s_[i_ + 1] == close) {
          i_ += 2;  // doubled quote inside the literal
          continue;
        }
        ++i_;
        out.append(s_.substr(start, i_ - start));
        return 1;
      }
      ++i_;
    }
    return Fail(open == '\'' ? "Unterminated string literal" : "Unterminated quoted identifier",
                start);
  }

  int Fail(const std::string& what, size_t pos) {
    *error_ = what + " at offset " + std::to_string(pos);
    return -1;
  }

  void SkipBlanks() {
    while (i_ < s_.size() && IsBlank(s_[i_])) ++i_;
  }

  std::string_view ReadWord() {
    const size_t start = i_;
    while (i_ < s_.size() && IsWordChar(s_[i_])) ++i_;
    return s_.substr(start, i_ - start);
  }

  std::string_view s_;
  size_t i_ = 0;
  std::string* error_;
};

class EscapeTranslator : Lexer {
 public:
  using Lexer::Lexer;

  bool Run(std::string& out, bool* return_marker) {
    const bool ok = Copy(out, false);
    *return_marker = return_marker_;
    return ok;
  }

 private:
  // Copies text until the end or, inside an escape, until its closing
  // brace (consumed, not copied).
  bool Copy(std::string& out, bool in_escape) {
    const size_t start = i_;
    while (i_ < s_.size()) {
      const char c = s_[i_];
      const int opaque = CopyOpaque(out);
      if (opaque < 0) return false;
      if (opaque > 0) continue;
      if (c == '{') {
        if (!Escape(out)) return false;
        continue;
      }
      if (c == '}' && in_escape) {
        ++i_;
        return true;
      }
      out += c;
      ++i_;
    }
    if (in_escape) return Fail("Unterminated escape sequence", start > 0 ? start - 1 : 0) >= 0;
    return true;
  }

  bool Escape(std::string& out) {
    const size_t start = i_++;
    SkipBlanks();
    bool returns = false;
    if (i_ < s_.size() && s_[i_] == '?') {
      ++i_;
      SkipBlanks();
      if (i_ >= s_.size() || s_[i_] != '=') return Fail("Expected '=' after '{?'", i_) >= 0;
      ++i_;
      SkipBlanks();
      returns = true;
    }
    const std::string word = LowerAscii(ReadWord());
    if (returns && word != "call") return Fail("Expected CALL after '{?='", i_) >= 0;
    if (word == "d" || word == "t" || word == "ts") {
      SkipBlanks();
      if (i_ >= s_.size() || s_[i_] != '\'')
        return Fail("Expected a quoted literal in the {" + word + " ...} escape", i_) >= 0;
      if (CopyQuoted(out, '\'', '\'') < 0) return false;
      SkipBlanks();
      if (i_ >= s_.size() || s_[i_] != '}')
        return Fail("Expected '}' to close the {" + word + " ...} escape", i_) >= 0;
      ++i_;
      return true;
    }
    if (word == "fn" || word == "oj") {
      SkipBlanks();
      if (word == "fn") {
        // LEFT and RIGHT are join keywords to an engine's parser, so their
        // function forms go by other names.
        const size_t name_start = i_;
        const std::string name = LowerAscii(ReadWord());
        if (name == "left" || name == "right") {
          out += name == "left" ? "KORVO_LEFT" : "KORVO_RIGHT";
        } else {
          i_ = name_start;
        }
      }
      return Copy(out, true);
    }
    if (word == "escape") {
      out += "ESCAPE ";
      SkipBlanks();
      return Copy(out, true);
    }
    if (word == "call") {
      if (returns) return_marker_ = true;
      std::string body;
      SkipBlanks();
      if (!Copy(body, true)) return false;
      while (!body.empty() && IsBlank(body.back())) body.pop_back();
      if (body.empty()) return Fail("Empty {call} escape", start) >= 0;
      if (body.find('(') == std::string::npos) body += "()";
      out += "SELECT ";
      out += body;
      return true;
    }
    return Fail("Unknown escape sequence '{" + Excerpt(word) + "'", start) >= 0;
  }

  bool return_marker_ = false;
};

// Where the parser stands in one query level (a statement, or the text
// inside one pair of parentheses).
enum class Clause { kNone, kSelect, kFrom, kWhere, kGroup, kHaving, kOrder, kLimit, kOn, kOther };

struct Level {
  std::string limit;  // rows of TOP n or of a translated ROWNUM condition
  Clause clause = Clause::kNone;
  bool query = false;                // a SELECT begins at this level
  bool inherited_condition = false;  // parentheses inside a WHERE, HAVING or ON
  bool between = false;              // a BETWEEN waits for its AND
  bool conjunct_and = false;         // the last AND joined conditions (not BETWEEN's)
  // What a ROWNUM row limit of the outermost level cannot be combined with.
  bool rownum_limit = false;
  const char* conflict = nullptr;

  bool InCondition() const {
    if (!query) return inherited_condition;
    return clause == Clause::kWhere || clause == Clause::kHaving || clause == Clause::kOn;
  }
};

class RowLimitTranslator : Lexer {
 public:
  RowLimitTranslator(std::string_view s, std::string* error, const SqlRewriteOptions& options)
      : Lexer(s, error), options_(options) {}

  bool Run(std::string& out) {
    levels_.assign(1, Level{});
    while (i_ < s_.size()) {
      const char c = s_[i_];
      const int opaque = CopyOpaque(out);
      if (opaque < 0) return false;
      if (opaque > 0) continue;
      if (c == '(') {
        Level inner;
        inner.inherited_condition = levels_.back().InCondition();
        levels_.push_back(std::move(inner));
        out += c;
        ++i_;
      } else if (c == ')') {
        if (levels_.size() > 1) {
          Flush(out, levels_.back().limit);
          levels_.pop_back();
        }
        out += c;
        ++i_;
      } else if (c == ';') {
        if (!EndStatement(out)) return false;
        out += c;
        ++i_;
      } else if (IsDigit(c)) {
        out.append(ReadWord());
      } else if (IsWordStart(c)) {
        const bool after_dot = !out.empty() && out.back() == '.';
        const std::string_view word = ReadWord();
        const std::string lower = LowerAscii(word);
        if (!after_dot && options_.rownum && lower == "rownum") {
          if (!Rownum(out)) return false;
          continue;
        }
        out.append(word);
        if (!after_dot && !Keyword(lower, out)) return false;
      } else {
        out += c;
        ++i_;
      }
    }
    return EndStatement(out);
  }

 private:
  static void Flush(std::string& out, std::string& limit) {
    if (limit.empty()) return;
    size_t end = out.size();
    while (end > 0 && IsBlank(out[end - 1])) --end;
    out.insert(end, " LIMIT " + limit);
    limit.clear();
  }

  // The end of a statement: its row limit goes at the end, unless a
  // ROWNUM condition was combined with what a LIMIT cannot express.
  bool EndStatement(std::string& out) {
    Level& top = levels_.front();
    if (top.rownum_limit && top.conflict != nullptr) {
      *error_ =
          std::string("ROWNUM in the WHERE clause is not translated together with ") +
          top.conflict +
          ": ROWNUM numbers the rows before they are grouped, sorted or combined, a row limit "
          "after. Limit an inner query instead, e.g. SELECT * FROM (SELECT ... ORDER BY ...) "
          "WHERE ROWNUM <= n";
      return false;
    }
    levels_.resize(1);
    Flush(out, top.limit);
    top = Level{};
    return true;
  }

  // Tracks the clause a keyword begins at the current level.
  bool Keyword(const std::string& lower, std::string& out) {
    Level& level = levels_.back();
    const bool outermost = levels_.size() == 1;
    if (lower == "select") {
      level.query = true;
      level.clause = Clause::kSelect;
      if (options_.top_to_limit && !Top(out, &level)) return false;
    } else if (lower == "from") {
      level.clause = Clause::kFrom;
    } else if (lower == "where") {
      level.clause = Clause::kWhere;
    } else if (lower == "group") {
      level.clause = Clause::kGroup;
      if (outermost) level.conflict = "GROUP BY";
    } else if (lower == "having") {
      level.clause = Clause::kHaving;
      if (outermost) level.conflict = "HAVING";
    } else if (lower == "order") {
      level.clause = Clause::kOrder;
      if (outermost) level.conflict = "ORDER BY";
    } else if (lower == "limit") {
      level.clause = Clause::kLimit;
      if (outermost) level.conflict = "LIMIT";
    } else if (lower == "on") {
      if (level.clause == Clause::kFrom) level.clause = Clause::kOn;
    } else if (lower == "join") {
      if (level.clause == Clause::kOn) level.clause = Clause::kFrom;
    } else if (lower == "union" || lower == "intersect" || lower == "except") {
      level.clause = Clause::kOther;
      if (outermost) level.conflict = "UNION, INTERSECT or EXCEPT";
    } else if (lower == "distinct") {
      if (outermost && level.clause == Clause::kSelect) level.conflict = "DISTINCT";
    } else if (lower == "between") {
      level.between = true;
    } else if (lower == "and") {
      level.conjunct_and = !level.between;
      level.between = false;
    } else if (lower == "or") {
      if (outermost && level.clause == Clause::kWhere) level.conflict = "OR";
    } else if (outermost && level.clause == Clause::kSelect &&
               (lower == "count" || lower == "sum" || lower == "avg" || lower == "min" ||
                lower == "max" || lower == "total" || lower == "group_concat")) {
      size_t k = i_;
      while (k < s_.size() && IsBlank(s_[k])) ++k;
      if (k < s_.size() && s_[k] == '(') level.conflict = "an aggregate function";
    }
    return true;
  }

  // The pseudo-column ROWNUM (just read). In a select list or an ORDER BY
  // it numbers the rows; as a condition it is a row limit, translated
  // where it stands alone in a top-level AND of the outermost WHERE.
  bool Rownum(std::string& out) {
    Level& level = levels_.back();
    if (!level.InCondition()) {
      out += "ROW_NUMBER() OVER ()";
      return true;
    }
    const size_t at = i_ - 6;
    const std::string_view kForms =
        "ROWNUM is translated as a row limit only where it stands alone in a top-level AND of the "
        "outermost WHERE, as ROWNUM <= n, ROWNUM < n or ROWNUM = 1 (e.g. SELECT a FROM t WHERE b = "
        "1 "
        "AND ROWNUM <= 10)";
    if (levels_.size() != 1 || level.clause != Clause::kWhere) {
      return Fail(std::string(kForms) +
                      "; it is not translated inside a subquery or a HAVING or ON "
                      "condition, nor inside parentheses: ROWNUM",
                  at) >= 0;
    }
    // The keyword before it: WHERE, or an AND joining conditions.
    size_t end = out.size();
    while (end > 0 && IsBlank(out[end - 1])) --end;
    size_t start = end;
    while (start > 0 && IsWordChar(out[start - 1])) --start;
    const std::string before = LowerAscii(std::string_view(out).substr(start, end - start));
    const bool after_where = before == "where";
    if (!after_where && !(before == "and" && level.conjunct_and)) {
      return Fail(std::string(kForms) + "; this ROWNUM", at) >= 0;
    }
    // The comparison: ROWNUM <= n, ROWNUM < n, ROWNUM = n.
    SkipBlanks();
    std::string op;
    while (i_ < s_.size() && (s_[i_] == '<' || s_[i_] == '=' || s_[i_] == '>' || s_[i_] == '!'))
      op += s_[i_++];
    SkipBlanks();
    const size_t digits = i_;
    while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
    const bool number = i_ > digits && i_ - digits <= 18 &&
                        !(i_ < s_.size() && (IsWordChar(s_[i_]) || s_[i_] == '.'));
    if (!number || (op != "<=" && op != "<" && op != "=")) {
      return Fail(std::string(kForms) + "; this comparison of ROWNUM", at) >= 0;
    }
    const long long n = std::stoll(std::string(s_.substr(digits, i_ - digits)));
    const long long rows = op == "<=" ? n : op == "<" ? (n > 0 ? n - 1 : 0) : (n == 1 ? 1 : 0);
    // What follows: AND (the condition is dropped with it) or the WHERE's end.
    const size_t after = i_;
    SkipBlanks();
    const size_t next = i_;
    const std::string next_word = LowerAscii(ReadWord());
    if (next_word == "and") {
      SkipBlanks();
    } else {
      i_ = next;
      const bool where_ends =
          next_word.empty()
              ? (i_ >= s_.size() || s_[i_] == ';')
              : (next_word == "group" || next_word == "order" || next_word == "having" ||
                 next_word == "limit" || next_word == "union" || next_word == "intersect" ||
                 next_word == "except" || next_word == "window");
      if (!where_ends) return Fail(std::string(kForms) + "; this ROWNUM condition", at) >= 0;
      i_ = after;
      out.erase(start);  // the WHERE or AND before it goes with it
      while (!out.empty() && IsBlank(out.back())) out.pop_back();
    }
    if (!level.limit.empty()) {
      return Fail("A query has both TOP and a ROWNUM condition; give one row limit: ROWNUM", at) >=
             0;
    }
    level.limit = std::to_string(rows);
    level.rownum_limit = true;
    return true;
  }

  // After a SELECT keyword: consumes "[DISTINCT|ALL] TOP n" or
  // "TOP (n)", keeping the quantifier, and records n for this level.
  bool Top(std::string& out, Level* level) {
    const size_t save = i_;
    SkipBlanks();
    std::string_view quantifier;
    {
      const size_t q = i_;
      const std::string_view w = ReadWord();
      const std::string lw = LowerAscii(w);
      if (lw == "distinct" || lw == "all") {
        quantifier = w;
        SkipBlanks();
      } else {
        i_ = q;
      }
    }
    const size_t top_pos = i_;
    if (LowerAscii(ReadWord()) != "top") {
      i_ = save;
      return true;
    }
    SkipBlanks();
    bool paren = false;
    if (i_ < s_.size() && s_[i_] == '(') {
      paren = true;
      ++i_;
      SkipBlanks();
    }
    const size_t digits = i_;
    while (i_ < s_.size() && IsDigit(s_[i_])) ++i_;
    if (i_ == digits || (i_ < s_.size() && IsWordChar(s_[i_])))
      return Fail("Expected a row count after TOP", top_pos) >= 0;
    std::string n(s_.substr(digits, i_ - digits));
    if (paren) {
      SkipBlanks();
      if (i_ >= s_.size() || s_[i_] != ')') return Fail("Expected ')' after TOP (n", i_) >= 0;
      ++i_;
    }
    if (!quantifier.empty()) {
      out += ' ';
      out.append(quantifier);
      if (levels_.size() == 1 && LowerAscii(quantifier) == "distinct") level->conflict = "DISTINCT";
    }
    level->limit = std::move(n);
    return true;
  }

  const SqlRewriteOptions& options_;
  std::vector<Level> levels_;
};

}  // namespace

bool RewriteSql(std::string_view in, const SqlRewriteOptions& options, SqlRewriteResult* out,
                std::string* error) {
  out->sql.clear();
  out->return_value_marker = false;
  std::string escaped;
  std::string_view text = in;
  if (options.odbc_escapes) {
    escaped.reserve(in.size());
    if (!EscapeTranslator(in, error).Run(escaped, &out->return_value_marker)) return false;
    text = escaped;
  }
  if (!options.top_to_limit && !options.rownum) {
    out->sql.assign(text);
    return true;
  }
  out->sql.reserve(text.size() + 16);
  return RowLimitTranslator(text, error, options).Run(out->sql);
}

}  // namespace korvo::ado
