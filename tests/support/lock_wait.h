// tests/support/lock_wait.h: telling whether a thread waits for a global
// lock from events, not from how long it took.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace korvo::test {

// Runs `body` on a new thread while the calling thread holds global lock
// `lockNumber`. Returns true when that thread started to wait for the lock
// before `body` returned (the lock is then released here and the thread
// finishes); false when `body` returned without waiting for it. Both are
// events: nothing is timed. A body that blocks on something else hangs
// (and the test runner's time-out reports it).
bool BodyWaitsForLock(int lockNumber, const std::function<void()>& body);

// True when another thread can take global lock `lockNumber` at once
// (it then releases it again); false while some other thread holds it.
bool OtherThreadCanTake(int lockNumber);

// Holds global lock `lockNumber` on a thread of its own from construction
// until another thread starts to wait for it, or until destruction; then
// releases it. A step that runs under the lock therefore runs after the
// release (Released() is true there), and a step that runs without it runs
// while the lock is still held (Released() is false). Both are events:
// nothing is timed. One holder (or BodyWaitsForLock) at a time.
class LockHeldUntilWaitedFor {
 public:
  explicit LockHeldUntilWaitedFor(int lockNumber);
  ~LockHeldUntilWaitedFor();
  LockHeldUntilWaitedFor(const LockHeldUntilWaitedFor&) = delete;
  LockHeldUntilWaitedFor& operator=(const LockHeldUntilWaitedFor&) = delete;

  bool Released() const { return released_; }

 private:
  const int lock_;
  bool held_ = false;  // guarded by the waits' mutex, as is stop_
  bool stop_ = false;
  std::atomic<bool> released_{false};
  std::thread thread_;
};

}  // namespace korvo::test
