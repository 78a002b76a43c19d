// platform/thread_annotations.h: Clang thread-safety annotations and the
// annotated lock types of the library (platform layer).
//
// What it is: KORVO_-prefixed macros for Clang's -Wthread-safety analysis,
// which expand to nothing on other compilers, and Mutex / RecursiveMutex
// with their scoped guards. std::mutex carries no annotations in libstdc++,
// so the analysis cannot see it being taken; these thin wrappers can be
// seen. A member written under a lock is declared KORVO_GUARDED_BY(thatLock)
// and the lock is only ever taken through a guard:
//
//   korvo::platform::Mutex mutex_;
//   int count_ KORVO_GUARDED_BY(mutex_) = 0;
//   ...
//   korvo::platform::MutexLock lock(mutex_);
//   ++count_;
//
// Thread-safety: the lock types are internally locked, as their std
// counterparts. Ownership: each owns its std mutex; none is copyable or
// movable.
#pragma once

#include <mutex>

#if defined(__clang__)
#define KORVO_THREAD_ANNOTATION_(x) __attribute__((x))
#else
#define KORVO_THREAD_ANNOTATION_(x)
#endif

// On a class: objects of it are locks (capabilities) named `x` in messages.
#define KORVO_CAPABILITY(x) KORVO_THREAD_ANNOTATION_(capability(x))
// On a class: an RAII guard that holds a capability for its lifetime.
#define KORVO_SCOPED_CAPABILITY KORVO_THREAD_ANNOTATION_(scoped_lockable)
// On a member or global: read and written only while `x` is held.
#define KORVO_GUARDED_BY(x) KORVO_THREAD_ANNOTATION_(guarded_by(x))
// On a pointer: the pointee is read and written only while `x` is held.
#define KORVO_PT_GUARDED_BY(x) KORVO_THREAD_ANNOTATION_(pt_guarded_by(x))
// On a lock: the order in which locks may be taken.
#define KORVO_ACQUIRED_BEFORE(...) KORVO_THREAD_ANNOTATION_(acquired_before(__VA_ARGS__))
#define KORVO_ACQUIRED_AFTER(...) KORVO_THREAD_ANNOTATION_(acquired_after(__VA_ARGS__))
// On a function: the caller holds the locks (exclusively / shared).
#define KORVO_REQUIRES(...) KORVO_THREAD_ANNOTATION_(requires_capability(__VA_ARGS__))
#define KORVO_REQUIRES_SHARED(...) KORVO_THREAD_ANNOTATION_(requires_shared_capability(__VA_ARGS__))
// On a function: it takes / gives back the locks (no argument: `this`).
#define KORVO_ACQUIRE(...) KORVO_THREAD_ANNOTATION_(acquire_capability(__VA_ARGS__))
#define KORVO_RELEASE(...) KORVO_THREAD_ANNOTATION_(release_capability(__VA_ARGS__))
// On a function: it takes the locks when it returns `result`.
#define KORVO_TRY_ACQUIRE(...) KORVO_THREAD_ANNOTATION_(try_acquire_capability(__VA_ARGS__))
// On a function: the caller must not hold the locks (the function takes them).
#define KORVO_EXCLUDES(...) KORVO_THREAD_ANNOTATION_(locks_excluded(__VA_ARGS__))
// On a function: after it returns the analysis assumes the lock is held.
#define KORVO_ASSERT_CAPABILITY(x) KORVO_THREAD_ANNOTATION_(assert_capability(x))
// On a function: it returns a reference to the lock `x`.
#define KORVO_RETURN_CAPABILITY(x) KORVO_THREAD_ANNOTATION_(lock_returned(x))
// On a function: the analysis skips its body. Each use says why.
#define KORVO_NO_THREAD_SAFETY_ANALYSIS KORVO_THREAD_ANNOTATION_(no_thread_safety_analysis)

namespace korvo::platform {

// A non-recursive lock over std::mutex. The constructor is constexpr, so a
// namespace-scope Mutex is usable before any dynamic initialiser runs.
class KORVO_CAPABILITY("mutex") Mutex {
 public:
  constexpr Mutex() noexcept = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() KORVO_ACQUIRE() { mutex_.lock(); }
  void Unlock() KORVO_RELEASE() { mutex_.unlock(); }
  bool TryLock() KORVO_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  // Tells the analysis the calling thread holds this lock, for a function
  // whose callers all hold it but whose declaration cannot name it. It
  // checks nothing at run time.
  void AssertHeld() const KORVO_ASSERT_CAPABILITY(this) {}

 private:
  std::mutex mutex_;
};

// A lock the holding thread may take again; it is free once every Lock has
// been matched by an Unlock.
class KORVO_CAPABILITY("mutex") RecursiveMutex {
 public:
  RecursiveMutex() = default;
  RecursiveMutex(const RecursiveMutex&) = delete;
  RecursiveMutex& operator=(const RecursiveMutex&) = delete;

  void Lock() KORVO_ACQUIRE() { mutex_.lock(); }
  void Unlock() KORVO_RELEASE() { mutex_.unlock(); }
  bool TryLock() KORVO_TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  void AssertHeld() const KORVO_ASSERT_CAPABILITY(this) {}

 private:
  std::recursive_mutex mutex_;
};

// Holds `lock` from construction to the end of the scope.
template <class Lockable>
class KORVO_SCOPED_CAPABILITY BasicMutexLock {
 public:
  explicit BasicMutexLock(Lockable& lock) KORVO_ACQUIRE(lock) : lock_(lock) { lock_.Lock(); }
  ~BasicMutexLock() KORVO_RELEASE() { lock_.Unlock(); }
  BasicMutexLock(const BasicMutexLock&) = delete;
  BasicMutexLock& operator=(const BasicMutexLock&) = delete;

 private:
  Lockable& lock_;
};

using MutexLock = BasicMutexLock<Mutex>;
using RecursiveMutexLock = BasicMutexLock<RecursiveMutex>;

}  // namespace korvo::platform
