// db/sql_text.cpp: square-bracket rewriting of SQL text (db layer).
#include <korvo/db/keywords_internal.h>
#include <korvo/db/sql_text_internal.h>

namespace korvo::db {

void RewriteBrackets(char* sql, char identQuote) {
  const char separator = g_chLiteralSeparator;
  bool in_literal = false;
  char* read = sql;
  char* write = sql;
  while (*read != '\0') {
    char c = *read;
    if (c == separator) {
      if (read[1] == separator) {
        *write++ = *read++;
        *write++ = *read++;
      } else {
        *write++ = *read++;
        in_literal = !in_literal;
      }
    } else if (!in_literal && (c == '[' || c == ']')) {
      if (read[1] == c) {
        *write++ = c;
        read += 2;
      } else {
        *write++ = identQuote;
        ++read;
      }
    } else {
      *write++ = *read++;
    }
  }
  *write = '\0';
}

}  // namespace korvo::db
