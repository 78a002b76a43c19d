// com/bstr.cpp: BSTR allocation. Each string is one block of the process
// heap (so the platform's fault injection reaches it): a 32-bit byte
// length, the characters, two zero bytes.
#include <korvo/com/bstr.h>
#include <korvo/platform/heap.h>

#include <cstring>
#include <limits>

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* Header(BSTR s) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(s) - kPrefix);
}

// A block for `bytes` bytes of content; the content is copied from `src`
// when given, else zeroed. Null when the size cannot be stored or memory
// runs out.
BSTR AllocBytes(const void* src, size_t bytes) {
  if (bytes > std::numeric_limits<uint32_t>::max() - kPrefix - sizeof(OLECHAR)) return nullptr;
  char* block =
      static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kPrefix + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  uint32_t length = static_cast<uint32_t>(bytes);
  std::memcpy(block, &length, kPrefix);
  if (src != nullptr)
    std::memcpy(block + kPrefix, src, bytes);
  else
    std::memset(block + kPrefix, 0, bytes);
  block[kPrefix + bytes] = 0;
  block[kPrefix + bytes + 1] = 0;
  return reinterpret_cast<BSTR>(block + kPrefix);
}

size_t UnitLength(const OLECHAR* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return AllocBytes(text, UnitLength(text) * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT len) {
  return AllocBytes(text, static_cast<size_t>(len) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT len) { return AllocBytes(bytes, len); }

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT len) {
  if (target == nullptr) return FALSE;
  // The new text may lie inside the old string: copy before freeing.
  BSTR fresh = SysAllocStringLen(text, len);
  if (fresh == nullptr) return FALSE;
  SysFreeString(*target);
  *target = fresh;
  return TRUE;
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (target == nullptr) return FALSE;
  if (text == nullptr) {
    SysFreeString(*target);
    *target = nullptr;
    return TRUE;
  }
  size_t n = UnitLength(text);
  if (n > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return FALSE;
  return SysReAllocStringLen(target, text, static_cast<UINT>(n));
}

void SysFreeString(BSTR text) {
  if (text != nullptr) HeapFree(GetProcessHeap(), 0, Header(text));
}

UINT SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t length;
  std::memcpy(&length, Header(text), kPrefix);
  return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
