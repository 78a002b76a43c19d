// types/CTLongBinary.h: CTLongBinary, the buffer for long binary (BLOB)
// column values, kept on the process heap.
//
// Thread-safety: caller must synchronize; one object is used by one thread
// at a time. Distinct objects are independent.
// Ownership: the object owns its block (m_pData) on the process heap
// (GetProcessHeap, allocated and grown with HEAP_ZERO_MEMORY, so bytes added
// by growth read as zero) and releases it with HeapFree. GetParam lends the
// block out; it stays owned by the object.
//
// Layout: m_pData (block or null), m_nDataLength (data bytes, 64-bit).
// SetParam keeps the block exactly m_nDataLength bytes long; readers that
// fill the block directly may leave it larger, only the first m_nDataLength
// bytes being data. Every length reported is the low 32 bits of
// m_nDataLength.
//
// Failures: SetParam reports a failed heap allocation by returning
// 0xFFFFFFFF and keeps its block and length; it never throws.
//
// Choices made for this implementation:
// - Copy construction and assignment copy the data bytes into a process-heap
//   block of the target's own (exactly m_nDataLength bytes; none when the
//   source is empty); two objects never own one block. When that block
//   cannot be allocated they throw std::bad_alloc and the target keeps what
//   it had.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

class KORVO_API CTLongBinary {
 public:
  CTLongBinary();
  CTLongBinary(const CTLongBinary& other);
  ~CTLongBinary();
  CTLongBinary& operator=(const CTLongBinary& other);

  // With `count` > 0 and a source: writes `count` bytes at offset 0 (the
  // length becomes `count`) or, with `append`, after the current data (the
  // length grows by `count`); returns the new length, or 0xFFFFFFFF when the
  // heap refuses the block (nothing changed). With no bytes to write:
  // `append` on non-empty data returns the length and changes nothing;
  // otherwise the data is emptied, the block released, and 0 returned.
  // `source` may point into this object's own data.
  DWORD SetParam(const BYTE* source, DWORD count, int append = 0);
  // Lends the block: `data` and `length` get the block and the length, or
  // null and 0 when there is no data; returns the length. The block stays
  // the object's, valid until the next SetParam or the destruction.
  DWORD GetParam(BYTE*& data, DWORD& length) const;
  // Copies min(length, destinationLength) bytes into `destination`, or, when
  // there is no data, zero-fills all destinationLength bytes. Returns the
  // full data length, which exceeds destinationLength when the copy was cut.
  // A null destination with length 0 just asks for the length.
  DWORD GetParam2(void* destination, DWORD destinationLength) const;

  void* m_pData;
  ULONGLONG m_nDataLength;

 private:
  void Release();
};
