// platform/fault_internal.h: the fault-injection seam of the platform layer.
//
// The platform calls the rest of the library depends on for resources (heap
// blocks, opening and writing files) ask ShouldFail() first; a test arms a
// site so that its Nth call from now fails the way the real call fails
// (null / INVALID_HANDLE_VALUE / FALSE with the matching last error). Unarmed,
// the check is one relaxed atomic load. Not installed; tests only.
// Thread-safety: the counters are atomic; arm and disarm between operations.
#pragma once

namespace korvo::platform {

enum class FaultSite {
  kHeapAlloc,  // HeapAlloc and HeapReAlloc: ERROR_NOT_ENOUGH_MEMORY
  kFileOpen,   // CreateFileA: ERROR_ACCESS_DENIED
  kFileWrite,  // WriteFile: ERROR_DISK_FULL, nothing written
  kCount
};

// Makes the nth call (1-based, counted from now) at `site` fail; with
// `persistent` every call from the nth on fails. n <= 0 disarms the site.
void TEST_FailNthCall(FaultSite site, int n, bool persistent = false);
// Disarms every site.
void TEST_ClearFaults();
// Calls at `site` since it was last armed. Calls are counted only while
// some site is armed: arm with a large n (INT_MAX) to count without failing.
long TEST_CallCount(FaultSite site);
// Failures injected at `site` since it was last armed.
long TEST_FailureCount(FaultSite site);

// Called by the wrapped platform calls; true when this call must fail.
bool ShouldFail(FaultSite site);

}  // namespace korvo::platform
