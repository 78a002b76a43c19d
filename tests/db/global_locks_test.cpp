// Tests of the global lock table, the keyword texts filled at load and the
// square-bracket rewriting.
#include <korvo/db/global_locks.h>
#include <korvo/db/global_locks_internal.h>
#include <korvo/db/keywords_internal.h>
#include <korvo/db/sql_text_internal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

namespace {

using namespace std::chrono_literals;

// True when another thread can take and release lock n within a generous
// time; false when it stays blocked (the lock is held here).
bool OtherThreadCanTake(int n, std::chrono::milliseconds wait) {
  auto other = std::async(std::launch::async, [n] {
    DBLockGlobals(n);
    DBUnlockGlobals(n);
  });
  bool ready = other.wait_for(wait) == std::future_status::ready;
  if (!ready) return false;  // the future's destructor would block; caller releases first
  other.get();
  return true;
}

TEST(GlobalLocks, RecursivePerThreadAndExclusiveAcrossThreads) {
  DBLockGlobals(3);
  DBLockGlobals(3);  // the same thread again: must not block

  auto other = std::async(std::launch::async, [] {
    DBLockGlobals(3);
    DBUnlockGlobals(3);
  });
  EXPECT_EQ(other.wait_for(200ms), std::future_status::timeout) << "lock 3 is not exclusive";
  DBUnlockGlobals(3);
  EXPECT_EQ(other.wait_for(200ms), std::future_status::timeout)
      << "one release of a lock taken twice freed it";
  DBUnlockGlobals(3);
  EXPECT_EQ(other.wait_for(20s), std::future_status::ready);

  // Locks are independent: holding 3 does not block 4.
  DBLockGlobals(3);
  EXPECT_TRUE(OtherThreadCanTake(4, 20s));
  DBUnlockGlobals(3);
}

TEST(GlobalLocks, NumbersOutsideTheTableDoNothing) {
  for (int n : {-1, 17, 1000}) {
    DBLockGlobals(n);
    DBUnlockGlobals(n);
  }
  // Taking an invalid number must not have taken any real lock.
  DBLockGlobals(17);
  for (int n = 0; n <= 16; ++n) EXPECT_TRUE(OtherThreadCanTake(n, 20s)) << "lock " << n;
  DBUnlockGlobals(-1);  // and releasing one must not release a real one
  DBLockGlobals(16);
  DBUnlockGlobals(17);
  auto other = std::async(std::launch::async, [] {
    DBLockGlobals(16);
    DBUnlockGlobals(16);
  });
  EXPECT_EQ(other.wait_for(200ms), std::future_status::timeout);
  DBUnlockGlobals(16);
  other.get();
}

TEST(GlobalLocks, StatementLockFollowsTheFlagAndReleasesOnThrow) {
  ASSERT_EQ(g_bUseODBCCriticalSection, 0) << "the flag starts cleared";
  {
    korvo::db::StatementLock notHeld;
    EXPECT_TRUE(OtherThreadCanTake(korvo::db::kStatementLock, 20s));
  }
  g_bUseODBCCriticalSection = 1;
  std::future<void> other;
  try {
    korvo::db::StatementLock held;
    // Flipping the flag inside must not unbalance the release.
    g_bUseODBCCriticalSection = 0;
    other = std::async(std::launch::async, [] {
      DBLockGlobals(15);
      DBUnlockGlobals(15);
    });
    EXPECT_EQ(other.wait_for(200ms), std::future_status::timeout);
    throw 42;
  } catch (int) {
  }
  EXPECT_EQ(other.wait_for(20s), std::future_status::ready) << "lock 15 leaked on throw";
  EXPECT_TRUE(OtherThreadCanTake(korvo::db::kStatementLock, 20s)) << "lock 15 leaked on throw";
}

TEST(Keywords, FilledWhenTheLibraryIsLoaded) {
  using namespace korvo::db;
  EXPECT_STREQ(g_szDefaultConnect, "ODBC;");
  EXPECT_STREQ(g_szCallEscape, "{CALL ");
  EXPECT_STREQ(g_szCallReturnEscape, "{?");
  EXPECT_STREQ(g_szSelect, "SELECT ");
  EXPECT_STREQ(g_szFrom, " FROM ");
  EXPECT_STREQ(g_szWhere, " WHERE ");
  EXPECT_STREQ(g_szOrderBy, " ORDER BY ");
  EXPECT_EQ(g_chLiteralSeparator, '\'');
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
