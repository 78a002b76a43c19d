// com/error_info_internal.h: hooks between the per-thread COM state files.
#pragma once

namespace korvo::com::detail {

// Releases the calling thread's error record (CoUninitialize's last call).
void ReleaseThreadErrorInfo();

}  // namespace korvo::com::detail
