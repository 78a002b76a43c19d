// diag/CKorvoTrace_internal.h: test hooks of the trace (not installed).
#pragma once

#include <mutex>

namespace korvo::diag {

// The process-wide trace mutex, so that a test can hold it and show that
// PrintTrace takes no lock while tracing is off.
std::mutex& TEST_TraceMutex();

}  // namespace korvo::diag
