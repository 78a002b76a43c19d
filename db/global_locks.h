// db/global_locks.h: the process-wide lock table and the two statement
// lock switches.
//
// What it is: 17 recursive locks numbered 0 to 16, created on first use
// and never destroyed while the process runs. The library itself uses only
// lock 15: around every statement execution while g_bUseODBCCriticalSection
// is set, and always around CDatabase::InitEnvironment. The other numbers
// are free for the host.
// Thread-safety: the lock functions may be called from any thread; a lock
// is recursive per thread, so taking it twice on one thread does not
// block (it must then be released twice). The two flags are plain
// integers meant to be set once, before any connection is used
// (CDatabase::SetCriticalSection sets both).
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

// Set: every statement execution of the library holds lock 15.
extern "C" KORVO_API BOOL g_bUseODBCCriticalSection;
// Set: InitEnvironment takes lock 15 a second time around the ODBC call.
extern "C" KORVO_API BOOL g_bUseSQLCriticalSection;

// Enters lock `lockNumber` (0..16), creating it on first use. Any other
// number does nothing.
KORVO_API void DBLockGlobals(int lockNumber);
// Leaves lock `lockNumber` (0..16). Any other number does nothing.
// REQUIRES: the calling thread holds that lock.
KORVO_API void DBUnlockGlobals(int lockNumber);
