// platform/file.cpp: CreateFileA and friends over POSIX descriptors.
//
// A handle is the descriptor plus kHandleBias, so that no valid handle is
// null or INVALID_HANDLE_VALUE and nothing needs allocating.
#include <fcntl.h>
#include <korvo/platform/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "errno_internal.h"
#include "fault_internal.h"

namespace {

constexpr intptr_t kHandleBias = 0x10000;

HANDLE ToHandle(int fd) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + kHandleBias);
}

// -1 (ERROR_INVALID_HANDLE) for anything that is not an open file handle.
int ToDescriptor(HANDLE handle) {
  intptr_t value = reinterpret_cast<intptr_t>(handle) - kHandleBias;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || value < 0 || value > INT32_MAX ||
      ::fcntl(static_cast<int>(value), F_GETFD) == -1) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  return static_cast<int>(value);
}

}  // namespace

HANDLE CreateFileA(const char* path, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  if (path == nullptr || *path == '\0') {
    SetLastError(path == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  bool read = (access & GENERIC_READ) != 0, write = (access & GENERIC_WRITE) != 0;
  flags |= read && write ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
  switch (disposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (disposition == TRUNCATE_EXISTING && !write) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (korvo::platform::ShouldFail(korvo::platform::FaultSite::kFileOpen)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int fd;
  do {
    fd = ::open(path, flags, 0666);
  } while (fd == -1 && errno == EINTR);
  if (fd == -1) {
    korvo::platform::SetLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return ToHandle(fd);
}

BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, DWORD* written, void*) {
  if (written != nullptr) *written = 0;
  int fd = ToDescriptor(file);
  if (fd == -1) return FALSE;
  if (data == nullptr && bytes > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (korvo::platform::ShouldFail(korvo::platform::FaultSite::kFileWrite)) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  const char* p = static_cast<const char*>(data);
  DWORD done = 0;
  while (done < bytes) {
    ssize_t n = ::write(fd, p + done, bytes - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (written != nullptr) *written = done;
      korvo::platform::SetLastErrorFromErrno();
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written != nullptr) *written = done;
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  int fd = ToDescriptor(file);
  if (fd == -1) return FALSE;
  // The data is in the kernel once write returns; fdatasync would make every
  // traced line wait for the disk.
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  int fd = ToDescriptor(handle);
  if (fd == -1) return FALSE;
  // Linux releases the descriptor even when close reports EINTR: no retry.
  if (::close(fd) == -1 && errno != EINTR) {
    korvo::platform::SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}
