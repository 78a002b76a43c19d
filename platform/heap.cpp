// platform/heap.cpp: the process heap over malloc. Every block carries a
// header with its requested size, so HeapSize is exact and growth knows how
// many bytes to zero-fill.
#include <korvo/platform/heap.h>

#include <cstdlib>
#include <cstring>

#include "fault_internal.h"

namespace {

// The header keeps the user block aligned like malloc's own result.
struct alignas(alignof(std::max_align_t)) BlockHeader {
  SIZE_T size;
};
constexpr SIZE_T kHeaderSize = sizeof(BlockHeader);
constexpr SIZE_T kMaxBlock = static_cast<SIZE_T>(PTRDIFF_MAX) - kHeaderSize;

// The handle is a token: any non-null value names the one heap.
char g_processHeapToken;

BlockHeader* HeaderOf(LPCVOID block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block)) -
                                        kHeaderSize);
}

void* UserOf(BlockHeader* header) { return reinterpret_cast<char*>(header) + kHeaderSize; }

bool MayAllocate(SIZE_T bytes) {
  if (bytes > kMaxBlock || korvo::platform::ShouldFail(korvo::platform::FaultSite::kHeapAlloc)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  return true;
}

}  // namespace

HANDLE GetProcessHeap() { return &g_processHeapToken; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!MayAllocate(bytes)) return nullptr;
  void* raw = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, kHeaderSize + bytes)
                                         : std::malloc(kHeaderSize + bytes);
  if (raw == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* header = static_cast<BlockHeader*>(raw);
  header->size = bytes;
  return UserOf(header);
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
  if (heap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!MayAllocate(bytes)) return nullptr;
  BlockHeader* header = HeaderOf(block);
  SIZE_T old_size = header->size;
  void* raw = std::realloc(header, kHeaderSize + bytes);
  if (raw == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  header = static_cast<BlockHeader*>(raw);
  header->size = bytes;
  if ((flags & HEAP_ZERO_MEMORY) && bytes > old_size) {
    std::memset(static_cast<char*>(UserOf(header)) + old_size, 0, bytes - old_size);
  }
  return UserOf(header);
}

SIZE_T HeapSize(HANDLE, DWORD, LPCVOID block) {
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<SIZE_T>(-1);
  }
  return HeaderOf(block)->size;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block) {
  if (block != nullptr) std::free(HeaderOf(block));
  return TRUE;
}
