// recordset/direct_values.cpp: the direct route of the typed accessors
// (recordset_access_internal.h): finding Korvo's own row access once per
// ADO recordset, reading raw cells, filling text members from UTF-8 and
// putting values without a Field object.
#include <korvo/ado/member_fill_internal.h>
#include <korvo/ado/row_access_internal.h>
#include <korvo/recordset/direct_values_internal.h>
#include <korvo/recordset/recordset_access_internal.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace korvo::recordset {
namespace detail {
std::atomic<bool> g_forceVariantRoute{false};
}  // namespace detail

void TEST_ForceVariantRoute(bool force) { detail::g_forceVariantRoute = force; }

bool FillText(const RowCell& cell, CTString& out) {
  return cell.vt == VT_BSTR && ado::FillNarrowText(cell.bytes, cell.size, out);
}

bool FillText(const RowCell& cell, CTWString& out) {
  return cell.vt == VT_BSTR && ado::FillWideText(cell.bytes, cell.size, out);
}

bool FillTextBuffer(const RowCell& cell, char* buffer, int nSize) {
  return cell.vt == VT_BSTR && ado::FillTextBuffer(cell.bytes, cell.size, buffer, nSize);
}

bool TextCell(const CTString& text, RowCell* cell) {
  const char* bytes = text;
  const auto size = static_cast<size_t>(text.GetLength());
  if (!ado::AnsiIsUtf8() || !ado::IsPlainUtf8(bytes, size)) return false;
  cell->vt = VT_BSTR;
  cell->bytes = bytes;
  cell->size = size;
  return true;
}

// ------------------------------------------------------------ RecordsetAccess

IKorvoRowAccess* RecordsetAccess::RowAccess(CRecordset& rs) {
  if (VariantRouteForced()) return nullptr;
  RowShortcuts& memo = rs.m_shortcuts;
  _Recordset* current = rs.m_pRecordset.GetInterfacePtr();
  if (!memo.asked || memo.accessOf != current) {
    // Asked once per ADO recordset: a new Open or Requery, or another
    // recordset attached, is a different object.
    memo.fills.reset();  // they point into the recordset asked before
    memo.puts.reset();
    memo.putTable = nullptr;
    memo.putCount = 0;
    memo.fillTable = nullptr;
    memo.fillCount = 0;
    memo.eofReader = nullptr;
    memo.access = nullptr;
    memo.fill = nullptr;
    memo.put = nullptr;
    if (current != nullptr) {
      IKorvoRowAccess* access = nullptr;
      if (SUCCEEDED(current->QueryInterface(KORVO_UUIDOF(IKorvoRowAccess),
                                            reinterpret_cast<void**>(&access)))) {
        memo.access.Attach(access);
      }
      IKorvoMemberFill* fill = nullptr;
      if (SUCCEEDED(current->QueryInterface(KORVO_UUIDOF(IKorvoMemberFill),
                                            reinterpret_cast<void**>(&fill)))) {
        memo.fill.Attach(fill);
      }
      IKorvoDirectPut* put = nullptr;
      if (SUCCEEDED(current->QueryInterface(KORVO_UUIDOF(IKorvoDirectPut),
                                            reinterpret_cast<void**>(&put)))) {
        memo.put.Attach(put);
      }
    }
    memo.accessOf = current;
    memo.asked = true;
  }
  return memo.access.GetInterfacePtr();
}

FillResult RecordsetAccess::ResolveAndFill(CRecordset& rs, short n, MemberKind kind, void* member,
                                           int size) {
  if (RowAccess(rs) == nullptr || n < 1) return FillResult::kNotFilled;
  RowShortcuts& memo = rs.m_shortcuts;
  // Held as its IUnknown (the public header does not know the interface).
  auto* fill = static_cast<IKorvoMemberFill*>(memo.fill.GetInterfacePtr());
  if (fill == nullptr) return FillResult::kNotFilled;
  if (!memo.fills) memo.fills = std::make_shared<std::vector<ResolvedFill>>();
  auto& fills = *static_cast<std::vector<ResolvedFill>*>(memo.fills.get());
  if (fills.size() < static_cast<size_t>(n)) {
    fills.resize(static_cast<size_t>(n));
    memo.fillTable = fills.data();
    memo.fillCount = fills.size();
  }
  ResolvedFill& resolved = fills[static_cast<size_t>(n - 1)];
  if (fill->ResolveFill(n - 1, kind, &resolved)) {
    // The open's fills are resolved on its first row; so is its EOF.
    ResolvedEof eof;
    if ((memo.eofReader == nullptr || *memo.eofGeneration != memo.eofResolvedAt) &&
        fill->ResolveEof(&eof)) {
      memo.eofReader = eof.at_eof;
      memo.eofCursor = eof.cursor;
      memo.eofGeneration = eof.generation;
      memo.eofResolvedAt = eof.resolved_at;
    }
    return resolved.Fill(member, size);
  }
  return fill->FillMember(n - 1, kind, member, size);
}

