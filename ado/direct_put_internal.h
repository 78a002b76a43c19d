// ado/direct_put_internal.h: the setters' put into a column of Korvo's own
// ADO recordset, resolved once per open so that every row after writes
// its values without the interface call, the column lookup and the Field
// object of IKorvoRowAccess::PutCell. Not installed.
//
// The interface is found with QueryInterface(KORVO_UUIDOF(IKorvoDirectPut))
// on a _Recordset; a recordset from elsewhere answers E_NOINTERFACE.
// Thread-safety: as the recordset (one thread at a time).
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/ado/row_access.h>

#include <cstddef>
#include <cstdint>

// The put of one column, resolved for the cursor open now. While Current()
// holds, Put(cell) is exactly IKorvoRowAccess::PutCell(column, cell): the
// same value in the edit buffer, the same failure and error information.
// A new open, a requery or a close of the recordset ends it. It points
// into the recordset: the holder keeps a reference to it.
struct ResolvedPut {
  using Fn = HRESULT (*)(const ResolvedPut& put, const RowCell& cell);
  using TextFn = HRESULT (*)(const ResolvedPut& put, const char* bytes, size_t size);
  Fn put = nullptr;  // null: nothing resolved
  // The put of a VT_BSTR cell of `size` bytes of UTF-8 that the caller
  // found plain (IsPlainUtf8), without checking it again.
  TextFn put_plain_text = nullptr;
  void* data = nullptr;                  // the recordset's data
  Field* field = nullptr;                // the column's Field: it makes every other put
  int column = 0;                        // 0-based
  int32_t ado_type = 0;                  // the column's DataTypeEnum
  const uint64_t* generation = nullptr;  // the recordset's count of opens and closes
  uint64_t resolved_at = 0;

  bool Current() const { return put != nullptr && *generation == resolved_at; }
  HRESULT Put(const RowCell& cell) const { return put(*this, cell); }
  HRESULT PutPlainText(const char* bytes, size_t size) const {
    return put_plain_text(*this, bytes, size);
  }
};

struct IKorvoDirectPut : IUnknown {
  // Resolves the put of `column` (0-based); false (nothing written) while
  // closed or for a column outside the row.
  virtual bool ResolvePut(long column, ResolvedPut* out) = 0;

 protected:
  ~IKorvoDirectPut() = default;
};

KORVO_DEFINE_UUID(IKorvoDirectPut, "6b6f7276-6f00-4ad0-8002-000000000105")
