// tests/support/lock_wait.h: telling whether a thread waits for a global
// lock from events, not from how long it took.
#pragma once

#include <functional>

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

}  // namespace korvo::test
