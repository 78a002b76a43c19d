// diag/CKorvoTrace_internal.h: the library's own view of the trace switch
// and the test hooks of the trace (not installed).
#pragma once

#include <korvo/diag/CKorvoTrace.h>
#include <korvo/platform/thread_annotations.h>

#include <atomic>

namespace korvo::diag {

namespace detail {
inline constexpr short kSwitchUnread = -1;
inline constexpr short kTraceOff = 0;
inline constexpr short kTraceOn = 1;
// The switch (CKorvoTrace.cpp): kSwitchUnread, then kTraceOff or kTraceOn,
// set once under the trace mutex.
extern std::atomic<short> g_traceSwitch [[gnu::visibility("hidden")]];
}  // namespace detail

// trace.PrintTrace(text) for the calls made on every row: with tracing off
// (PrintTrace's own first test) the call is not made at all.
inline void PrintTraceIfOn(CKorvoTrace& trace, const char* text) {
  if (detail::g_traceSwitch.load(std::memory_order_acquire) != detail::kTraceOff)
    trace.PrintTrace(text);
}

// The process-wide trace mutex, so that a test can hold it and show that
// PrintTrace takes no lock while tracing is off.
korvo::platform::Mutex& TEST_TraceMutex();

}  // namespace korvo::diag
