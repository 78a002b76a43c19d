// platform/file.h: the file calls the trace needs (CreateFileA, WriteFile,
// FlushFileBuffers, CloseHandle), over POSIX descriptors.
//
// Only what the library uses is supported: GENERIC_WRITE and/or
// GENERIC_READ, the dispositions CREATE_ALWAYS, CREATE_NEW, OPEN_EXISTING,
// OPEN_ALWAYS, TRUNCATE_EXISTING. OPEN_ALWAYS does not truncate and writing
// starts at the beginning of the file. Sharing flags and attributes are
// accepted and ignored. Failures return INVALID_HANDLE_VALUE / FALSE and set
// the last error. Thread-safety: as the underlying descriptor.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/process.h>
#include <korvo/platform/wintypes.h>

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080

KORVO_API HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security,
                             DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// Writes all `bytes` (retrying short writes); *written gets the count.
KORVO_API BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, DWORD* written,
                         void* overlapped);
// Succeeds for an open handle without waiting for the disk: what WriteFile
// wrote is already in the kernel and survives the end of the process.
KORVO_API BOOL FlushFileBuffers(HANDLE file);
KORVO_API BOOL CloseHandle(HANDLE handle);
