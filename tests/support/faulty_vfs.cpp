// tests/support/faulty_vfs.cpp: the VFS shim behind faulty_vfs.h.
#include "support/faulty_vfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace korvo::test {
namespace {

constexpr int kOps = static_cast<int>(VfsOp::kCount);

std::atomic<long> g_calls[kOps];
std::atomic<long> g_armedAt[kOps];  // 0: not armed
std::atomic<bool> g_injected{false};

bool ShouldFail(VfsOp op) {
  const int i = static_cast<int>(op);
  const long call = g_calls[i].fetch_add(1) + 1;
  const long armed = g_armedAt[i].load();
  if (armed == 0 || call != armed) return false;
  g_injected = true;
  return true;
}

// A file of the shim: the real VFS's file follows in the same block.
struct ShimFile {
  sqlite3_file base;
  sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }
const sqlite3_io_methods* RealMethods(sqlite3_file* f) { return Real(f)->pMethods; }

int Close(sqlite3_file* f) { return RealMethods(f)->xClose(Real(f)); }
int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
  if (ShouldFail(VfsOp::kRead)) return SQLITE_IOERR_READ;
  return RealMethods(f)->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  if (ShouldFail(VfsOp::kWrite)) return SQLITE_IOERR_WRITE;
  return RealMethods(f)->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  return RealMethods(f)->xTruncate(Real(f), size);
}
int Sync(sqlite3_file*, int) {
  if (ShouldFail(VfsOp::kSync)) return SQLITE_IOERR_FSYNC;
  return SQLITE_OK;
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return RealMethods(f)->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) {
  if (ShouldFail(VfsOp::kLock)) return SQLITE_IOERR_LOCK;
  return RealMethods(f)->xLock(Real(f), level);
}
int Unlock(sqlite3_file* f, int level) { return RealMethods(f)->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
  return RealMethods(f)->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  return RealMethods(f)->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) { return RealMethods(f)->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) {
  return RealMethods(f)->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  if (RealMethods(f)->iVersion < 2) return SQLITE_IOERR_SHMMAP;
  return RealMethods(f)->xShmMap(Real(f), page, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  if (RealMethods(f)->iVersion < 2) return SQLITE_IOERR_SHMLOCK;
  return RealMethods(f)->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) {
  if (RealMethods(f)->iVersion >= 2) RealMethods(f)->xShmBarrier(Real(f));
}
int ShmUnmap(sqlite3_file* f, int deleteFlag) {
  if (RealMethods(f)->iVersion < 2) return SQLITE_OK;
  return RealMethods(f)->xShmUnmap(Real(f), deleteFlag);
}
int Fetch(sqlite3_file*, sqlite3_int64, int, void** out) {
  *out = nullptr;  // no memory map: SQLite reads instead
  return SQLITE_OK;
}
int Unfetch(sqlite3_file*, sqlite3_int64, void*) { return SQLITE_OK; }

const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

sqlite3_vfs g_shim;
sqlite3_vfs* g_real = nullptr;

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
  auto* shim = reinterpret_cast<ShimFile*>(f);
  shim->real = reinterpret_cast<sqlite3_file*>(shim + 1);
  shim->base.pMethods = nullptr;
  const int rc = g_real->xOpen(g_real, name, shim->real, flags, outFlags);
  // SQLite closes a file whose methods are set, even after a failed open.
  if (shim->real->pMethods != nullptr) shim->base.pMethods = &kMethods;
  return rc;
}

}  // namespace

const char* VfsOpName(VfsOp op) {
  switch (op) {
    case VfsOp::kRead:
      return "read";
    case VfsOp::kWrite:
      return "write";
    case VfsOp::kSync:
      return "sync";
    case VfsOp::kLock:
      return "lock";
    case VfsOp::kCount:
      break;
  }
  return "?";
}

void InstallFaultyVfs() {
  static std::once_flag once;
  std::call_once(once, [] {
    sqlite3_initialize();
    g_real = sqlite3_vfs_find(nullptr);
    g_shim = *g_real;  // every VFS-level call (delete, access, ...) passes through
    g_shim.zName = "korvo-faulty";
    g_shim.szOsFile = static_cast<int>(sizeof(ShimFile)) + g_real->szOsFile;
    g_shim.pNext = nullptr;
    g_shim.xOpen = Open;
    sqlite3_vfs_register(&g_shim, 1);
  });
}

void ArmVfsFault(VfsOp op, int n) {
  for (int i = 0; i < kOps; ++i) {
    g_armedAt[i] = 0;
    g_calls[i] = 0;
  }
  g_injected = false;
  g_armedAt[static_cast<int>(op)] = n;
}

void DisarmVfsFaults() {
  for (auto& armed : g_armedAt) armed = 0;
}

long VfsCallCount(VfsOp op) { return g_calls[static_cast<int>(op)].load(); }

bool VfsFaultInjected() { return g_injected.load(); }

}  // namespace korvo::test
