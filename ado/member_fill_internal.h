// ado/member_fill_internal.h: filling a bound member variable straight
// from the current row of Korvo's own ADO recordset, without a RowCell, a
// VARIANT or a BSTR in between (the binding pass of a recordset reads
// every member of every row this way). Not installed.
//
// The interface is found with QueryInterface(KORVO_UUIDOF(IKorvoMemberFill))
// on a _Recordset; a recordset from elsewhere answers E_NOINTERFACE. A fill
// happens only where its result is exactly what the recordset's typed
// getter would store through the VARIANT route; every other cell (null,
// a number stored as text, a value out of the member's range, text that is
// not plain UTF-8 or an ANSI code page other than UTF-8, a date the plain
// reader does not take) is left to that getter, which also reports every
// failure. The fills below are the ones the typed getters' direct route
// shares, so that the routes cannot drift apart.
//
// Thread-safety: as the recordset (one thread at a time); the fills are
// pure apart from the per-thread zone cache of the local time conversion.
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/ado/providers/provider.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTTime.h>
#include <korvo/types/CTWString.h>

#include <cstddef>
#include <cstdint>

// What a member is. The bulk kinds fill one element of a multi-row array.
enum class MemberKind : int {
  kLong,        // long, a 32-bit value (RFX_Long, RFX_Long_Bulk)
  kInt,         // int (RFX_Int, RFX_Int_Bulk)
  kDouble,      // double (RFX_Double, RFX_Double_Bulk)
  kText,        // CTString (RFX_Text, RFX_Text2)
  kWideText,    // CTWString (RFX_Text)
  kTime,        // CTTime (RFX_Date)
  kTimestamp,   // TIMESTAMP_STRUCT (RFX_Date_Bulk)
  kTextBuffer,  // char[size], size > 0, terminated and truncated (RFX_Text_Bulk)
};

// What a fill did.
enum class FillResult : int {
  kFilled,     // the member holds the column's value
  kNull,       // the column is null; the member was not touched
  kNotFilled,  // nothing was touched: read the member through the typed getter
};

// A fill of one column into members of one kind, resolved once for the
// cursor open now (IKorvoMemberFill::ResolveFill), so that every row after
// skips the interface call, the cursor's checks and the kind switch. While
// Current(kind) holds, Fill does exactly what FillMember does; a new open,
// a requery or a close of the recordset ends it. It points into the
// recordset: the holder keeps a reference to it.
struct ResolvedFill {
  using Fn = FillResult (*)(const ResolvedFill& fill, void* member, int size);
  Fn fill = nullptr;  // null: nothing resolved
  korvo::ado::provider::Statement::CellReadFn read = nullptr;
  const void* source = nullptr;  // what `read` is handed
  int column = 0;                // 0-based
  VARTYPE target = VT_EMPTY;     // the column's VARIANT type
  MemberKind kind = MemberKind::kLong;
  const uint64_t* generation = nullptr;  // the recordset's count of opens and closes
  uint64_t resolved_at = 0;

  bool Current(MemberKind member_kind) const {
    return fill != nullptr && kind == member_kind && *generation == resolved_at;
  }
  FillResult Fill(void* member, int size) const { return fill(*this, member, size); }
};

// EOF of the cursor open now, as IKorvoMemberFill::AtEof answers it,
// resolved once per open (IKorvoMemberFill::ResolveEof) so that every row
// after asks it without the interface call. While Current() holds, AtEof()
// is what IKorvoMemberFill::AtEof returns; a new open, a requery or a
// close of the recordset ends it. It points into the recordset: the
// holder keeps a reference to it.
struct ResolvedEof {
  using Fn = bool (*)(const void* cursor);
  Fn at_eof = nullptr;                   // null: nothing resolved
  const void* cursor = nullptr;          // what `at_eof` is handed (the cursor or its statement)
  const uint64_t* generation = nullptr;  // the recordset's count of opens and closes
  uint64_t resolved_at = 0;

  bool Current() const { return at_eof != nullptr && *generation == resolved_at; }
  bool AtEof() const { return at_eof(cursor); }
};

struct IKorvoMemberFill : IUnknown {
  // Fills `member` (of `kind`; `size` is the buffer size of kTextBuffer)
  // with column `column` (0-based) of the current row.
  virtual FillResult FillMember(long column, MemberKind kind, void* member, int size) = 0;
  // Resolves the fill of `column` (0-based) into members of `kind`; false
  // (nothing written) while closed or for a column outside the row.
  virtual bool ResolveFill(long column, MemberKind kind, ResolvedFill* out) = 0;
  // EOF as get_EOF reports it, 1 or 0, without the property call; -1 while
  // closed (get_EOF reports that failure).
  virtual int AtEof() = 0;
  // Resolves AtEof for the cursor open now; false (nothing written) while
  // closed.
  virtual bool ResolveEof(ResolvedEof* out) = 0;

 protected:
  ~IKorvoMemberFill() = default;
};

KORVO_DEFINE_UUID(IKorvoMemberFill, "6b6f7276-6f00-4ad0-8002-000000000104")

namespace korvo::ado {

// Whether the ANSI code page is UTF-8, so that plain UTF-8 text is already
// its narrow form.
bool AnsiIsUtf8();

// The fills themselves, shared by the member fill and the typed getters.
// Each returns false and leaves `out` alone when it does not apply.
// Text: `size` bytes of UTF-8 that are plain (IsPlainUtf8); the narrow form
// also needs the ANSI code page to be UTF-8.
bool FillNarrowText(const char* bytes, size_t size, CTString& out);
bool FillWideText(const char* bytes, size_t size, CTWString& out);
// The truncating, terminated copy into a buffer of `buffer_size` > 0 bytes.
bool FillTextBuffer(const char* bytes, size_t size, char* buffer, int buffer_size);

// Calendar fields (as VariantTimeToSystemTime splits a date) into a local
// CTTime (0 before 1900 or where the local time does not exist) and into a
// TIMESTAMP_STRUCT (no fraction).
void StoreLocalTime(const SYSTEMTIME& fields, CTTime& out);
void StoreTimestamp(const SYSTEMTIME& fields, TIMESTAMP_STRUCT* out);

// IKorvoMemberFill::FillMember for `cell`, the value of a column of
// `ado_type`.
FillResult FillMemberFromCell(const provider::Cell& cell, int32_t ado_type, MemberKind kind,
                              void* member, int size);

struct RecordsetData;
// IKorvoMemberFill::FillMember over `data` (the edit buffer's value where
// it holds one, as Field.Value reads it).
FillResult FillRowMember(const RecordsetData& data, long column, MemberKind kind, void* member,
                         int size);
// IKorvoMemberFill::ResolveFill over `data`. A recordset that cannot be
// edited (a stream) reads its statement's cells directly.
bool ResolveRowFill(const RecordsetData& data, long column, MemberKind kind, ResolvedFill* out);

}  // namespace korvo::ado
