// db/global_locks.cpp: the process-wide lock table (db layer).
#include <korvo/db/global_locks.h>
#include <korvo/db/global_locks_internal.h>
#include <korvo/platform/thread_annotations.h>

#include <atomic>

BOOL g_bUseODBCCriticalSection = 0;
BOOL g_bUseSQLCriticalSection = 0;

namespace {

constexpr int kLockCount = 17;

// Created on first use under the guard of a function-local static and
// deliberately never destroyed: a host thread may still hold a lock while
// the process runs its exit handlers.
korvo::platform::RecursiveMutex* LockTable() {
  static auto* table = new korvo::platform::RecursiveMutex[kLockCount];
  return table;
}

bool ValidLock(int n) { return n >= 0 && n < kLockCount; }

std::atomic<korvo::db::LockWaitObserver> g_waitObserver{nullptr};

}  // namespace

// Not checked by the thread-safety analysis: the lock is chosen by a number
// known only at run time and is held past the return, on the host's behalf,
// which no capability expression can name. No library data is guarded by
// these locks; they serialise statement execution as a whole.
void DBLockGlobals(int lockNumber) KORVO_NO_THREAD_SAFETY_ANALYSIS {
  if (!ValidLock(lockNumber)) return;
  korvo::platform::RecursiveMutex& lock = LockTable()[lockNumber];
  if (korvo::db::LockWaitObserver observer = g_waitObserver.load(std::memory_order_acquire)) {
    if (lock.TryLock()) return;
    observer(lockNumber);
  }
  lock.Lock();
}

void DBUnlockGlobals(int lockNumber) KORVO_NO_THREAD_SAFETY_ANALYSIS {
  if (ValidLock(lockNumber)) LockTable()[lockNumber].Unlock();
}

namespace korvo::db {

bool TryLockGlobal(int lockNumber) KORVO_NO_THREAD_SAFETY_ANALYSIS {
  return ValidLock(lockNumber) && LockTable()[lockNumber].TryLock();
}

void TEST_SetLockWaitObserver(LockWaitObserver observer) {
  g_waitObserver.store(observer, std::memory_order_release);
}

}  // namespace korvo::db
