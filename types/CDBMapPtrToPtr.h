// types/CDBMapPtrToPtr.h: CDBMapPtrToPtr, a hash map from untyped pointers
// to untyped pointers.
//
// Thread-safety: caller must synchronize; a map must not be used from two
// threads at once.
// Ownership: the map owns its bucket table (allocated on first need, of
// GetHashTableSize() buckets, never resized) and its entries, which come
// from blocks of m_nBlockSize entries allocated with operator new; freed
// entries go to a free list and the table and every block are returned at
// once when the map becomes empty. Keys and values are not owned.
//
// Hashing: bucket = (low 32 bits of the key >> 4) mod table size; a new
// entry goes to the front of its bucket's chain. Iteration runs by bucket
// index and, within a bucket, from the most recently added entry. With the
// default 17 buckets large maps have long chains: call InitHashTable first
// when the size is known.
//
// Positions: GetStartPosition gives the before-start position (all bits
// set) and GetNextAssoc moves through the entries; null ends the walk. A
// position is invalid once its entry is removed. A block size below 1 is
// taken as 1; a table size of 0 behaves as one bucket.
// Allocation failures throw std::bad_alloc; the map is unchanged except that
// a table allocated by operator[] stays.
//
// Choices made for this implementation: copy construction and assignment
// copy the entries into a table and blocks of the target's own, with the
// source's table size and the same iteration order (the target keeps its
// block size); two maps never share entries, tables or blocks.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/types/CTPtrList.h>

class KORVO_API CDBMapPtrToPtr {
 public:
  explicit CDBMapPtrToPtr(int blockSize = 10);
  CDBMapPtrToPtr(const CDBMapPtrToPtr& other);
  ~CDBMapPtrToPtr();
  CDBMapPtrToPtr& operator=(const CDBMapPtrToPtr& other);

  int GetCount() const { return m_nCount; }
  int IsEmpty() const { return m_nCount == 0 ? 1 : 0; }
  unsigned int GetHashTableSize() const { return m_nHashTableSize; }
  unsigned int HashKey(void* key) const;

  // Frees any table, then sets the table size; allocates the (empty) table
  // at once when `allocateNow` is non-zero, else on first need.
  // REQUIRES: an empty map (entries present are no longer found).
  void InitHashTable(unsigned int hashSize, int allocateNow = 1);

  // 1 and the value when the key is present, else 0.
  int Lookup(void* key, void*& value) const;
  // The value stored for the key, created null when absent; the reference
  // stays valid until the entry is removed.
  void*& operator[](void* key);
  void SetAt(void* key, void* value) { (*this)[key] = value; }
  // 1 when the key was present and is removed, else 0.
  int RemoveKey(void* key);
  void RemoveAll();

  __DB_POSITION* GetStartPosition() const;
  // The key and value at `pos`, moving `pos` to the next entry (null after
  // the last). REQUIRES: `pos` from GetStartPosition or a previous call.
  void GetNextAssoc(__DB_POSITION*& pos, void*& key, void*& value) const;

 protected:
  struct CAssoc {
    CAssoc* pNext;
    void* key;
    void* value;
  };
  // One heap allocation: the link to the previous block, then the entries.
  struct CBlock {
    CBlock* pNext;
    CAssoc* Entries() { return reinterpret_cast<CAssoc*>(this + 1); }
  };

  // An entry from the free list (a new block when it is empty), key and
  // value null; the count goes up. The caller links it.
  CAssoc* NewAssoc();
  // Returns the entry to the free list; at count 0 everything is freed.
  void FreeAssoc(CAssoc* assoc);
  // The entry for the key or null; `bucket` gets the key's bucket index.
  CAssoc* GetAssocAt(void* key, unsigned int& bucket) const;
  // The value for the key, or null.
  void* GetValueAt(void* key) const;

  CAssoc** m_pHashTable;
  unsigned int m_nHashTableSize;
  int m_nCount;
  CAssoc* m_pFreeList;
  CBlock* m_pBlocks;
  int m_nBlockSize;

 private:
  unsigned int Buckets() const { return m_nHashTableSize == 0 ? 1 : m_nHashTableSize; }
  void AllocateTable();
  void CopyFrom(const CDBMapPtrToPtr& other);
};
