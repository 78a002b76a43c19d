// types/CTByteArray.cpp: the growable byte array.
#include <korvo/types/CTByteArray.h>
#include <korvo/types/alloc_internal.h>

#include <cstdlib>
#include <cstring>
#include <new>

using korvo::types::AllocateBytes;

CTByteArray::CTByteArray() : m_pData(nullptr), m_nSize(0), m_nMaxSize(0), m_nGrowBy(0) {}

CTByteArray::CTByteArray(const CTByteArray& other) : CTByteArray() {
  m_nGrowBy = other.m_nGrowBy;
  Copy(other);
}

CTByteArray::~CTByteArray() { ReleaseBlock(); }

CTByteArray& CTByteArray::operator=(const CTByteArray& other) {
  if (this != &other) Copy(other);
  return *this;
}

void CTByteArray::ReleaseBlock() {
  delete[] m_pData;
  m_pData = nullptr;
}

void CTByteArray::SetSize(int newSize, int growBy) {
  if (growBy != -1) m_nGrowBy = growBy;
  if (newSize == 0) {
    ReleaseBlock();
    m_nSize = m_nMaxSize = 0;
    return;
  }
  if (m_pData == nullptr) {
    m_pData = AllocateBytes(static_cast<size_t>(newSize));
    std::memset(m_pData, 0, static_cast<size_t>(newSize));
    m_nSize = m_nMaxSize = newSize;
    return;
  }
  if (newSize <= m_nMaxSize) {
    if (newSize > m_nSize) {
      std::memset(m_pData + m_nSize, 0, static_cast<size_t>(newSize - m_nSize));
    }
    m_nSize = newSize;
    return;
  }
  int step = m_nGrowBy;
  if (step == 0) {
    step = m_nSize / 8;
    if (step < 4) step = 4;
    if (step > 1024) step = 1024;
  }
  const int capacity = newSize > m_nMaxSize + step ? newSize : m_nMaxSize + step;
  BYTE* block = AllocateBytes(static_cast<size_t>(capacity));
  std::memcpy(block, m_pData, static_cast<size_t>(m_nSize));
  std::memset(block + m_nSize, 0, static_cast<size_t>(newSize - m_nSize));
  delete[] m_pData;
  m_pData = block;
  m_nMaxSize = capacity;
  m_nSize = newSize;
}

void CTByteArray::FreeExtra() {
  if (m_nSize == m_nMaxSize) return;
  BYTE* block = nullptr;
  if (m_nSize != 0) {
    block = AllocateBytes(static_cast<size_t>(m_nSize));
    std::memcpy(block, m_pData, static_cast<size_t>(m_nSize));
  }
  delete[] m_pData;
  m_pData = block;
  m_nMaxSize = m_nSize;
}

void CTByteArray::RemoveAll() {
  ReleaseBlock();
  m_nSize = m_nMaxSize = 0;
}

void CTByteArray::SetAtGrow(int index, BYTE value) {
  if (index >= m_nSize) SetSize(index + 1, -1);
  m_pData[index] = value;
}

int CTByteArray::Add(BYTE value) {
  const int index = m_nSize;
  SetSize(index + 1, -1);
  m_pData[index] = value;
  return index;
}

int CTByteArray::Append(const CTByteArray& source) {
  if (&source == this) {
    const CTByteArray copy(source);
    return Append(copy);
  }
  const int old = m_nSize;
  SetSize(old + source.m_nSize, -1);
  if (source.m_nSize > 0) {
    std::memcpy(m_pData + old, source.m_pData, static_cast<size_t>(source.m_nSize));
  }
  return old;
}

void CTByteArray::Copy(const CTByteArray& source) {
  if (&source == this) return;
  SetSize(source.m_nSize, -1);
  if (source.m_nSize > 0) {
    std::memcpy(m_pData, source.m_pData, static_cast<size_t>(source.m_nSize));
  }
}

void CTByteArray::InsertAt(int index, BYTE value, int count) {
  if (index >= m_nSize) {
    SetSize(index + count, -1);
  } else {
    const int old = m_nSize;
    SetSize(m_nSize + count, -1);
    std::memmove(m_pData + index + count, m_pData + index, static_cast<size_t>(old - index));
    std::memset(m_pData + index, 0, static_cast<size_t>(count));
  }
  if (count > 0) std::memset(m_pData + index, value, static_cast<size_t>(count));
}

void CTByteArray::InsertAt(int startIndex, CTByteArray* source) {
  if (source == nullptr || source->m_nSize <= 0) return;
  if (source == this) {
    CTByteArray copy(*source);
    InsertAt(startIndex, &copy);
    return;
  }
  InsertAt(startIndex, source->m_pData[0], source->m_nSize);
  std::memcpy(m_pData + startIndex, source->m_pData, static_cast<size_t>(source->m_nSize));
}

void CTByteArray::RemoveAt(int index, int count) {
  const int following = m_nSize - (index + count);
  if (following > 0) {
    std::memmove(m_pData + index, m_pData + index + count, static_cast<size_t>(following));
  }
  m_nSize -= count;
}

void CTByteArray::Attach(BYTE* data, int size) {
  ReleaseBlock();
  m_pData = data;
  m_nSize = m_nMaxSize = size;
}

void CTByteArray::Detach() {
  m_pData = nullptr;
  m_nSize = 0;
}

DWORD CTByteArray::SetParam(const char* source, DWORD count) {
  if (count == 0) return 0;
  SetSize(static_cast<int>(count), -1);
  // The source may be part of this array's own bytes (no reallocation then,
  // since count cannot exceed the size): the ranges may overlap.
  std::memmove(m_pData, source, count);
  return count;
}

DWORD CTByteArray::GetParamEx(char*& block, DWORD& count) const {
  count = static_cast<DWORD>(m_nSize);
  if (m_nSize <= 1) {
    std::free(block);
    block = nullptr;
    count = 0;
    return 0;
  }
  void* grown = korvo::types::CRuntimeRealloc(block, static_cast<size_t>(m_nSize) + 1);
  if (grown == nullptr) throw std::bad_alloc();
  block = static_cast<char*>(grown);
  std::memcpy(block, m_pData, static_cast<size_t>(m_nSize));
  return count;
}
