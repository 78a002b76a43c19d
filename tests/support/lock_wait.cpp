// tests/support/lock_wait.cpp: the lock-wait probe behind BodyWaitsForLock.
#include "support/lock_wait.h"

#include <korvo/db/global_locks_internal.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

namespace korvo::test {
namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
std::set<std::pair<int, std::thread::id>> g_waits;

void RecordWait(int lockNumber) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_waits.insert({lockNumber, std::this_thread::get_id()});
  g_changed.notify_all();
}

}  // namespace

bool BodyWaitsForLock(int lockNumber, const std::function<void()>& body) {
  korvo::db::TEST_SetLockWaitObserver(RecordWait);
  DBLockGlobals(lockNumber);
  bool done = false;
  std::thread worker([&] {
    body();
    std::lock_guard<std::mutex> lock(g_mutex);
    done = true;
    g_changed.notify_all();
  });
  bool waited;
  {
    std::unique_lock<std::mutex> lock(g_mutex);
    const std::pair<int, std::thread::id> wait{lockNumber, worker.get_id()};
    g_changed.wait(lock, [&] { return done || g_waits.count(wait) != 0; });
    waited = !done;
  }
  DBUnlockGlobals(lockNumber);
  worker.join();
  korvo::db::TEST_SetLockWaitObserver(nullptr);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_waits.clear();
  return waited;
}

bool OtherThreadCanTake(int lockNumber) {
  bool taken = false;
  std::thread other([&] {
    taken = korvo::db::TryLockGlobal(lockNumber);
    if (taken) DBUnlockGlobals(lockNumber);
  });
  other.join();
  return taken;
}

LockHeldUntilWaitedFor::LockHeldUntilWaitedFor(int lockNumber) : lock_(lockNumber) {
  korvo::db::TEST_SetLockWaitObserver(RecordWait);
  thread_ = std::thread([this] {
    DBLockGlobals(lock_);
    std::unique_lock<std::mutex> lock(g_mutex);
    held_ = true;
    g_changed.notify_all();
    g_changed.wait(lock, [this] {
      if (stop_) return true;
      for (const auto& wait : g_waits)
        if (wait.first == lock_) return true;
      return false;
    });
    released_ = true;
    DBUnlockGlobals(lock_);
  });
  std::unique_lock<std::mutex> lock(g_mutex);
  g_changed.wait(lock, [this] { return held_; });
}

LockHeldUntilWaitedFor::~LockHeldUntilWaitedFor() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    stop_ = true;
    g_changed.notify_all();
  }
  thread_.join();
  korvo::db::TEST_SetLockWaitObserver(nullptr);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_waits.clear();
}

}  // namespace korvo::test
