// Tests of waiting for another connection's write lock: transactions take
// it when they begin, and a wait lasts as long as the connection's
// time-outs allow (not a fixed time).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>

#include <chrono>
#include <thread>

#include "ado/ado_test_support.h"
#include "support/faulty_vfs.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

class LockWaitTest : public AdoTest {};

TEST_F(LockWaitTest, WaitsForAnotherWritersLockAsLongAsTheCommandTimeoutAllows) {
  // The shim's count of lock calls shows when the writer below starts to wait.
  korvo::test::InstallFaultyVfs();
  _ConnectionPtr holder = Open(FileConnect());
  Exec(holder, "CREATE TABLE t (v INT)");
  EXPECT_EQ(holder->BeginTrans(), 1);  // takes the write lock at once
  _ConnectionPtr waiter = Open(FileConnect());
  waiter->PutCommandTimeout(1);
  // The holder keeps its lock throughout: each of these waits its second, then fails.
  const Raised insert = Catch([&] { Exec(waiter, "INSERT INTO t VALUES (1)"); });
  EXPECT_LT(insert.hr, 0);
  EXPECT_THAT(insert.description, HasSubstr("locked"));
  const Raised begin = Catch([&] { waiter->BeginTrans(); });
  EXPECT_LT(begin.hr, 0);
  EXPECT_THAT(begin.description, HasSubstr("locked"));
  // Readers are not held up by a writer's transaction.
  EXPECT_EQ(waiter->Execute("SELECT count(*) FROM t", nullptr, adCmdText)
                ->GetFields()
                ->GetItem(0L)
                ->GetValue()
                .llVal,
            0);

  // With a longer time-out the writer waits past a fixed 5 s busy time
  // and succeeds once the holder commits. The 6 s are counted
  // from the writer's first lock call, seen through the VFS, so a writer
  // that starts late on a loaded machine still waits them in full.
  waiter->PutCommandTimeout(60);
  korvo::test::ArmVfsFault(korvo::test::VfsOp::kLock, 0);  // restarts the count only
  Raised waited;
  std::thread writer([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    waited = Catch([&] { Exec(waiter, "INSERT INTO t VALUES (2)"); });
    CoUninitialize();
  });
  while (korvo::test::VfsCallCount(korvo::test::VfsOp::kLock) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::seconds(6));
  Exec(holder, "INSERT INTO t VALUES (1)");
  holder->CommitTrans();
  writer.join();
  EXPECT_EQ(waited.hr, S_OK) << waited.description;
  EXPECT_EQ(holder->Execute("SELECT sum(v) FROM t", nullptr, adCmdText)
                ->GetFields()
                ->GetItem(0L)
                ->GetValue()
                .llVal,
            3);
}

}  // namespace
}  // namespace korvo::ado::test
