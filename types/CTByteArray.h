// types/CTByteArray.h: CTByteArray, a growable array of bytes for binary
// columns of bounded length.
//
// Thread-safety: caller must synchronize; one object is used by one thread
// at a time. Distinct objects are independent.
// Ownership: the array owns its block (m_pData), which comes from new[] and
// is released with delete[]; Attach takes over a caller's new[] block and
// Detach gives the block away. Nothing is shared between two arrays.
//
// Layout: m_pData, m_nSize (bytes in use), m_nMaxSize (capacity), m_nGrowBy
// (growth step, 0 = automatic). A null m_pData means no block, whatever the
// other members hold. Bytes between m_nSize and m_nMaxSize are undefined.
//
// Growth (SetSize): the first allocation is exact; later growth adds
// m_nGrowBy bytes, or with the automatic step m_nSize / 8 clamped to
// 4..1024, so adding byte by byte gives capacities 1, 5, 9, 13, ... and
// beyond 8192 bytes steps of 1024. Callers that know the final size call
// SetSize once.
//
// Indexes, sizes and counts are not checked: REQUIRES non-negative sizes and
// counts, and indexes within the array where an operation reads or writes
// without growing (GetAt, SetAt, ElementAt, operator[], RemoveAt).
//
// Failures: a failed allocation throws std::bad_alloc and leaves the array's
// block, size and capacity as they were (a growth step passed to SetSize is
// already stored).
//
// Choices made for this implementation:
// - Copy construction and assignment copy the bytes into a block of the
//   target's own (as Copy does); two arrays never own one block.
// - GetParamEx throws std::bad_alloc when the caller's block cannot be
//   allocated or grown; the caller's pointer then still holds its old block
//   (still the caller's to free) and the count has been set to GetSize().
// - Append and InsertAt with the array itself as source work as if a copy of
//   the source had been taken first.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

class KORVO_API CTByteArray {
 public:
  CTByteArray();
  CTByteArray(const CTByteArray& other);
  ~CTByteArray();
  CTByteArray& operator=(const CTByteArray& other);

  int GetSize() const { return m_nSize; }
  int GetUpperBound() const { return m_nSize - 1; }
  // Sets the size (see Growth above). `growBy` -1 keeps the growth step;
  // any other value, 0 included, replaces it first. Size 0 releases the
  // block. New bytes up to the size read as zero.
  void SetSize(int newSize, int growBy = -1);
  // Shrinks the block to the size in use; no block when the size is 0.
  void FreeExtra();
  // Releases the block; size and capacity 0; the growth step stays.
  void RemoveAll();

  BYTE GetAt(int index) const { return m_pData[index]; }
  void SetAt(int index, BYTE value) { m_pData[index] = value; }
  BYTE& ElementAt(int index) { return m_pData[index]; }
  BYTE& operator[](int index) { return m_pData[index]; }
  BYTE operator[](int index) const { return m_pData[index]; }
  // The block (null when there is none); valid until the next operation
  // that changes the size or capacity.
  const BYTE* GetData() const { return m_pData; }
  BYTE* GetData() { return m_pData; }

  // Grows to index + 1 when needed, then stores the byte.
  void SetAtGrow(int index, BYTE value);
  // Appends one byte; returns its index.
  int Add(BYTE value);
  // Appends the source's bytes; returns the index of the first of them.
  int Append(const CTByteArray& source);
  // Makes this array a copy of the source (the capacity may stay larger).
  void Copy(const CTByteArray& source);
  // Inserts `count` copies of `value` at `index`; an index beyond the end
  // first extends the array with zero bytes up to it.
  void InsertAt(int index, BYTE value, int count = 1);
  // Inserts all bytes of `source` at `startIndex`; an empty or null source
  // changes nothing.
  void InsertAt(int startIndex, CTByteArray* source);
  // Removes `count` bytes from `index`; the capacity stays.
  void RemoveAt(int index, int count = 1);

  // Releases the current block and takes ownership of `data` (from new[])
  // holding `size` bytes; size and capacity become `size`.
  void Attach(BYTE* data, int size);
  // Gives up the block without releasing it: the caller must have taken it
  // from GetData() and now owns it (release with delete[]). Size becomes 0.
  void Detach();

  // Copies `count` bytes from `source` to the start of the array and makes
  // the size `count`; returns `count`. A count of 0 changes nothing and
  // returns 0.
  DWORD SetParam(const char* source, DWORD count);
  // Hands the caller a copy in a C-runtime block (malloc/realloc) of
  // GetSize() + 1 bytes, the last byte unwritten; `block` is null or a block
  // of the caller's from the C runtime heap, reused with realloc. Sets
  // `count` and returns GetSize(). An array of 0 or 1 bytes counts as empty:
  // the caller's block is freed, `block` null, `count` 0, returns 0. The
  // caller releases the block with free().
  DWORD GetParamEx(char*& block, DWORD& count) const;

  BYTE* m_pData;
  int m_nSize;
  int m_nMaxSize;
  int m_nGrowBy;

 private:
  void ReleaseBlock();
};
