// Tests of the connect-string parser and the provider choice.
#include <gtest/gtest.h>
#include <korvo/ado/connect_string_internal.h>

namespace korvo::ado {
namespace {

TEST(ConnectString, ParsesKeywordsValuesAndQuotes) {
  ConnectString cs;
  std::string error;
  ASSERT_TRUE(
      cs.Parse(" Provider = SQLite ; data source=/tmp/a b.db;;"
               "Pwd=\"x;\"\"y\";User='it''s';Driver={PostgreSQL Unicode};Opt={a}}b}",
               &error))
      << error;
  ASSERT_NE(cs.Find("PROVIDER"), nullptr);
  EXPECT_EQ(*cs.Find("provider"), "SQLite");
  EXPECT_EQ(*cs.Find("Data Source"), "/tmp/a b.db");
  EXPECT_EQ(*cs.Find("pwd"), "x;\"y");
  EXPECT_EQ(*cs.Find("user"), "it's");
  EXPECT_EQ(*cs.Find("driver"), "PostgreSQL Unicode");
  EXPECT_EQ(*cs.Find("opt"), "a}b");
  EXPECT_EQ(cs.Find("missing"), nullptr);

  // The last of a repeated keyword wins; rendering parses back the same.
  ASSERT_TRUE(cs.Parse("A=1;a=2;B= spaced value ;C={;}", &error));
  EXPECT_EQ(*cs.Find("A"), "2");
  EXPECT_EQ(cs.pairs().size(), 3u);
  ConnectString again;
  ASSERT_TRUE(again.Parse(cs.ToString(), &error)) << cs.ToString();
  EXPECT_EQ(again.pairs(), cs.pairs());

  EXPECT_TRUE(cs.Parse("", &error));
  EXPECT_TRUE(cs.pairs().empty());
}

TEST(ConnectString, RejectsMalformedTextWithADescription) {
  const char* bad[] = {
      "Data Source=\"unterminated", "Pwd='open",        "Driver={no close", "=value", "  =x;A=1",
      "Keyword without value",      "A=\"x\" trailing", "A={x}y;",
  };
  for (const char* text : bad) {
    ConnectString cs;
    std::string error;
    EXPECT_FALSE(cs.Parse(text, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  // A NUL is refused, not taken for the end of the text.
  ConnectString cs;
  std::string error;
  EXPECT_FALSE(cs.Parse(std::string_view("A=1;\0B=2", 8), &error));
  EXPECT_EQ(error, "NUL character at offset 4");
}

TEST(ConnectString, ChoosesTheProvider) {
  auto choose = [](const std::string& text) {
    ConnectString cs;
    std::string error;
    EXPECT_TRUE(cs.Parse(StripOdbcPrefix(text), &error)) << text << ": " << error;
    return ChooseProvider(text, cs);
  };
  EXPECT_EQ(choose("Provider=SQLite;Data Source=:memory:").kind, ProviderKind::kSqlite);
  EXPECT_EQ(choose("provider=sqlite3").kind, ProviderKind::kSqlite);
  EXPECT_EQ(choose("Provider=MSDASQL;DSN=x").kind, ProviderKind::kOdbc);
  EXPECT_EQ(choose("Provider=MSDASQL;DSN=x").odbc_string, "DSN=x");
  const ProviderChoice odbc = choose("ODBC;DSN=pg;UID=me");
  EXPECT_EQ(odbc.kind, ProviderKind::kOdbc);
  EXPECT_EQ(odbc.odbc_string, "DSN=pg;UID=me");
  EXPECT_EQ(choose("Driver={PostgreSQL Unicode};Server=h").kind, ProviderKind::kOdbc);
  EXPECT_EQ(choose("FILEDSN=/x.dsn").kind, ProviderKind::kOdbc);
  const ProviderChoice unknown = choose("Provider=Nope.1;Data Source=x");
  EXPECT_EQ(unknown.kind, ProviderKind::kUnknown);
  EXPECT_EQ(unknown.name, "Nope.1");
  EXPECT_EQ(choose("Data Source=x").kind, ProviderKind::kUnknown);
  EXPECT_EQ(choose("ODBC;").kind, ProviderKind::kOdbc);
}

}  // namespace
}  // namespace korvo::ado
