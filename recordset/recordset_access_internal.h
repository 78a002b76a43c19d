// recordset/recordset_access_internal.h: the one friend of CRecordset
// (not installed). The typed column accessors share their read and write
// steps through it (each pattern is written here once), and the RFX_
// functions record their bindings in the field map through it.
#pragma once

#include <cstdint>

#include <korvo/com/com_error.h>
#include <korvo/com/variant.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/recordset/CRecordset.h>

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

struct RecordsetAccess {
  // ---------------------------------------------------------------- getters

  // Reads column `n` and hands the value to `convert(VARIANT&)`. A null
  // column is reported through SetFieldNull(target, 1) instead, `target`
  // being the address of the caller's variable or buffer.
  template <class Convert>
  static void ReadColumn(CRecordset& rs, short n, void* target, Convert&& convert) {
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
  template <class Convert>
  static void ReadBulkColumn(CRecordset& rs, short n, __int64* indicator, Convert&& convert) {
    ScopedVariant value;
    rs.m_GetFieldValue(n, value.get());
    if (value.get().vt == VT_NULL) {
      *indicator = -1;
      return;
    }
    convert(value.get());
    *indicator = -2;
  }

  // ---------------------------------------------------------------- setters

  // The setter pattern: nothing at all unless the field is dirty; a null
  // field is written as VT_NULL; otherwise `write(FieldPtr&)` writes the
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
      FieldPtr field;
      rs.m_GetFieldObject(n, field);
      if (status & CRecordset::fieldNull) {
        _variant_t null;
        null.vt = VT_NULL;
        PutValue(field, null);
        return;
      }
      write(field);
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

  static void MapField(CRecordset& rs, void* member, unsigned int fieldNumber) {
    rs.m_mapFieldIndex[member] = reinterpret_cast<void*>(static_cast<uintptr_t>(fieldNumber));
  }

 private:
  // The status array has m_nFields bytes; a number outside them (or a
  // missing array) is refused like a column outside the row.
  static bool StatusIndexValid(const CRecordset& rs, short n) {
    return rs.m_pFieldStatus != nullptr && n >= 1 && static_cast<unsigned int>(n) <= rs.m_nFields;
  }
};

}  // namespace korvo::recordset
