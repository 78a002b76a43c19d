// ado/member_fill.cpp: the fills of ado/member_fill_internal.h, and the
// member fill of a provider cell.
#include <korvo/ado/member_fill_internal.h>
#include <korvo/ado/providers/postgresql/pg_cursor.h>
#include <korvo/ado/providers/sqlite/sqlite_cursor.h>
#include <korvo/ado/recordset_data_internal.h>
#include <korvo/ado/recordset_state_internal.h>
#include <korvo/ado/row_access_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/platform/codepage.h>
#include <korvo/platform/codepage_internal.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/platform/local_time_internal.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace korvo::ado {
namespace {

using provider::Cell;
using provider::CellType;

// The text's length as a string length; false when it is longer than a
// string can be (the VARIANT route then reports what that gives).
bool StringLength(size_t size, int* length) {
  if (size > static_cast<size_t>(INT32_MAX / 2)) return false;
  *length = static_cast<int>(size);
  return true;
}

// An integer cell as the 32-bit value the long and int getters store: the
// change of a 64-bit integer to VT_I4, which fails (1029) outside 32 bits.
// An INTEGER or SMALLINT column (a server's int4 and int2) gives the same
// value while its own type holds it; anything else takes the getter.
bool Int32Of(const Cell& cell, VARTYPE target, int32_t* out) {
  if (cell.type != CellType::kInt) return false;
  switch (target) {
    case VT_I8:
    case VT_EMPTY:
    case VT_I4:
      if (cell.i < INT32_MIN || cell.i > INT32_MAX) return false;
      break;
    case VT_I2:
      if (cell.i < INT16_MIN || cell.i > INT16_MAX) return false;
      break;
    default:
      return false;
  }
  *out = static_cast<int32_t>(cell.i);
  return true;
}

// The calendar fields of a stored date text the plain reader takes.
bool DateFieldsOf(const Cell& cell, VARTYPE target, SYSTEMTIME* fields) {
  return target == VT_DATE && cell.type == CellType::kText &&
         SplitPlainIsoDate(cell.data, cell.size, fields);
}

// AnsiIsUtf8's answer, once asked. The code page is read once per process,
// so first asks that race store the same answer.
enum : unsigned char { kAnsiNotAsked, kAnsiOther, kAnsiUtf8 };
std::atomic<unsigned char> g_ansiIsUtf8{kAnsiNotAsked};

[[gnu::noinline]] bool AskAnsiIsUtf8() {
  const bool utf8 = platform::IsUtf8CodePage(CP_ACP);
  g_ansiIsUtf8.store(utf8 ? kAnsiUtf8 : kAnsiOther, std::memory_order_relaxed);
  return utf8;
}

// FillNarrowText for the text CopyShortAscii does not take. (Out of line:
// the short text's path stays short where it is inlined.)
[[gnu::noinline]] bool FillNarrowTextLongWay(const char* bytes, size_t size, CTString& out) {
  int length = 0;
  if (!IsPlainUtf8(bytes, size) || !StringLength(size, &length)) return false;
  char* buffer = out.GetBufferSetLength(length);
  if (length != 0) std::memcpy(buffer, bytes, size);
  return true;
}

// FillNarrowText, inlined in the member fill.
inline bool FillNarrow(const char* bytes, size_t size, CTString& out) {
  if (!AnsiIsUtf8()) return false;
  // Short ASCII text (most of it) is checked and copied in one pass.
  if (CopyShortAscii(bytes, size,
                     [&out](size_t n) { return out.GetBufferSetLength(static_cast<int>(n)); })) {
    return true;
  }
  return FillNarrowTextLongWay(bytes, size, out);
}

}  // namespace

bool AnsiIsUtf8() {
  // Asked for every text cell: one comparison once answered.
  const unsigned char known = g_ansiIsUtf8.load(std::memory_order_relaxed);
  if (known == kAnsiUtf8) return true;
  if (known == kAnsiOther) return false;
  return AskAnsiIsUtf8();
}

bool FillNarrowText(const char* bytes, size_t size, CTString& out) {
  return FillNarrow(bytes, size, out);
}

bool FillWideText(const char* bytes, size_t size, CTWString& out) {
  int length = 0;
  if (!IsPlainUtf8(bytes, size) || !StringLength(size, &length)) return false;
  if (length == 0) {
    out.Empty();
    return true;
  }
  const int units = MultiByteToWideChar(CP_UTF8, 0, bytes, length, nullptr, 0);
  if (units <= 0) return false;
  WCHAR* buffer = out.GetBufferSetLength(units);
  MultiByteToWideChar(CP_UTF8, 0, bytes, length, buffer, units);
  return true;
}

