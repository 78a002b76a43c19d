// The annotated lock types: a guard excludes other threads for exactly its
// scope, and the recursive lock lets its holder re-enter.
#include <gtest/gtest.h>
#include <korvo/platform/thread_annotations.h>

#include <future>

namespace {

using korvo::platform::Mutex;
using korvo::platform::MutexLock;
using korvo::platform::RecursiveMutex;
using korvo::platform::RecursiveMutexLock;

// Tries the lock from another thread, so a recursive lock held by this
// thread still counts as taken.
template <class Lock>
bool FreeForOtherThread(Lock& lock) {
  return std::async(std::launch::async,
                    [&lock]() KORVO_NO_THREAD_SAFETY_ANALYSIS {
                      if (!lock.TryLock()) return false;
                      lock.Unlock();
                      return true;
                    })
      .get();
}

TEST(ThreadAnnotations, GuardHoldsTheLockForItsScopeOnly) {
  Mutex mutex;
  EXPECT_TRUE(FreeForOtherThread(mutex));
  {
    MutexLock lock(mutex);
    EXPECT_FALSE(FreeForOtherThread(mutex));
  }
  EXPECT_TRUE(FreeForOtherThread(mutex));
}

TEST(ThreadAnnotations, RecursiveLockIsFreeOnlyAfterTheOutermostGuard) {
  RecursiveMutex mutex;
  {
    RecursiveMutexLock outer(mutex);
    {
      RecursiveMutexLock inner(mutex);  // would deadlock on a plain mutex
      EXPECT_FALSE(FreeForOtherThread(mutex));
    }
    EXPECT_FALSE(FreeForOtherThread(mutex));
  }
  EXPECT_TRUE(FreeForOtherThread(mutex));
}

// A namespace-scope Mutex is constant-initialised: usable from any dynamic
// initialiser, whatever the order.
constinit Mutex g_early;

TEST(ThreadAnnotations, NamespaceScopeMutexNeedsNoDynamicInitialisation) {
  MutexLock lock(g_early);
  EXPECT_FALSE(FreeForOtherThread(g_early));
}

}  // namespace
