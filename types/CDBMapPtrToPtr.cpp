// types/CDBMapPtrToPtr.cpp: the block-allocated pointer-to-pointer hash map.
#include <korvo/types/CDBMapPtrToPtr.h>
#include <korvo/types/node_blocks_internal.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace {

__DB_POSITION* BeforeStart() {
  return reinterpret_cast<__DB_POSITION*>(static_cast<uintptr_t>(-1));
}

}  // namespace

CDBMapPtrToPtr::CDBMapPtrToPtr(int blockSize)
    : m_pHashTable(nullptr),
      m_nHashTableSize(17),
      m_nCount(0),
      m_pFreeList(nullptr),
      m_pBlocks(nullptr),
      m_nBlockSize(blockSize < 1 ? 1 : blockSize) {}

CDBMapPtrToPtr::CDBMapPtrToPtr(const CDBMapPtrToPtr& other) : CDBMapPtrToPtr(other.m_nBlockSize) {
  CopyFrom(other);
}

CDBMapPtrToPtr::~CDBMapPtrToPtr() { RemoveAll(); }

CDBMapPtrToPtr& CDBMapPtrToPtr::operator=(const CDBMapPtrToPtr& other) {
  if (this == &other) return *this;
  // Build first so that a failed allocation leaves this map as it was.
  CDBMapPtrToPtr copy(m_nBlockSize);
  copy.CopyFrom(other);
  RemoveAll();
  std::swap(m_pHashTable, copy.m_pHashTable);
  std::swap(m_nHashTableSize, copy.m_nHashTableSize);
  std::swap(m_nCount, copy.m_nCount);
  std::swap(m_pFreeList, copy.m_pFreeList);
  std::swap(m_pBlocks, copy.m_pBlocks);
  return *this;
}

void CDBMapPtrToPtr::CopyFrom(const CDBMapPtrToPtr& other) {
  m_nHashTableSize = other.m_nHashTableSize;
  if (other.m_pHashTable == nullptr) return;
  // Each chain is re-added from its end so that the front-insertion leaves
  // it in the source's order.
  std::vector<CAssoc*> chain;
  for (unsigned int b = 0; b < other.Buckets(); ++b) {
    chain.clear();
    for (CAssoc* a = other.m_pHashTable[b]; a != nullptr; a = a->pNext) chain.push_back(a);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*this)[(*it)->key] = (*it)->value;
  }
}

unsigned int CDBMapPtrToPtr::HashKey(void* key) const {
  return static_cast<unsigned int>(reinterpret_cast<uintptr_t>(key) & 0xFFFFFFFFu) >> 4;
}

void CDBMapPtrToPtr::AllocateTable() {
  const unsigned int n = Buckets();
  m_pHashTable = new CAssoc*[n]();
}

void CDBMapPtrToPtr::InitHashTable(unsigned int hashSize, int allocateNow) {
  delete[] m_pHashTable;
  m_pHashTable = nullptr;
  m_nHashTableSize = hashSize;
  if (allocateNow) AllocateTable();
}

void CDBMapPtrToPtr::RemoveAll() {
  delete[] m_pHashTable;
  m_pHashTable = nullptr;
  korvo::types::FreeBlocks(m_pBlocks);
  m_pFreeList = nullptr;
  m_nCount = 0;
}

CDBMapPtrToPtr::CAssoc* CDBMapPtrToPtr::NewAssoc() {
  CAssoc* assoc = korvo::types::TakeNode(m_pBlocks, m_pFreeList, m_nBlockSize, m_nCount);
  assoc->pNext = nullptr;
  assoc->key = nullptr;
  assoc->value = nullptr;
  return assoc;
}

void CDBMapPtrToPtr::FreeAssoc(CAssoc* assoc) {
  if (korvo::types::ReturnNode(assoc, m_pFreeList, m_nCount)) RemoveAll();
}

CDBMapPtrToPtr::CAssoc* CDBMapPtrToPtr::GetAssocAt(void* key, unsigned int& bucket) const {
  bucket = HashKey(key) % Buckets();
  if (m_pHashTable == nullptr) return nullptr;
  for (CAssoc* a = m_pHashTable[bucket]; a != nullptr; a = a->pNext) {
    if (a->key == key) return a;
  }
  return nullptr;
}

void* CDBMapPtrToPtr::GetValueAt(void* key) const {
  unsigned int bucket;
  CAssoc* a = GetAssocAt(key, bucket);
  return a != nullptr ? a->value : nullptr;
}

int CDBMapPtrToPtr::Lookup(void* key, void*& value) const {
  unsigned int bucket;
  CAssoc* a = GetAssocAt(key, bucket);
  if (a == nullptr) return 0;
  value = a->value;
  return 1;
}

void*& CDBMapPtrToPtr::operator[](void* key) {
  unsigned int bucket;
  CAssoc* a = GetAssocAt(key, bucket);
  if (a != nullptr) return a->value;
  if (m_pHashTable == nullptr) AllocateTable();
  a = NewAssoc();
  a->key = key;
  a->pNext = m_pHashTable[bucket];
  m_pHashTable[bucket] = a;
  return a->value;
}

int CDBMapPtrToPtr::RemoveKey(void* key) {
  if (m_pHashTable == nullptr) return 0;
  CAssoc** link = &m_pHashTable[HashKey(key) % Buckets()];
  for (CAssoc* a = *link; a != nullptr; link = &a->pNext, a = a->pNext) {
    if (a->key == key) {
      *link = a->pNext;
      FreeAssoc(a);
      return 1;
    }
  }
  return 0;
}

__DB_POSITION* CDBMapPtrToPtr::GetStartPosition() const {
  // Without a table (InitHashTable on a non-empty map) nothing can be found.
  return m_nCount > 0 && m_pHashTable != nullptr ? BeforeStart() : nullptr;
}

void CDBMapPtrToPtr::GetNextAssoc(__DB_POSITION*& pos, void*& key, void*& value) const {
  CAssoc* assoc = reinterpret_cast<CAssoc*>(pos);
  if (pos == BeforeStart()) {
    assoc = nullptr;
    for (unsigned int b = 0; b < Buckets() && assoc == nullptr; ++b) assoc = m_pHashTable[b];
  }
  key = assoc->key;
  value = assoc->value;
  CAssoc* next = assoc->pNext;
  if (next == nullptr) {
    for (unsigned int b = HashKey(assoc->key) % Buckets() + 1; b < Buckets() && next == nullptr;
         ++b) {
      next = m_pHashTable[b];
    }
  }
  pos = reinterpret_cast<__DB_POSITION*>(next);
}