bool RecordsetAccess::ReadCell(CRecordset& rs, short n, RowCell* cell) {
  IKorvoRowAccess* access = RowAccess(rs);
  if (access == nullptr || n < 1) return false;
  RowShortcuts& memo = rs.m_shortcuts;
  if (memo.bindingPass != nullptr) {
    // A binding pass reads every member of one row: the row comes in one
    // call, not one per member.
    if (!memo.rowLoaded) {
      const long count = std::min(access->ColumnCount(), static_cast<long>(rs.m_nFields));
      memo.row.resize(static_cast<size_t>(std::max(count, 0L)));
      memo.rowUsable = access->GetRow(count, memo.row.data()) == S_OK;
      memo.rowLoaded = true;
    }
    if (memo.rowUsable && static_cast<size_t>(n) <= memo.row.size()) {
      *cell = memo.row[static_cast<size_t>(n - 1)];
      return cell->vt != VT_EMPTY;
    }
  }
  return access->GetCell(n - 1, cell) == S_OK;
}

bool RecordsetAccess::ScalarCellToVariant(const RowCell& cell, VARIANT& value) {
  return ado::ScalarRowCellToVariant(cell, &value);
}

void RecordsetAccess::RememberMapping(CRecordset& rs, void* member, unsigned int fieldNumber) {
  rs.m_mapFieldIndex[member] = reinterpret_cast<void*>(static_cast<uintptr_t>(fieldNumber));
  RowShortcuts& memo = rs.m_shortcuts;
  if (fieldNumber == 0 || fieldNumber > rs.m_nFields) return;  // kept out of the memo
  // A member is mapped to one number: an older memo of it elsewhere is gone.
  std::replace(memo.mapped.begin(), memo.mapped.end(), member, static_cast<void*>(nullptr));
  if (memo.mapped.size() < fieldNumber) memo.mapped.resize(fieldNumber, nullptr);
  memo.mapped[fieldNumber - 1] = member;
  memo.mapCount = rs.m_mapFieldIndex.GetCount();
}

void RecordsetAccess::ColumnPut::Find(RowShortcuts& memo) {
  IKorvoRowAccess* access = RowAccess(rs_);
  if (access == nullptr || n_ < 1 || n_ > access->ColumnCount()) {
    rs_.m_GetFieldObject(n_, field_);
    return;
  }
  access_ = access;
  auto* direct = static_cast<IKorvoDirectPut*>(memo.put.GetInterfacePtr());
  if (direct == nullptr) return;
  if (!memo.puts) memo.puts = std::make_shared<std::vector<ResolvedPut>>();
  auto& puts = *static_cast<std::vector<ResolvedPut>*>(memo.puts.get());
  const auto index = static_cast<size_t>(n_ - 1);
  if (puts.size() <= index) {
    puts.resize(index + 1);
    memo.putTable = puts.data();
    memo.putCount = puts.size();
  }
  if (direct->ResolvePut(n_ - 1, &puts[index])) resolved_ = &puts[index];
}

void RecordsetAccess::ColumnPut::Value(const VARIANT& value) {
  RowCell cell;
  if (value.vt == VT_NULL) cell.vt = VT_NULL;
  if (access_ != nullptr && (cell.vt == VT_NULL || ado::VariantToScalarRowCell(value, &cell))) {
    PutDirect(cell);
    return;
  }
  PutValue(Field(), value);
}

bool RecordsetAccess::ColumnPut::Scalar(const RowCell& cell) {
  if (access_ == nullptr) return false;
  PutDirect(cell);
  return true;
}

bool RecordsetAccess::ColumnPut::Text(const CTString& text) {
  RowCell cell;
  if (access_ == nullptr || !TextCell(text, &cell)) return false;
  if (resolved_ != nullptr) {
    Check(resolved_->PutPlainText(cell.bytes, cell.size));
  } else {
    PutDirect(cell);
  }
  return true;
}

void RecordsetAccess::ColumnPut::PutDirect(const RowCell& cell) {
  Check(resolved_ != nullptr ? resolved_->Put(cell) : access_->PutCell(n_ - 1, cell));
}

void RecordsetAccess::ColumnPut::Check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_errorex(hr, access_, KORVO_UUIDOF(IKorvoRowAccess));
}

FieldPtr& RecordsetAccess::ColumnPut::Field() {
  if (!field_) rs_.m_GetFieldObject(n_, field_);
  return field_;
}

}  // namespace korvo::recordset
