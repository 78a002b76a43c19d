// db/global_locks_internal.h: RAII holders of the global locks, for the
// library's own statement paths (not installed).
#pragma once

#include <korvo/db/global_locks.h>

namespace korvo::db {

// The lock number the library serialises statements on.
inline constexpr int kStatementLock = 15;

// Takes lock `lockNumber` (0..16) when no other thread holds it; true when
// taken (then release it with DBUnlockGlobals). False for other numbers.
bool TryLockGlobal(int lockNumber);

// Tests: called on the waiting thread, with the lock number, each time
// DBLockGlobals finds the lock held by another thread and is about to wait
// for it. Lets a test know that a thread waits, instead of guessing from
// how long it took. Null (the default) switches it off.
using LockWaitObserver = void (*)(int lockNumber);
void TEST_SetLockWaitObserver(LockWaitObserver observer);

// Holds one global lock for its scope.
class GlobalLock {
 public:
  explicit GlobalLock(int lockNumber) : lock_(lockNumber) { DBLockGlobals(lock_); }
  ~GlobalLock() { DBUnlockGlobals(lock_); }
  GlobalLock(const GlobalLock&) = delete;
  GlobalLock& operator=(const GlobalLock&) = delete;

 private:
  int lock_;
};

// Holds lock 15 for its scope when g_bUseODBCCriticalSection is set at
// construction; releases exactly what it took, so a flag changed meanwhile
// cannot unbalance the lock. Every statement execution of the library runs
// inside one, which releases the lock on every failure path.
class StatementLock {
 public:
  StatementLock() : held_(g_bUseODBCCriticalSection != 0) {
    if (held_) DBLockGlobals(kStatementLock);
  }
  ~StatementLock() {
    if (held_) DBUnlockGlobals(kStatementLock);
  }
  StatementLock(const StatementLock&) = delete;
  StatementLock& operator=(const StatementLock&) = delete;

 private:
  bool held_;
};

}  // namespace korvo::db
