// types/CTPtrList.h: CTPtrList, a doubly linked list of untyped pointers,
// and __DB_POSITION, the opaque iteration position of the library's
// containers.
//
// Thread-safety: caller must synchronize; a list must not be used from two
// threads at once.
// Ownership: the list owns its nodes, which come from blocks of
// m_nBlockSize nodes allocated with operator new; freed nodes go to a free
// list and every block is returned at once when the list becomes empty
// (RemoveAll, the destructor, or removing the last element). The stored
// pointers are not owned: the list never frees what they point to.
//
// Positions are the addresses of nodes. A position stays valid until its
// node is removed (or the list emptied); REQUIRES: positions passed in
// belong to this list. GetHead, GetTail, RemoveHead and RemoveTail
// REQUIRE a non-empty list. A block size below 1 is taken as 1.
// Allocation failures throw std::bad_alloc; the list is unchanged, except
// that AddHead / AddTail of a list keep the values added before the failure.
//
// Choices made for this implementation: copy construction and assignment
// copy the values into nodes of the target's own (the target keeps its block
// size); two lists never share nodes or blocks.
#pragma once

#include <korvo/platform/export.h>

struct __DB_POSITION {};

class KORVO_API CTPtrList {
 public:
  explicit CTPtrList(int blockSize = 10);
  CTPtrList(const CTPtrList& other);
  ~CTPtrList();
  CTPtrList& operator=(const CTPtrList& other);

  int GetCount() const { return m_nCount; }
  int IsEmpty() const { return m_nCount == 0 ? 1 : 0; }

  void*& GetHead() { return m_pNodeHead->data; }
  void* GetHead() const { return m_pNodeHead->data; }
  void*& GetTail() { return m_pNodeTail->data; }
  void* GetTail() const { return m_pNodeTail->data; }

  __DB_POSITION* GetHeadPosition() const { return Position(m_pNodeHead); }
  __DB_POSITION* GetTailPosition() const { return Position(m_pNodeTail); }
  // The value at `pos`; `pos` moves to the next / previous node, null past
  // the end.
  void*& GetNext(__DB_POSITION*& pos);
  void* GetNext(__DB_POSITION*& pos) const;
  void*& GetPrev(__DB_POSITION*& pos);
  void* GetPrev(__DB_POSITION*& pos) const;
  void*& GetAt(__DB_POSITION* pos) { return Node(pos)->data; }
  void* GetAt(__DB_POSITION* pos) const { return Node(pos)->data; }
  void SetAt(__DB_POSITION* pos, void* value) { Node(pos)->data = value; }

  __DB_POSITION* AddHead(void* value);
  __DB_POSITION* AddTail(void* value);
  // Adds every value of `other` at the front / back in their order.
  // A list added to itself adds its values as they were before the call.
  void AddHead(CTPtrList* other);
  void AddTail(CTPtrList* other);
  void* RemoveHead();
  void* RemoveTail();
  // A null position inserts at the head / tail.
  __DB_POSITION* InsertBefore(__DB_POSITION* pos, void* value);
  __DB_POSITION* InsertAfter(__DB_POSITION* pos, void* value);
  void RemoveAt(__DB_POSITION* pos);
  void RemoveAll();

  // Null when the index is negative or not below the count.
  __DB_POSITION* FindIndex(int index) const;
  // The first node after `startAfter` (from the head when null) holding
  // `value`; null when none. The node at `startAfter` is not considered.
  __DB_POSITION* Find(void* value, __DB_POSITION* startAfter = nullptr) const;

 protected:
  struct CNode {
    CNode* pNext;
    CNode* pPrev;
    void* data;
  };
  // One heap allocation: the link to the previous block, then the nodes.
  struct CBlock {
    CBlock* pNext;
    CNode* Nodes() { return reinterpret_cast<CNode*>(this + 1); }
  };

  // A node from the free list (a new block when it is empty), linked to
  // nothing yet, value null; the count goes up.
  CNode* NewNode(CNode* prev, CNode* next);
  // Returns the node to the free list; at count 0 everything is freed.
  void FreeNode(CNode* node);

  static __DB_POSITION* Position(CNode* node) { return reinterpret_cast<__DB_POSITION*>(node); }
  static CNode* Node(__DB_POSITION* pos) { return reinterpret_cast<CNode*>(pos); }

  CNode* m_pNodeHead;
  CNode* m_pNodeTail;
  int m_nCount;
  CNode* m_pNodeFree;
  CBlock* m_pBlocks;
  int m_nBlockSize;
};
