// Tests of the global lock table, the keyword texts filled at load and the
// square-bracket rewriting.
#include <gtest/gtest.h>
#include <korvo/db/global_locks.h>
#include <korvo/db/global_locks_internal.h>
#include <korvo/db/keywords_internal.h>
#include <korvo/db/sql_text_internal.h>

#include <string>

#include "support/lock_wait.h"

namespace {

using korvo::test::BodyWaitsForLock;
using korvo::test::OtherThreadCanTake;

TEST(GlobalLocks, RecursivePerThreadAndExclusiveAcrossThreads) {
  DBLockGlobals(3);
  DBLockGlobals(3);  // the same thread again: must not block
  EXPECT_FALSE(OtherThreadCanTake(3)) << "lock 3 is not exclusive";
  DBUnlockGlobals(3);
  EXPECT_FALSE(OtherThreadCanTake(3)) << "one release of a lock taken twice freed it";
  DBUnlockGlobals(3);
  EXPECT_TRUE(OtherThreadCanTake(3));

  // A thread asking for a held lock waits for it, and gets it once it is
  // released.
  bool got = false;
  EXPECT_TRUE(BodyWaitsForLock(3, [&] {
    DBLockGlobals(3);
    got = true;
    DBUnlockGlobals(3);
  }));
  EXPECT_TRUE(got);

  // Locks are independent: holding 3 does not block 4.
  DBLockGlobals(3);
  EXPECT_TRUE(OtherThreadCanTake(4));
  DBUnlockGlobals(3);
}

TEST(GlobalLocks, NumbersOutsideTheTableDoNothing) {
  for (int n : {-1, 17, 1000}) {
    DBLockGlobals(n);
    DBUnlockGlobals(n);
    EXPECT_FALSE(korvo::db::TryLockGlobal(n));
  }
  // Taking an invalid number must not have taken any real lock.
  DBLockGlobals(17);
  for (int n = 0; n <= 16; ++n) EXPECT_TRUE(OtherThreadCanTake(n)) << "lock " << n;
  DBUnlockGlobals(-1);  // and releasing one must not release a real one
  DBLockGlobals(16);
  DBUnlockGlobals(17);
  EXPECT_FALSE(OtherThreadCanTake(16));
  DBUnlockGlobals(16);
}

TEST(GlobalLocks, StatementLockFollowsTheFlagAndReleasesOnThrow) {
  ASSERT_EQ(g_bUseODBCCriticalSection, 0) << "the flag starts cleared";
  {
    korvo::db::StatementLock notHeld;
    EXPECT_TRUE(OtherThreadCanTake(korvo::db::kStatementLock));
  }
  g_bUseODBCCriticalSection = 1;
  try {
    korvo::db::StatementLock held;
    // Flipping the flag inside must not unbalance the release.
    g_bUseODBCCriticalSection = 0;
    EXPECT_FALSE(OtherThreadCanTake(korvo::db::kStatementLock));
    throw 42;
  } catch (int) {
  }
  EXPECT_TRUE(OtherThreadCanTake(korvo::db::kStatementLock)) << "lock 15 leaked on throw";
}

// Read by dynamic initialisers of this executable, before main: the texts
// must already be there when host code first runs.
const std::string g_selectAtStartup = korvo::db::g_szSelect;
const std::string g_defaultConnectAtStartup = korvo::db::g_szDefaultConnect;
const char g_separatorAtStartup = korvo::db::g_chLiteralSeparator;

TEST(Keywords, FilledBeforeTheHostsInitialisersRun) {
  EXPECT_FALSE(g_selectAtStartup.empty());
  EXPECT_EQ(g_selectAtStartup, korvo::db::g_szSelect);
  EXPECT_FALSE(g_defaultConnectAtStartup.empty());
  EXPECT_EQ(g_defaultConnectAtStartup, korvo::db::g_szDefaultConnect);
  EXPECT_NE(g_separatorAtStartup, '\0');
  EXPECT_EQ(g_separatorAtStartup, korvo::db::g_chLiteralSeparator);
}

std::string Rewrite(std::string sql) {
  korvo::db::RewriteBrackets(sql.data(), ' ');
  return std::string(sql.c_str());
}

TEST(ReplaceBrackets, RewritesBracketsOutsideLiteralsOnly) {
  // A name written in brackets ends up between two spaces.
  EXPECT_EQ(Rewrite("SELECT [Order Id] FROM [T]"), "SELECT  Order Id  FROM  T ");
  // Doubled brackets collapse to one each and the text ends at its new end.
  EXPECT_EQ(Rewrite("SELECT [[x]] FROM t"), "SELECT [x] FROM t");
  EXPECT_EQ(Rewrite("[[a]]"), "[a]");
  // Inside a literal brackets stay; a doubled apostrophe neither ends nor
  // starts a literal.
  EXPECT_EQ(Rewrite("WHERE a = '[x]' AND [b] = 'it''s [y]'"),
            "WHERE a = '[x]' AND  b  = 'it''s [y]'");
  EXPECT_EQ(Rewrite("'' [c]"), "''  c ");
  // An unterminated literal protects everything after it.
  EXPECT_EQ(Rewrite("x = 'open [z]"), "x = 'open [z]");
  EXPECT_EQ(Rewrite(""), "");
  EXPECT_EQ(Rewrite("]]]"), "] ");
}

}  // namespace
