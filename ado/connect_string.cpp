// ado/connect_string.cpp: the connect-string parser and provider choice.
#include <korvo/ado/ascii_case_internal.h>
#include <korvo/ado/connect_string_internal.h>
#include <korvo/ado/excerpt_internal.h>

#include <cstddef>

namespace korvo::ado {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string At(size_t pos) { return " at offset " + std::to_string(pos); }

}  // namespace

bool ConnectString::Parse(std::string_view text, std::string* error) {
  pairs_.clear();
  index_.clear();
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    *error = "NUL character" + At(nul);
    return false;
  }
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    // Keyword: up to '='. A ';' first means a segment without a value.
    const size_t key_start = i;
    while (i < n && text[i] != '=' && text[i] != ';') ++i;
    std::string_view key = Trim(text.substr(key_start, i - key_start));
    if (i >= n || text[i] == ';') {
      if (!key.empty()) {
        *error = "Keyword \"" + Excerpt(key) + "\" has no '=' and no value" + At(key_start);
        return false;
      }
      ++i;  // empty segment
      continue;
    }
    if (key.empty()) {
      *error = "Empty keyword before '='" + At(i);
      return false;
    }
    ++i;  // '='
    while (i < n && IsBlank(text[i])) ++i;
    std::string value;
    if (i < n && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
      const char open = text[i];
      const char close = open == '{' ? '}' : open;
      const size_t open_pos = i++;
      bool closed = false;
      while (i < n) {
        if (text[i] == close) {
          if (i + 1 < n && text[i + 1] == close) {  // doubled: a literal character
            value += close;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed) {
        *error = std::string("Unbalanced ") + (open == '{' ? "brace" : "quote") +
                 " in the value of \"" + Excerpt(key) + "\"" + At(open_pos);
        return false;
      }
      while (i < n && IsBlank(text[i])) ++i;
      if (i < n && text[i] != ';') {
        *error = "Unexpected text after the quoted value of \"" + Excerpt(key) + "\"" + At(i);
        return false;
      }
    } else {
      const size_t value_start = i;
      while (i < n && text[i] != ';') ++i;
      value = std::string(Trim(text.substr(value_start, i - value_start)));
    }
    if (i < n) ++i;  // ';'
    Set(key, value);
  }
  return true;
}

std::string ConnectString::Folded(std::string_view keyword) { return LowerAscii(keyword); }

const std::string* ConnectString::Find(std::string_view keyword) const {
  const auto it = index_.find(Folded(keyword));
  return it == index_.end() ? nullptr : &pairs_[it->second].second;
}

void ConnectString::Set(std::string_view keyword, std::string_view value) {
  const auto [it, added] = index_.emplace(Folded(keyword), pairs_.size());
  if (!added) {
    pairs_[it->second].second = value;
    return;
  }
  pairs_.emplace_back(std::string(keyword), std::string(value));
}

void ConnectString::Remove(std::string_view keyword) {
  const auto it = index_.find(Folded(keyword));
  if (it == index_.end()) return;
  pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(it->second));
  index_.clear();
  for (size_t i = 0; i < pairs_.size(); ++i) index_.emplace(Folded(pairs_[i].first), i);
}

std::string ConnectString::ToString() const {
  std::string out;
  for (const auto& [k, v] : pairs_) {
    if (!out.empty()) out += ';';
    out += k;
    out += '=';
    const bool plain = v.find_first_of(";\"'{}") == std::string::npos && Trim(v).size() == v.size();
    if (plain) {
      out += v;
    } else {
      // Braces, as ODBC drivers expect them; the parser reads them too.
      out += '{';
      for (char c : v) {
        if (c == '}') out += '}';
        out += c;
      }
      out += '}';
    }
  }
  return out;
}

std::string_view StripOdbcPrefix(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  if (t.size() >= 5 && EqualNoCase(t.substr(0, 5), "ODBC;")) return t.substr(5);
  return text;
}

bool IsPostgresUri(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  for (std::string_view scheme :
       {std::string_view("postgresql://"), std::string_view("postgres://")}) {
    if (text.size() >= scheme.size() && EqualNoCase(text.substr(0, scheme.size()), scheme))
      return true;
  }
  return false;
}

ProviderChoice ChooseProvider(std::string_view text, const ConnectString& parsed) {
  ProviderChoice choice;
  const bool odbc_prefix = StripOdbcPrefix(text).size() != text.size();
  if (const std::string* provider = parsed.Find("Provider")) {
    choice.name = *provider;
    if (EqualNoCase(*provider, "SQLite") || EqualNoCase(*provider, "SQLite3") ||
        EqualNoCase(*provider, "Korvo.SQLite")) {
      choice.kind = ProviderKind::kSqlite;
    } else if (EqualNoCase(*provider, "PostgreSQL") || EqualNoCase(*provider, "Korvo.PostgreSQL")) {
      choice.kind = ProviderKind::kPostgres;
    } else if (EqualNoCase(*provider, "MSDASQL") || EqualNoCase(*provider, "MSDASQL.1")) {
      choice.kind = ProviderKind::kOdbc;
    }
  } else if (odbc_prefix || parsed.Has("DSN") || parsed.Has("FILEDSN") || parsed.Has("Driver")) {
    choice.kind = ProviderKind::kOdbc;
    choice.name = "MSDASQL";
  }
  if (choice.kind == ProviderKind::kOdbc) {
    ConnectString rest = parsed;
    rest.Remove("Provider");
    choice.odbc_string = rest.ToString();
  }
  return choice;
}

}  // namespace korvo::ado
