// types/CTPtrList.cpp: the block-allocated doubly linked pointer list.
#include <korvo/types/CTPtrList.h>
#include <korvo/types/node_blocks_internal.h>

#include <cstddef>
#include <new>
#include <utility>

CTPtrList::CTPtrList(int blockSize)
    : m_pNodeHead(nullptr),
      m_pNodeTail(nullptr),
      m_nCount(0),
      m_pNodeFree(nullptr),
      m_pBlocks(nullptr),
      m_nBlockSize(blockSize < 1 ? 1 : blockSize) {}

CTPtrList::CTPtrList(const CTPtrList& other) : CTPtrList(other.m_nBlockSize) {
  AddTail(const_cast<CTPtrList*>(&other));
}

CTPtrList::~CTPtrList() { RemoveAll(); }

CTPtrList& CTPtrList::operator=(const CTPtrList& other) {
  if (this == &other) return *this;
  // Build first so that a failed allocation leaves this list as it was.
  CTPtrList copy(m_nBlockSize);
  copy.AddTail(const_cast<CTPtrList*>(&other));
  RemoveAll();
  std::swap(m_pNodeHead, copy.m_pNodeHead);
  std::swap(m_pNodeTail, copy.m_pNodeTail);
  std::swap(m_nCount, copy.m_nCount);
  std::swap(m_pNodeFree, copy.m_pNodeFree);
  std::swap(m_pBlocks, copy.m_pBlocks);
  return *this;
}

void CTPtrList::RemoveAll() {
  korvo::types::FreeBlocks(m_pBlocks);
  m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
  m_nCount = 0;
}

CTPtrList::CNode* CTPtrList::NewNode(CNode* prev, CNode* next) {
  CNode* node = korvo::types::TakeNode(m_pBlocks, m_pNodeFree, m_nBlockSize, m_nCount);
  node->pPrev = prev;
  node->pNext = next;
  node->data = nullptr;
  return node;
}

void CTPtrList::FreeNode(CNode* node) {
  if (korvo::types::ReturnNode(node, m_pNodeFree, m_nCount)) RemoveAll();
}

void*& CTPtrList::GetNext(__DB_POSITION*& pos) {
  CNode* node = Node(pos);
  pos = Position(node->pNext);
  return node->data;
}

void* CTPtrList::GetNext(__DB_POSITION*& pos) const {
  CNode* node = Node(pos);
  pos = Position(node->pNext);
  return node->data;
}

void*& CTPtrList::GetPrev(__DB_POSITION*& pos) {
  CNode* node = Node(pos);
  pos = Position(node->pPrev);
  return node->data;
}

void* CTPtrList::GetPrev(__DB_POSITION*& pos) const {
  CNode* node = Node(pos);
  pos = Position(node->pPrev);
  return node->data;
}

__DB_POSITION* CTPtrList::AddHead(void* value) {
  CNode* node = NewNode(nullptr, m_pNodeHead);
  node->data = value;
  if (m_pNodeHead != nullptr) {
    m_pNodeHead->pPrev = node;
  } else {
    m_pNodeTail = node;
  }
  m_pNodeHead = node;
  return Position(node);
}

__DB_POSITION* CTPtrList::AddTail(void* value) {
  CNode* node = NewNode(m_pNodeTail, nullptr);
  node->data = value;
  if (m_pNodeTail != nullptr) {
    m_pNodeTail->pNext = node;
  } else {
    m_pNodeHead = node;
  }
  m_pNodeTail = node;
  return Position(node);
}

// Bounded by the count taken at the start, so that a list added to itself
// adds its original values once instead of chasing the nodes it adds.
void CTPtrList::AddHead(CTPtrList* other) {
  CNode* node = other->m_pNodeTail;
  for (int n = other->m_nCount; n > 0; --n, node = node->pPrev) AddHead(node->data);
}

void CTPtrList::AddTail(CTPtrList* other) {
  CNode* node = other->m_pNodeHead;
  for (int n = other->m_nCount; n > 0; --n, node = node->pNext) AddTail(node->data);
}

void* CTPtrList::RemoveHead() {
  CNode* node = m_pNodeHead;
  void* value = node->data;
  m_pNodeHead = node->pNext;
  if (m_pNodeHead != nullptr) {
    m_pNodeHead->pPrev = nullptr;
  } else {
    m_pNodeTail = nullptr;
  }
  FreeNode(node);
  return value;
}

void* CTPtrList::RemoveTail() {
  CNode* node = m_pNodeTail;
  void* value = node->data;
  m_pNodeTail = node->pPrev;
  if (m_pNodeTail != nullptr) {
    m_pNodeTail->pNext = nullptr;
  } else {
    m_pNodeHead = nullptr;
  }
  FreeNode(node);
  return value;
}

__DB_POSITION* CTPtrList::InsertBefore(__DB_POSITION* pos, void* value) {
  if (pos == nullptr) return AddHead(value);
  CNode* old = Node(pos);
  CNode* node = NewNode(old->pPrev, old);
  node->data = value;
  if (old->pPrev != nullptr) {
    old->pPrev->pNext = node;
  } else {
    m_pNodeHead = node;
  }
  old->pPrev = node;
  return Position(node);
}

__DB_POSITION* CTPtrList::InsertAfter(__DB_POSITION* pos, void* value) {
  if (pos == nullptr) return AddTail(value);
  CNode* old = Node(pos);
  CNode* node = NewNode(old, old->pNext);
  node->data = value;
  if (old->pNext != nullptr) {
    old->pNext->pPrev = node;
  } else {
    m_pNodeTail = node;
  }
  old->pNext = node;
  return Position(node);
}

void CTPtrList::RemoveAt(__DB_POSITION* pos) {
  CNode* node = Node(pos);
  if (node == m_pNodeHead) {
    m_pNodeHead = node->pNext;
  } else {
    node->pPrev->pNext = node->pNext;
  }
  if (node == m_pNodeTail) {
    m_pNodeTail = node->pPrev;
  } else {
    node->pNext->pPrev = node->pPrev;
  }
  FreeNode(node);
}

__DB_POSITION* CTPtrList::FindIndex(int index) const {
  if (index < 0 || index >= m_nCount) return nullptr;
  CNode* node = m_pNodeHead;
  while (index-- > 0) node = node->pNext;
  return Position(node);
}

__DB_POSITION* CTPtrList::Find(void* value, __DB_POSITION* startAfter) const {
  CNode* node = startAfter == nullptr ? m_pNodeHead : Node(startAfter)->pNext;
  for (; node != nullptr; node = node->pNext) {
    if (node->data == value) return Position(node);
  }
  return nullptr;
}
