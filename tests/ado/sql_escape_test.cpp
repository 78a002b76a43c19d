// Tests of the ODBC escape and row-limit translation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/sql_escape_internal.h>

namespace korvo::ado {
namespace {

using ::testing::HasSubstr;

std::string Rewrite(const std::string& in, bool limits = true, bool* marker = nullptr) {
  SqlRewriteOptions options;
  options.top_to_limit = limits;
  options.rownum = limits;
  SqlRewriteResult out;
  std::string error;
  EXPECT_TRUE(RewriteSql(in, options, &out, &error)) << in << ": " << error;
  if (marker) *marker = out.return_value_marker;
  return out.sql;
}

std::string Error(const std::string& in) {
  SqlRewriteOptions options;
  options.top_to_limit = true;
  SqlRewriteResult out;
  std::string error;
  EXPECT_FALSE(RewriteSql(in, options, &out, &error)) << in << " -> " << out.sql;
  return error;
}

TEST(SqlEscape, TranslatesDateTimeAndFunctionEscapesInAnyCase) {
  EXPECT_EQ(Rewrite("SELECT * FROM t WHERE d = {d '2020-01-02'}"),
            "SELECT * FROM t WHERE d = '2020-01-02'");
  EXPECT_EQ(Rewrite("x={T '10:11:12'} AND y={Ts '2020-01-02 10:11:12.5'}"),
            "x='10:11:12' AND y='2020-01-02 10:11:12.5'");
  EXPECT_EQ(Rewrite("SELECT {fn UCASE({fn CONCAT(a, 'b}')})} FROM t"),
            "SELECT UCASE(CONCAT(a, 'b}')) FROM t");
  EXPECT_EQ(Rewrite("SELECT {fn left(a, 1)}, {FN Right (a, 2)} FROM t"),
            "SELECT KORVO_LEFT(a, 1), KORVO_RIGHT (a, 2) FROM t");
  EXPECT_EQ(Rewrite("SELECT * FROM {oj a LEFT OUTER JOIN b ON a.x=b.x}"),
            "SELECT * FROM a LEFT OUTER JOIN b ON a.x=b.x");
  EXPECT_EQ(Rewrite("a LIKE 'x\\%' {escape '\\'}"), "a LIKE 'x\\%' ESCAPE '\\'");
  // Braces inside literals, quoted names and comments are text.
  EXPECT_EQ(Rewrite("SELECT '{d ''x''}', \"{fn}\", [a{b] -- {d\n/* {t */"),
            "SELECT '{d ''x''}', \"{fn}\", [a{b] -- {d\n/* {t */");
}

TEST(SqlEscape, TurnsCallsIntoFunctionSelects) {
  bool marker = true;
  EXPECT_EQ(Rewrite("{CALL proc(?, 2)}", true, &marker), "SELECT proc(?, 2)");
  EXPECT_FALSE(marker);
  EXPECT_EQ(Rewrite("{call proc}"), "SELECT proc()");
  EXPECT_EQ(Rewrite("{ ?= call f(?)}", true, &marker), "SELECT f(?)");
  EXPECT_TRUE(marker);
}

TEST(SqlEscape, MovesTopToLimitAtItsOwnLevel) {
  EXPECT_EQ(Rewrite("SELECT  TOP 10 CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME"),
            "SELECT CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME LIMIT 10");
  EXPECT_EQ(Rewrite("select distinct top (3) a from t"), "select distinct a from t LIMIT 3");
  EXPECT_EQ(Rewrite("SELECT a FROM (SELECT TOP 2 a FROM t ORDER BY a) s WHERE a > 0;  "),
            "SELECT a FROM (SELECT a FROM t ORDER BY a LIMIT 2) s WHERE a > 0;  ");
  EXPECT_EQ(Rewrite("SELECT TOP 1 a FROM t; SELECT b FROM u"),
            "SELECT a FROM t LIMIT 1; SELECT b FROM u");
  // Not a TOP: a column named top_x, a quoted word, TOP without limits on.
  EXPECT_EQ(Rewrite("SELECT top_x FROM t"), "SELECT top_x FROM t");
  EXPECT_EQ(Rewrite("SELECT TOP 5 a FROM t", false), "SELECT TOP 5 a FROM t");
}

TEST(SqlEscape, ReplacesTheRownumPseudoColumn) {
  EXPECT_EQ(Rewrite("SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROWNUM ORAROWNUM  FROM CUSTOMER "
                    "WHERE ACTIVE=1) WHERE ORAROWNUM <= 10"),
            "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER () ORAROWNUM  FROM "
            "CUSTOMER WHERE ACTIVE=1) WHERE ORAROWNUM <= 10");
  EXPECT_EQ(Rewrite("SELECT t.rownum, 'ROWNUM', \"rownum\" FROM t"),
            "SELECT t.rownum, 'ROWNUM', \"rownum\" FROM t");
}

TEST(SqlEscape, TranslatesAStandaloneRownumConditionAsARowLimit) {
  EXPECT_EQ(Rewrite("SELECT x FROM t WHERE ROWNUM <= 2"), "SELECT x FROM t LIMIT 2");
  EXPECT_EQ(Rewrite("select x from t where rownum < 3;"), "select x from t LIMIT 2;");
  EXPECT_EQ(Rewrite("SELECT x FROM t WHERE ROWNUM = 1"), "SELECT x FROM t LIMIT 1");
  EXPECT_EQ(Rewrite("SELECT x FROM t WHERE ROWNUM = 2"), "SELECT x FROM t LIMIT 0");
  EXPECT_EQ(Rewrite("SELECT x FROM t WHERE a = 1 AND ROWNUM <= 5"),
            "SELECT x FROM t WHERE a = 1 LIMIT 5");
  EXPECT_EQ(Rewrite("SELECT x FROM t WHERE ROWNUM <= 5 AND a = 1"),
            "SELECT x FROM t WHERE a = 1 LIMIT 5");
  EXPECT_EQ(Rewrite("SELECT x FROM t WHERE a BETWEEN 1 AND 3 AND ROWNUM<=4 AND (b = 2 OR c = 3)"),
            "SELECT x FROM t WHERE a BETWEEN 1 AND 3 AND (b = 2 OR c = 3) LIMIT 4");
  // An ordered inner query limited outside, and the inner levels untouched.
  EXPECT_EQ(Rewrite("SELECT * FROM (SELECT x FROM t ORDER BY x) WHERE ROWNUM <= 3"),
            "SELECT * FROM (SELECT x FROM t ORDER BY x) LIMIT 3");
  EXPECT_EQ(Rewrite("SELECT ROWNUM, x FROM t WHERE ROWNUM <= 3; SELECT y FROM u WHERE ROWNUM < 2"),
            "SELECT ROW_NUMBER() OVER (), x FROM t LIMIT 3; SELECT y FROM u LIMIT 1");
  // What the recordset layer builds keeps working.
  EXPECT_EQ(
      Rewrite("SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROWNUM ORAROWNUM  FROM C WHERE A=1) "
              "WHERE ORAROWNUM <= 10"),
      "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER () ORAROWNUM  FROM C WHERE A=1) "
      "WHERE ORAROWNUM <= 10");
  EXPECT_EQ(Rewrite("SELECT  TOP 10 CODE FROM C WHERE ROWNUM_X = 1"),
            "SELECT CODE FROM C WHERE ROWNUM_X = 1 LIMIT 10");
}

TEST(SqlEscape, RefusesRownumConditionsItDoesNotTranslate) {
  auto refused = [](const std::string& in) {
    SqlRewriteOptions options;
    options.top_to_limit = true;
    options.rownum = true;
    SqlRewriteResult out;
    std::string error;
    EXPECT_FALSE(RewriteSql(in, options, &out, &error)) << in << " -> " << out.sql;
    EXPECT_THAT(error, HasSubstr("ROWNUM")) << in << ": " << error;
    return error;
  };
  // Not alone in a top-level AND of the outermost WHERE.
  EXPECT_THAT(refused("SELECT x FROM t WHERE a = 1 OR ROWNUM <= 2"), HasSubstr("stands alone"));
  refused("SELECT x FROM t WHERE ROWNUM <= 2 OR a = 1");
  refused("SELECT x FROM t WHERE (ROWNUM <= 2)");
  refused("SELECT x FROM t WHERE NOT ROWNUM <= 2");
  refused("SELECT x FROM t WHERE a BETWEEN ROWNUM AND 2");
  refused("SELECT x FROM t WHERE ROWNUM > 2");
  refused("SELECT x FROM t WHERE ROWNUM <= ?");
  refused("SELECT x FROM t WHERE ROWNUM <= 2 + 1");
  refused("SELECT x FROM t WHERE 2 >= ROWNUM");
  EXPECT_THAT(refused("SELECT x FROM t WHERE id IN (SELECT id FROM u WHERE ROWNUM <= 3)"),
              HasSubstr("subquery"));
  refused("SELECT a, count(*) FROM t GROUP BY a HAVING ROWNUM < 3");
  refused("SELECT * FROM t JOIN u ON ROWNUM = 1");
  // Alone, but with what a row limit at the end cannot express.
  EXPECT_THAT(refused("SELECT x FROM t WHERE ROWNUM <= 2 ORDER BY x"), HasSubstr("ORDER BY"));
  refused("SELECT a FROM t WHERE ROWNUM <= 2 GROUP BY a");
  refused("SELECT count(*) FROM t WHERE ROWNUM <= 2");
  refused("SELECT DISTINCT a FROM t WHERE ROWNUM <= 2");
  refused("SELECT a FROM t WHERE ROWNUM <= 2 UNION SELECT b FROM u");
  refused("SELECT TOP 3 a FROM t WHERE ROWNUM <= 2");
}

TEST(SqlEscape, ReportsMalformedText) {
  EXPECT_THAT(Error("SELECT {d '2020-01-01'"), HasSubstr("'}'"));
  EXPECT_THAT(Error("SELECT {fn UCASE(a)"), HasSubstr("Unterminated escape"));
  EXPECT_THAT(Error("SELECT {zz 1}"), HasSubstr("Unknown escape"));
  EXPECT_THAT(Error("SELECT 'open"), HasSubstr("Unterminated string"));
  EXPECT_THAT(Error("SELECT /* open"), HasSubstr("Unterminated comment"));
  EXPECT_THAT(Error("SELECT TOP x a FROM t"), HasSubstr("row count"));
  EXPECT_THAT(Error("{?= proc}"), HasSubstr("CALL"));
  EXPECT_FALSE(Error("{d x}").empty());
  EXPECT_FALSE(Error("{call }").empty());
}

}  // namespace
}  // namespace korvo::ado
