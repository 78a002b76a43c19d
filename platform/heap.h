// platform/heap.h: the process heap (HeapAlloc family) over the C
// allocator. Each block remembers its size so HeapSize answers exactly;
// HEAP_ZERO_MEMORY zero-fills new blocks and, on growth, the added bytes;
// growth keeps the content. A failed allocation returns null and sets the
// last error (ERROR_NOT_ENOUGH_MEMORY); it never throws.
// Thread-safety: every function may be called from any thread.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/process.h>
#include <korvo/platform/wintypes.h>

#define HEAP_ZERO_MEMORY 0x00000008

// The one process heap; the handle is only a token for the calls below.
KORVO_API HANDLE GetProcessHeap();
KORVO_API LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// On failure the old block is untouched and still owned by the caller. A
// null block fails with ERROR_INVALID_PARAMETER, as on Windows.
KORVO_API LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
// (SIZE_T)-1 for a null block.
KORVO_API SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);
// Freeing null succeeds and does nothing.
KORVO_API BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