KORVO_HOT bool FillTextBuffer(const char* bytes, size_t size, char* buffer, int buffer_size) {
  if (!AnsiIsUtf8()) return false;
  // Short ASCII text that fits whole is checked and copied in one pass.
  if (size < static_cast<size_t>(buffer_size) && CopyShortAscii(bytes, size, [buffer](size_t n) {
        buffer[n] = '\0';
        return buffer;
      })) {
    return true;
  }
  if (!IsPlainUtf8(bytes, size)) return false;
  const size_t count = std::min(size, static_cast<size_t>(buffer_size) - 1);
  std::memcpy(buffer, bytes, count);
  buffer[count] = '\0';
  return true;
}

void StoreLocalTime(const SYSTEMTIME& fields, CTTime& out) {
  if (fields.wYear < 1900) {
    out = static_cast<__int64>(0);
    return;
  }
  const __time64_t seconds = platform::LocalTimeToTime64(
      fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond);
  out = static_cast<__int64>(seconds == -1 ? 0 : seconds);
}

void StoreTimestamp(const SYSTEMTIME& fields, TIMESTAMP_STRUCT* out) {
  out->year = static_cast<short>(fields.wYear);
  out->month = fields.wMonth;
  out->day = fields.wDay;
  out->hour = fields.wHour;
  out->minute = fields.wMinute;
  out->second = fields.wSecond;
  out->fraction = 0;
}

namespace {

// A value (not null) into a member of kind K, where the getter would store
// the same; `target` is the column's VARIANT type.
template <MemberKind K>
bool FillValueAs(const Cell& cell, VARTYPE target, void* member, int size) {
  // Text reaches a text or untyped field as it is.
  const bool text = cell.type == CellType::kText && (target == VT_BSTR || target == VT_EMPTY);
  int32_t number = 0;
  SYSTEMTIME fields;
  if constexpr (K == MemberKind::kLong) {
    if (!Int32Of(cell, target, &number)) return false;
    *static_cast<long*>(member) = number;
    return true;
  } else if constexpr (K == MemberKind::kInt) {
    if (!Int32Of(cell, target, &number)) return false;
    *static_cast<int*>(member) = number;
    return true;
  } else if constexpr (K == MemberKind::kDouble) {
    if (cell.type != CellType::kReal || (target != VT_R8 && target != VT_EMPTY)) return false;
    *static_cast<double*>(member) = cell.r;
    return true;
  } else if constexpr (K == MemberKind::kText) {
    return text && FillNarrow(cell.data, cell.size, *static_cast<CTString*>(member));
  } else if constexpr (K == MemberKind::kWideText) {
    return text && FillWideText(cell.data, cell.size, *static_cast<CTWString*>(member));
  } else if constexpr (K == MemberKind::kTextBuffer) {
    return text && size > 0 &&
           FillTextBuffer(cell.data, cell.size, static_cast<char*>(member), size);
  } else if constexpr (K == MemberKind::kTime) {
    if (!DateFieldsOf(cell, target, &fields)) return false;
    StoreLocalTime(fields, *static_cast<CTTime*>(member));
    return true;
  } else {
    static_assert(K == MemberKind::kTimestamp);
    if (!DateFieldsOf(cell, target, &fields)) return false;
    StoreTimestamp(fields, static_cast<TIMESTAMP_STRUCT*>(member));
    return true;
  }
}

FillResult FillCell(const Cell& cell, bool (*fill_value)(const Cell&, VARTYPE, void*, int),
                    VARTYPE target, void* member, int size) {
  if (cell.type == CellType::kNull) return FillResult::kNull;
  return fill_value(cell, target, member, size) ? FillResult::kFilled : FillResult::kNotFilled;
}

// The value fills by kind, in MemberKind's order.
using ValueFill = bool (*)(const Cell&, VARTYPE, void*, int);
constexpr ValueFill kValueFills[] = {
    &FillValueAs<MemberKind::kLong>,      &FillValueAs<MemberKind::kInt>,
    &FillValueAs<MemberKind::kDouble>,    &FillValueAs<MemberKind::kText>,
    &FillValueAs<MemberKind::kWideText>,  &FillValueAs<MemberKind::kTime>,
    &FillValueAs<MemberKind::kTimestamp>, &FillValueAs<MemberKind::kTextBuffer>,
};

static_assert(std::size(kValueFills) == static_cast<size_t>(MemberKind::kTextBuffer) + 1);

ValueFill ValueFillFor(MemberKind kind) { return kValueFills[static_cast<int>(kind)]; }

// The current row's cell as Field.Value reads it (the edit buffer's value
// where it holds one); false when no row is current.
bool ReadRowCell(const void* source, int column, Cell* cell) {
  const auto& data = *static_cast<const RecordsetData*>(source);
  if (data.edit.mode == adEditNone) {
    // PositionOf and EditedCell without an edit, spelt out: this runs for
    // every member of every row.
    if (!data.cursor->on_row()) return false;
    *cell = data.cursor->Get(column);
  } else {
    if ((PositionOf(data) & kOnRow) == 0) return false;
    *cell = EditedCell(data, column);
  }
  return true;
}

// ReadRowCell over a snapshot, the cursor's type known when the fill is
// resolved: the same reads without the virtual calls.
bool ReadSnapshotRowCell(const void* source, int column, Cell* cell) {
  const auto& data = *static_cast<const RecordsetData*>(source);
  if (data.edit.mode != adEditNone) return ReadRowCell(source, column, cell);
  auto& cursor = static_cast<SnapshotCursor&>(*data.cursor);
  if (!cursor.on_row()) return false;
  *cell = cursor.Get(column);
  return true;
}

// How a resolved fill reads its cell: through the reader it holds, or
// through one known here, called directly (and inlined where it can be).
struct ReadThroughPointer {
  static bool Read(const ResolvedFill& fill, Cell* cell) {
    return fill.read(fill.source, fill.column, cell);
  }
};
template <provider::Statement::CellReadFn kRead>
struct ReadDirectly {
  static bool Read(const ResolvedFill& fill, Cell* cell) {
    return kRead(fill.source, fill.column, cell);
  }
};

template <MemberKind K, class Reader>
KORVO_HOT FillResult FillThrough(const ResolvedFill& fill, void* member, int size) {
  Cell cell;
  if (member == nullptr || !Reader::Read(fill, &cell)) return FillResult::kNotFilled;
  return FillCell(cell, &FillValueAs<K>, fill.target, member, size);
}

// The resolved fills by kind, in MemberKind's order, for a way of reading.
template <class Reader>
constexpr ResolvedFill::Fn kResolvedFills[] = {
    &FillThrough<MemberKind::kLong, Reader>,      &FillThrough<MemberKind::kInt, Reader>,
    &FillThrough<MemberKind::kDouble, Reader>,    &FillThrough<MemberKind::kText, Reader>,
    &FillThrough<MemberKind::kWideText, Reader>,  &FillThrough<MemberKind::kTime, Reader>,
    &FillThrough<MemberKind::kTimestamp, Reader>, &FillThrough<MemberKind::kTextBuffer, Reader>,
};

ResolvedFill::Fn ResolvedFillFor(provider::Statement::CellReadFn read, MemberKind kind) {
  using provider::postgresql::PgStatement;
  using provider::sqlite::SqliteStatement;
  const auto index = static_cast<size_t>(kind);
  if (read == &ReadRowCell) return kResolvedFills<ReadDirectly<&ReadRowCell>>[index];
  if (read == &ReadSnapshotRowCell)
    return kResolvedFills<ReadDirectly<&ReadSnapshotRowCell>>[index];
  if (read == &SqliteStatement::ReadCell)
    return kResolvedFills<ReadDirectly<&SqliteStatement::ReadCell>>[index];
  if (read == &PgStatement::ReadCell)
    return kResolvedFills<ReadDirectly<&PgStatement::ReadCell>>[index];
  return kResolvedFills<ReadThroughPointer>[index];
}

// The column's VARIANT type, or false when `column` is outside the row.
bool ColumnTarget(const RecordsetData& data, long column, VARTYPE* target) {
  if (!data.cursor) return false;
  const std::vector<provider::ColumnInfo>& columns = data.cursor->columns();
  if (column < 0 || static_cast<size_t>(column) >= columns.size()) return false;
  *target = VarTypeFor(columns[static_cast<size_t>(column)].ado_type);
  return true;
}

}  // namespace

