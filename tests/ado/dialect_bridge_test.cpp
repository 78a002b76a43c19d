// The library's own row-limit and scalar statements on servers without
// their form: rewritten exactly, and a host's SQL left alone.
#include <gtest/gtest.h>
#include <korvo/ado/dialect_bridge_internal.h>

namespace korvo::ado {
namespace {

constexpr const char* kTop = "SELECT  TOP 10 CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME";
constexpr const char* kRownum =
    "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROWNUM ORAROWNUM  FROM CUSTOMER WHERE ACTIVE=1) "
    "WHERE "
    "ORAROWNUM <= 10";
constexpr const char* kRowNumber =
    "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME) ORAROWNUM  FROM "
    "CUSTOMER "
    "ORDER BY NAME) WHERE ORAROWNUM <= 10";

TEST(DialectBridge, RewritesTheFirstFamilysTopAsLimit) {
  EXPECT_EQ(BridgeLibrarySql(kTop, "MariaDB"),
            "SELECT  CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME LIMIT 10");
  EXPECT_EQ(BridgeLibrarySql("SELECT 2 AS RES", "MariaDB"), "SELECT 2 AS RES");
  // A host's own TOP (one blank) and the other family's forms pass through.
  EXPECT_EQ(BridgeLibrarySql("SELECT TOP 3 a FROM t", "MariaDB"), "SELECT TOP 3 a FROM t");
  EXPECT_EQ(BridgeLibrarySql(kTop, "PostgreSQL"), BridgeLibrarySql(kTop, "MariaDB"));
  EXPECT_EQ(BridgeLibrarySql("SELECT  TOP x FROM t", "MariaDB"), "SELECT  TOP x FROM t");
}

TEST(DialectBridge, RewritesTheSecondFamilysWrappersWithAnAlias) {
  EXPECT_EQ(BridgeLibrarySql(kRownum, "PostgreSQL"),
            "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER () ORAROWNUM  FROM "
            "CUSTOMER WHERE "
            "ACTIVE=1) KORVO_ROWS WHERE ORAROWNUM <= 10");
  EXPECT_EQ(
      BridgeLibrarySql(kRowNumber, "PostgreSQL"),
      "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME) ORAROWNUM  FROM "
      "CUSTOMER ORDER BY NAME) KORVO_ROWS WHERE ORAROWNUM <= 10");
  EXPECT_EQ(BridgeLibrarySql("SELECT now() AS RES FROM DUAL", "PostgreSQL"), "SELECT now() AS RES");
  // Not the library's forms: untouched.
  EXPECT_EQ(BridgeLibrarySql("SELECT x FROM (SELECT 1 AS x) q WHERE x <= 1", "PostgreSQL"),
            "SELECT x FROM (SELECT 1 AS x) q WHERE x <= 1");
  EXPECT_EQ(BridgeLibrarySql("SELECT dummy FROM DUAL", "PostgreSQL"), "SELECT dummy FROM DUAL");
  EXPECT_EQ(BridgeLibrarySql(kRownum, "MariaDB"), BridgeLibrarySql(kRownum, "PostgreSQL"));
  EXPECT_EQ(BridgeLibrarySql(kTop, "SQLite"), kTop);
  EXPECT_EQ(BridgeLibrarySql(kRownum, "SQLite"), kRownum);
}

}  // namespace
}  // namespace korvo::ado
