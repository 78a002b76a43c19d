// diag/CKorvoTrace_internal.h: test hooks of the trace (not installed).
#pragma once

#include <korvo/platform/thread_annotations.h>

namespace korvo::diag {

// The process-wide trace mutex, so that a test can hold it and show that
// PrintTrace takes no lock while tracing is off.
korvo::platform::Mutex& TEST_TraceMutex();

}  // namespace korvo::diag