FillResult FillMemberFromCell(const Cell& cell, int32_t ado_type, MemberKind kind, void* member,
                              int size) {
  return FillCell(cell, ValueFillFor(kind), VarTypeFor(ado_type), member, size);
}

FillResult FillRowMember(const RecordsetData& data, long column, MemberKind kind, void* member,
                         int size) {
  VARTYPE target = VT_EMPTY;
  Cell cell;
  if (member == nullptr || !ColumnTarget(data, column, &target) ||
      !ReadRowCell(&data, static_cast<int>(column), &cell)) {
    return FillResult::kNotFilled;
  }
  return FillCell(cell, ValueFillFor(kind), target, member, size);
}

bool ResolveRowFill(const RecordsetData& data, long column, MemberKind kind, ResolvedFill* out) {
  VARTYPE target = VT_EMPTY;
  if (!ColumnTarget(data, column, &target)) return false;
  ResolvedFill fill;
  // Without a writer nothing is ever edited: the cells are the cursor's.
  if (data.writer || !data.cursor->StatementCells(&fill.read, &fill.source)) {
    const bool snapshot = dynamic_cast<const SnapshotCursor*>(data.cursor.get()) != nullptr;
    fill.read = snapshot ? &ReadSnapshotRowCell : &ReadRowCell;
    fill.source = &data;
  }
  fill.fill = ResolvedFillFor(fill.read, kind);
  fill.column = static_cast<int>(column);
  fill.target = target;
  fill.kind = kind;
  fill.generation = &data.generation;
  fill.resolved_at = data.generation;
  *out = fill;
  return true;
}

}  // namespace korvo::ado
