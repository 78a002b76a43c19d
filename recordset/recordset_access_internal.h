// recordset/recordset_access_internal.h: the one friend of CRecordset
// (not installed). The typed column accessors share their read and write
// steps through it (each pattern is written here once), and the RFX_
// functions record their bindings in the field map through it.
#pragma once

#include <korvo/ado/direct_put_internal.h>
#include <korvo/ado/member_fill_internal.h>
#include <korvo/ado/row_access.h>
#include <korvo/com/com_error.h>
#include <korvo/com/variant.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/direct_values_internal.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace korvo::recordset {

// A VARIANT that is cleared when it goes out of scope.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&value_); }
  ~ScopedVariant() { VariantClear(&value_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  VARIANT& get() { return value_; }

 private:
  VARIANT value_;
};

// Pseudo-null values that a bound member holds while its field is null.
inline constexpr int kIntPseudoNull = 32484;
inline constexpr long kLongPseudoNull = 0x4A4D4120;
inline constexpr unsigned char kBytePseudoNull = 255;
inline constexpr int kBoolPseudoNull = 2;
inline constexpr double kDoublePseudoNull = -9.123e19;

// A direct fill for the getters that have none: every cell that is not
// null or a scalar takes the VARIANT route.
inline constexpr auto kNoDirectFill = [](const RowCell&) { return false; };

struct RecordsetAccess {
  // ---------------------------------------------------------------- getters
  // Two routes reach a value. The direct one reads the raw cell of Korvo's
  // own ADO recordset: a null is reported at once, `direct(const RowCell&)`
  // may fill the target from it (text), and a scalar becomes the very
  // VARIANT Field.Value would hold, on the stack. Everything else (a
  // foreign recordset, a column out of range, a cell without a raw form,
  // a text `direct` declines) takes the VARIANT route through the Field,
  // which also reports every failure.

  // Reads column `n` and hands the value to `convert(VARIANT&)` (or to
  // `direct`). A null column is reported through SetFieldNull(target, 1)
  // instead, `target` being the address of the caller's variable or buffer.
  template <class Convert, class Direct = decltype((kNoDirectFill))>
  static void ReadColumn(CRecordset& rs, short n, void* target, Convert&& convert,
                         Direct&& direct = kNoDirectFill) {
    if (ReadDirect(rs, n, direct, convert, [&] { rs.SetFieldNull(target, TRUE); })) return;
    ScopedVariant value;
    rs.m_GetFieldValue(n, value.get());
    if (value.get().vt == VT_NULL) {
      rs.SetFieldNull(target, TRUE);
      return;
    }
    convert(value.get());
  }

  // The multi-row form: the indicator says -1 (null; target untouched) or
  // -2 (value stored).
  template <class Convert, class Direct = decltype((kNoDirectFill))>
  static void ReadBulkColumn(CRecordset& rs, short n, __int64* indicator, Convert&& convert,
                             Direct&& direct = kNoDirectFill) {
    bool null = false;
    if (!ReadDirect(rs, n, direct, convert, [&] { null = true; })) {
      ScopedVariant value;
      rs.m_GetFieldValue(n, value.get());
      if (value.get().vt == VT_NULL) {
        null = true;
      } else {
        convert(value.get());
      }
    }
    *indicator = null ? -1 : -2;
  }

  // The current row's raw cell of column `n` (1-based); false when the
  // VARIANT route must be taken.
  static bool ReadCell(CRecordset& rs, short n, RowCell* cell);

  // The binding passes' shortcut: fills `member` (of `kind`) with column
  // `n` (1-based) straight from Korvo's own ADO recordset, or reports a
  // null column (the caller marks it as the getter would). kNotFilled
  // (nothing touched) wherever the typed getter must read it: every value
  // the getter would convert or refuse, a foreign recordset.
  static FillResult FillMember(CRecordset& rs, short n, MemberKind kind, void* member,
                               int size = 0) {
    // The fill resolved for this field on an earlier row, used as it
    // stands while it is of this ADO recordset and its open (every member
    // of every row comes this way).
    const RowShortcuts& memo = rs.m_shortcuts;
    const auto index = static_cast<size_t>(n - 1);  // n < 1 wraps beyond fillCount
    if (index < memo.fillCount && memo.accessOf == rs.m_pRecordset.GetInterfacePtr() &&
        !VariantRouteForced()) {
      const ResolvedFill& fill = static_cast<const ResolvedFill*>(memo.fillTable)[index];
      if (fill.Current(kind)) return fill.Fill(member, size);
    }
    return ResolveAndFill(rs, n, kind, member, size);
  }

  // ---------------------------------------------------------------- setters

  // Where a setter writes column `n`: the direct route of Korvo's own ADO
  // recordset when it has one and the column is in its row, else the
  // Field (fetched at once, so that its errors come first, as they did
  // before any value was built).
  class ColumnPut {
   public:
    ColumnPut(CRecordset& rs, short n) : rs_(rs), n_(n) {
      RowShortcuts& memo = rs.m_shortcuts;
      memo.rowLoaded = false;  // a put may change the cells a pass loaded
      // The put resolved for this field on an earlier row, used as it
      // stands while it is of this ADO recordset and its open (every field
      // put of every row comes this way).
      const auto index = static_cast<size_t>(n - 1);  // n < 1 wraps beyond putCount
      if (index < memo.putCount && memo.accessOf == rs.m_pRecordset.GetInterfacePtr() &&
          !VariantRouteForced()) {
        const ResolvedPut& put = static_cast<const ResolvedPut*>(memo.putTable)[index];
        if (put.Current()) {
          access_ = memo.access.GetInterfacePtr();
          resolved_ = &put;
          return;
        }
      }
      Find(memo);
    }
    // Puts a value. Scalars and nulls go the direct route when there is
    // one; the rest through the Field.
    void Value(const VARIANT& value);
    // Puts a scalar cell (as VariantToScalarRowCell makes it from the
    // VARIANT the setter would put) directly; false (nothing put) when
    // there is no direct route.
    bool Scalar(const RowCell& cell);
    // Puts narrow text directly; false (nothing put) when the VARIANT
    // route would put different text or there is no direct route.
    bool Text(const CTString& text);
    // The Field (for the binary setters' chunks).
    FieldPtr& Field();

   private:
    // The route of the first put of this field since the ADO recordset
    // was opened: the direct one, resolved into the memo where it can be,
    // or the Field.
    void Find(RowShortcuts& memo);
    void PutDirect(const RowCell& cell);
    // Raises a failed direct put as the COM error it is.
    void Check(HRESULT hr);

    CRecordset& rs_;
    short n_;
    IKorvoRowAccess* access_ = nullptr;
    const ResolvedPut* resolved_ = nullptr;  // in the memo; null: access_->PutCell
    FieldPtr field_;
  };

  // The setter pattern: nothing at all unless the field is dirty; a null
  // field is written as VT_NULL; otherwise `write(ColumnPut&)` writes the
  // value (it may decide to write nothing). Runs under the setter's site.
  template <class Write>
  static void WriteColumn(CRecordset& rs, short n, const diag::ErrorSite& site, Write&& write) {
    diag::ConvertComFailures(rs.m_trace, site, [&] {
      if (!StatusIndexValid(rs, n)) {
        rs.ThrowDBException(1026);
        return;
      }
      const unsigned char status = rs.m_pFieldStatus[n - 1];
      if ((status & CRecordset::fieldDirty) == 0) return;
      ColumnPut put(rs, n);
      if (status & CRecordset::fieldNull) {
        _variant_t null;
        null.vt = VT_NULL;
        put.Value(null);
        return;
      }
      write(put);
    });
  }

  // put_Value on `field`; a missing field is E_POINTER, a failing put a
  // COM error with the provider's description.
  static void PutValue(FieldPtr& field, const VARIANT& value) {
    if (!field) _com_issue_error(E_POINTER);
    const HRESULT hr = field->put_Value(value);
    if (FAILED(hr)) _com_issue_errorex(hr, field.GetInterfacePtr(), __uuidof(Field));
  }

  // ---------------------------------------------------------------- RFX_ access

  // IsEOF for the exchange of one member; asked once per binding pass.
  // A pass found on a row becomes the fill pass (NextFill).
  static bool AtEof(CRecordset& rs, const CFieldExchange* pFX) {
    RowShortcuts& memo = rs.m_shortcuts;
    if (memo.bindingPass != pFX) return rs.IsEOF() != 0;
    if (!memo.bindingEofKnown) {
      memo.bindingAtEof = rs.IsEOF() != 0;
      memo.bindingEofKnown = true;
    }
    if (!memo.bindingAtEof && !VariantRouteForced()) memo.fillPass = pFX;
    return memo.bindingAtEof;
  }

  // The binding pass's shortcut for its next member (field number
  // m_nFieldNumber + 1) of `kind`: the fill an earlier row resolved for
  // that field, where the pass is known to load a row and the fill is
  // of this ADO recordset and its open. Null (nothing done, the field not
  // counted) where the member must take the full exchange. The caller
  // counts the field as IsFieldType would and fills through it, which
  // does exactly what the full exchange's FillMember would.
  static const ResolvedFill* NextFill(const CFieldExchange* pFX, MemberKind kind) {
    const CRecordset& rs = *pFX->m_prs;
    const RowShortcuts& memo = rs.m_shortcuts;
    const unsigned int index = pFX->m_nFieldNumber;
    if (memo.fillPass != pFX || pFX->m_nFieldType != CFieldExchange::outputColumn ||
        index >= memo.fillCount || memo.accessOf != rs.m_pRecordset.GetInterfacePtr()) {
      return nullptr;
    }
    const ResolvedFill& fill = static_cast<const ResolvedFill*>(memo.fillTable)[index];
    return fill.Current(kind) ? &fill : nullptr;
  }

  // Whether MapField(rs, member, fieldNumber) would find the entry there
  // already and do nothing.
  static bool Mapped(const CRecordset& rs, const void* member, unsigned int fieldNumber) {
    const RowShortcuts& memo = rs.m_shortcuts;
    return fieldNumber <= memo.mapped.size() && memo.mapped[fieldNumber - 1] == member &&
           memo.mapCount == rs.m_mapFieldIndex.GetCount();
  }

  // IsEOF, inline where Move asks it. Asked on every row, by Move and by
  // the host's loop: the EOF of Korvo's own ADO recordset, resolved for the
  // open now by a binding pass, is asked without the interface call.
  static BOOL Eof(const CRecordset& rs) {
    const RowShortcuts& memo = rs.m_shortcuts;
    if (memo.eofReader != nullptr && *memo.eofGeneration == memo.eofResolvedAt &&
        memo.accessOf == rs.m_pRecordset.GetInterfacePtr()) {
      return memo.eofReader(memo.eofCursor) ? 1 : 0;
    }
    return AskEof(rs);
  }

  // IsEOF where no EOF is resolved for the open now. (Out of line: Eof
  // keeps its own path short.)
  [[gnu::noinline]] static int AskEof(const CRecordset& rs);

  // The status byte of field `index` (0-based) for the passes that mark
  // and null the fields, or null without one: no status array, or a
  // derived class making more RFX_ calls than its m_nFields (the array's
  // length) declares, whose extra fields keep no bits.
  static unsigned char* StatusByte(CRecordset& rs, unsigned long index) {
    return rs.m_pFieldStatus != nullptr && index < rs.m_nFields ? rs.m_pFieldStatus + index
                                                                : nullptr;
  }

  // Records member -> field number in the field map. The binding pass runs
  // on every row with the same members: an entry the map already holds is
  // not inserted again.
  static void MapField(CRecordset& rs, void* member, unsigned int fieldNumber) {
    if (!Mapped(rs, member, fieldNumber)) RememberMapping(rs, member, fieldNumber);
  }

 private:
  static void RememberMapping(CRecordset& rs, void* member, unsigned int fieldNumber);
  static IKorvoRowAccess* RowAccess(CRecordset& rs);
  // FillMember where no current fill is resolved: resolves one and fills.
  static FillResult ResolveAndFill(CRecordset& rs, short n, MemberKind kind, void* member,
                                   int size);

  template <class Direct, class Convert, class OnNull>
  static bool ReadDirect(CRecordset& rs, short n, Direct& direct, Convert& convert,
                         OnNull&& onNull) {
    RowCell cell;
    if (!ReadCell(rs, n, &cell)) return false;
    if (cell.vt == VT_NULL) {
      onNull();
      return true;
    }
    if (direct(static_cast<const RowCell&>(cell))) return true;
    ScopedVariant value;
    if (!ScalarCellToVariant(cell, value.get())) return false;
    convert(value.get());
    return true;
  }
  static bool ScalarCellToVariant(const RowCell& cell, VARIANT& value);

  // The status array has m_nFields bytes; a number outside them (or a
  // missing array) is refused like a column outside the row.
  static bool StatusIndexValid(const CRecordset& rs, short n) {
    return rs.m_pFieldStatus != nullptr && n >= 1 && static_cast<unsigned int>(n) <= rs.m_nFields;
  }
};

}  // namespace korvo::recordset
