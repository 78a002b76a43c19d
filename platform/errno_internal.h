// platform/errno_internal.h: the one mapping from a C library errno to the
// Windows last-error value the platform layer reports.
#pragma once

#include <korvo/platform/process.h>

namespace korvo::platform {

DWORD LastErrorFromErrno(int error);

// Sets the calling thread's last error from errno; returns the value set.
DWORD SetLastErrorFromErrno();

}  // namespace korvo::platform
