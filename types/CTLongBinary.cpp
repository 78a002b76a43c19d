// types/CTLongBinary.cpp: the process-heap buffer for long binary values.
#include <korvo/platform/heap.h>
#include <korvo/types/CTLongBinary.h>

#include <cstring>
#include <new>

namespace {

constexpr DWORD kAllocationFailed = 0xFFFFFFFF;

DWORD Low32(ULONGLONG length) { return static_cast<DWORD>(length & 0xFFFFFFFFu); }

}  // namespace

CTLongBinary::CTLongBinary() : m_pData(nullptr), m_nDataLength(0) {}

CTLongBinary::CTLongBinary(const CTLongBinary& other) : CTLongBinary() { *this = other; }

CTLongBinary::~CTLongBinary() { Release(); }

void CTLongBinary::Release() {
  if (m_pData != nullptr) HeapFree(GetProcessHeap(), 0, m_pData);
  m_pData = nullptr;
}

CTLongBinary& CTLongBinary::operator=(const CTLongBinary& other) {
  if (this == &other) return *this;
  void* block = nullptr;
  const ULONGLONG length = other.m_pData != nullptr ? other.m_nDataLength : 0;
  if (length != 0) {
    block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(length));
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, other.m_pData, static_cast<size_t>(length));
  }
  Release();
  m_pData = block;
  m_nDataLength = length;
  return *this;
}

DWORD CTLongBinary::SetParam(const BYTE* source, DWORD count, int append) {
  if (count != 0 && source != nullptr) {
    const ULONGLONG offset = append ? m_nDataLength : 0;
    const ULONGLONG length = offset + count;
    // A source inside our own block would dangle once the block moves, or
    // be cut off when it shrinks: keep its offset and find it again after
    // the reallocation; a replacement first moves it to the front, where
    // the shrunken block keeps it.
    BYTE* own = static_cast<BYTE*>(m_pData);
    const bool inside = own != nullptr && source >= own && source < own + m_nDataLength;
    size_t source_offset = inside ? static_cast<size_t>(source - own) : 0;
    if (inside && !append) {
      std::memmove(own, source, count);
      source_offset = 0;
    }
    HANDLE heap = GetProcessHeap();
    void* block = m_pData != nullptr
                      ? HeapReAlloc(heap, HEAP_ZERO_MEMORY, m_pData, static_cast<SIZE_T>(length))
                      : HeapAlloc(heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(length));
    // A replacement from inside shrinks; should even that be refused, the
    // data (already moved to the front) stays in the larger block.
    if (block == nullptr && inside && !append) block = m_pData;
    if (block == nullptr) return kAllocationFailed;
    m_pData = block;
    m_nDataLength = length;
    if (inside) source = static_cast<const BYTE*>(block) + source_offset;
    std::memmove(static_cast<BYTE*>(block) + offset, source, count);
    return Low32(length);
  }
  if (append && m_nDataLength != 0) return Low32(m_nDataLength);
  m_nDataLength = 0;
  Release();
  return 0;
}

DWORD CTLongBinary::GetParam(BYTE*& data, DWORD& length) const {
  if (m_pData != nullptr && m_nDataLength != 0) {
    data = static_cast<BYTE*>(m_pData);
    length = Low32(m_nDataLength);
  } else {
    data = nullptr;
    length = 0;
  }
  return length;
}

DWORD CTLongBinary::GetParam2(void* destination, DWORD destinationLength) const {
  if (m_pData != nullptr && m_nDataLength != 0) {
    const ULONGLONG n = m_nDataLength < destinationLength ? m_nDataLength : destinationLength;
    // A null destination of length 0 only asks for the length.
    if (n != 0) std::memcpy(destination, m_pData, static_cast<size_t>(n));
  } else if (destinationLength != 0) {
    std::memset(destination, 0, destinationLength);
  }
  return Low32(m_nDataLength);
}
