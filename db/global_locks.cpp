// db/global_locks.cpp: the process-wide lock table (db layer).
#include <korvo/db/global_locks.h>

#include <mutex>

BOOL g_bUseODBCCriticalSection = 0;
BOOL g_bUseSQLCriticalSection = 0;

namespace {

constexpr int kLockCount = 17;

// Created on first use under the guard of a function-local static and
// deliberately never destroyed: a host thread may still hold a lock while
// the process runs its exit handlers.
std::recursive_mutex* LockTable() {
  static std::recursive_mutex* table = new std::recursive_mutex[kLockCount];
  return table;
}

bool ValidLock(int n) { return n >= 0 && n < kLockCount; }

}  // namespace

void DBLockGlobals(int lockNumber) {
  if (ValidLock(lockNumber)) LockTable()[lockNumber].lock();
}

void DBUnlockGlobals(int lockNumber) {
  if (ValidLock(lockNumber)) LockTable()[lockNumber].unlock();
}
