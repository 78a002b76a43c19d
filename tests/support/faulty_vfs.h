// tests/support/faulty_vfs.h: a SQLite VFS shim that fails the Nth read,
// write, sync or lock, for fault-injection tests at the engine.
//
//   korvo::test::InstallFaultyVfs();          // once, before connections open
//   korvo::test::ArmVfsFault(VfsOp::kWrite, 3);  // the 3rd write from now fails
//   ... run an operation ...
//   korvo::test::DisarmVfsFaults();
//
// The shim is registered as the process's default VFS and wraps the one
// that was the default before, so every SQLite connection opened after
// InstallFaultyVfs goes through it. Unarmed, every call is passed on, except
// syncs: no power loss is simulated, so a sync only counts and succeeds (a
// reopened file still sees every completed write through the page cache).
// Thread-safety: the counters are atomic; arm and disarm between operations.
#pragma once

namespace korvo::test {

enum class VfsOp { kRead, kWrite, kSync, kLock, kCount };

const char* VfsOpName(VfsOp op);

// Registers the shim as the default VFS (once per process; later calls do
// nothing).
void InstallFaultyVfs();
// The nth call of `op` (1-based, counted from now) fails with the matching
// SQLITE_IOERR_ code; every other call is passed on. Counting restarts for
// every operation kind; n = 0 only restarts the counts.
void ArmVfsFault(VfsOp op, int n);
// Stops failing; the counts stay readable until the next arming.
void DisarmVfsFaults();
// Calls of `op` since the last ArmVfsFault.
long VfsCallCount(VfsOp op);
// True when the armed failure has been injected.
bool VfsFaultInjected();

}  // namespace korvo::test
