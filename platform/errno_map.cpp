// platform/errno_map.cpp: errno to Windows last-error values.
#include <cerrno>

#include "errno_internal.h"

namespace korvo::platform {

DWORD LastErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    default:
      return KORVO_ERRNO_ERROR(error);
  }
}

DWORD SetLastErrorFromErrno() {
  DWORD value = LastErrorFromErrno(errno);
  SetLastError(value);
  return value;
}

}  // namespace korvo::platform
