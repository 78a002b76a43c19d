// ado/sql_escape.cpp: ODBC escapes and row-limit forms rewritten for an
// engine that lacks them. Two passes: escapes first (they can nest), then
// TOP and ROWNUM on the escape-free text, tracking parenthesis levels so a
// LIMIT lands at the end of the query level its TOP belongs to.
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

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

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
    const std::string word = Lower(ReadWord());
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
        const std::string name = Lower(ReadWord());
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
    return Fail("Unknown escape sequence '{" + word + "'", start) >= 0;
  }

  bool return_marker_ = false;
};

class RowLimitTranslator : Lexer {
 public:
  RowLimitTranslator(std::string_view s, std::string* error, const SqlRewriteOptions& options)
      : Lexer(s, error), options_(options) {}

  bool Run(std::string& out) {
    std::vector<std::string> limits(1);  // per parenthesis level
    while (i_ < s_.size()) {
      const char c = s_[i_];
      const int opaque = CopyOpaque(out);
      if (opaque < 0) return false;
      if (opaque > 0) continue;
      if (c == '(') {
        limits.emplace_back();
        out += c;
        ++i_;
      } else if (c == ')') {
        if (limits.size() > 1) {
          Flush(out, limits.back());
          limits.pop_back();
        }
        out += c;
        ++i_;
      } else if (c == ';') {
        Flush(out, limits.back());
        out += c;
        ++i_;
      } else if (IsDigit(c)) {
        out.append(ReadWord());
      } else if (IsWordStart(c)) {
        const bool after_dot = !out.empty() && out.back() == '.';
        const std::string_view word = ReadWord();
        const std::string lower = Lower(word);
        if (options_.top_to_limit && lower == "select") {
          out.append(word);
          if (!Top(out, &limits.back())) return false;
        } else if (options_.rownum && lower == "rownum" && !after_dot) {
          out += "ROW_NUMBER() OVER ()";
        } else {
          out.append(word);
        }
      } else {
        out += c;
        ++i_;
      }
    }
    Flush(out, limits.front());
    return true;
  }

 private:
  static void Flush(std::string& out, std::string& limit) {
    if (limit.empty()) return;
    size_t end = out.size();
    while (end > 0 && IsBlank(out[end - 1])) --end;
    out.insert(end, " LIMIT " + limit);
    limit.clear();
  }

  // After a SELECT keyword: consumes "[DISTINCT|ALL] TOP n" or
  // "TOP (n)", keeping the quantifier, and records n for this level.
  bool Top(std::string& out, std::string* limit) {
    const size_t save = i_;
    SkipBlanks();
    std::string_view quantifier;
    {
      const size_t q = i_;
      const std::string_view w = ReadWord();
      const std::string lw = Lower(w);
      if (lw == "distinct" || lw == "all") {
        quantifier = w;
        SkipBlanks();
      } else {
        i_ = q;
      }
    }
    const size_t top_pos = i_;
    if (Lower(ReadWord()) != "top") {
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
    }
    *limit = std::move(n);
    return true;
  }

  const SqlRewriteOptions& options_;
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
