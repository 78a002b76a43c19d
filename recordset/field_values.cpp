// recordset/field_values.cpp: typed access to the current row's columns by
// 1-based number (recordset layer): getters, bulk getters, comparers,
// setters and the column description.
//
// Every accessor fetches the ADO Field afresh (nothing is cached between
// calls) and releases it before returning. The getters, comparers and
// setters are one pattern each (recordset_access_internal.h); what differs
// per type is only the conversion below.
#include <korvo/ado/member_fill_internal.h>
#include <korvo/com/oledate.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/direct_values_internal.h>
#include <korvo/recordset/error_sites_internal.h>
#include <korvo/recordset/recordset_access_internal.h>

#include <cstdint>
#include <cwchar>
#include <type_traits>

using korvo::diag::ConvertComFailures;
using korvo::diag::ErrorSite;
using korvo::recordset::kFieldInfoSite;
using korvo::recordset::kFieldObjectSite;
using korvo::recordset::kFieldsCountSite;
using korvo::recordset::kFieldValueSite;
using korvo::recordset::kSetByteSite;
using korvo::recordset::kSetDoubleSite;
using korvo::recordset::kSetExpressionSite;
using korvo::recordset::kSetIntSite;
using korvo::recordset::kSetLongSite;
using korvo::recordset::kSetTextSite;
using korvo::recordset::kSetTimeSite;
using korvo::recordset::kSetWideExpressionSite;
using korvo::recordset::kSetWideTextSite;
using korvo::recordset::RecordsetAccess;
using ColumnPut = korvo::recordset::RecordsetAccess::ColumnPut;

namespace {

// Writes a value built into a VARIANT; the value is cleared afterwards.
void PutBuilt(ColumnPut& put, _variant_t& value) {
  put.Value(value);
  value.Clear();
}

// Writes a string as a VT_BSTR value; `text` is the string's
// AllocSysString result, owned from here on (null: out of memory).
void PutText(ColumnPut& put, BSTR text) {
  if (text == nullptr) _com_issue_error(E_OUTOFMEMORY);
  _variant_t value;
  value.bstrVal = text;
  value.vt = VT_BSTR;
  PutBuilt(put, value);
}

// Writes a number as the VARIANT of type `vt` holding it would be written;
// the direct route takes it as its cell, without the VARIANT.
template <class T>
void PutNumber(ColumnPut& put, T number, VARTYPE vt) {
  RowCell cell;
  cell.vt = vt;
  if constexpr (std::is_floating_point_v<T>) {
    cell.real = number;
  } else {
    cell.integer = number;
  }
  if (put.Scalar(cell)) return;
  _variant_t value(number, vt);
  PutBuilt(put, value);
}

// The direct fill of a text member: text cells whose UTF-8 it can take.
template <class String>
auto FillInto(String& value) {
  return [&value](const RowCell& cell) { return korvo::recordset::FillText(cell, value); };
}

// The direct fill of a date target: a date cell the provider has split
// already hands `store` its fields.
template <class Store>
auto FromSplitDate(Store store) {
  return [store](const RowCell& cell) {
    if (cell.vt != VT_DATE || !cell.split) return false;
    store(cell.fields);
    return true;
  };
}

}  // namespace

// ------------------------------------------------------------ plumbing

void CRecordset::m_GetFieldObject(short nIndex, FieldPtr& field) {
  ConvertComFailures(m_trace, kFieldObjectSite, [&] {
    const _variant_t index(static_cast<long>(nIndex - 1));
    if (!m_pRecordset) _com_issue_error(E_POINTER);
    FieldsPtr fields = m_pRecordset->GetFields();
    if (!fields) return;
    const long count = fields->GetCount();
    if (count <= 0) return;
    if (nIndex - 1 < 0 || nIndex - 1 >= count) ThrowDBException(1026);
    field = fields->GetItem(index);
  });
}

void CRecordset::m_GetFieldValue(short nIndex, VARIANT& value) {
  ConvertComFailures(m_trace, kFieldValueSite, [&] {
    FieldPtr field;
    m_GetFieldObject(nIndex, field);
    if (!field) _com_issue_error(E_POINTER);
    const HRESULT hr = field->get_Value(&value);
    if (FAILED(hr)) _com_issue_errorex(hr, field.GetInterfacePtr(), __uuidof(Field));
  });
}

// ------------------------------------------------------------ getters

void CRecordset::GetFieldValue(short nIndex, long& value) {
  RecordsetAccess::ReadColumn(*this, nIndex, &value,
                              [&](VARIANT& v) { value = m_VariantToLong(v); });
}

void CRecordset::GetFieldValue(short nIndex, int& value) {
  RecordsetAccess::ReadColumn(*this, nIndex, &value,
                              [&](VARIANT& v) { value = m_VariantToInt(v); });
}

void CRecordset::GetFieldValue(const char* lpszName, int& value) {
  GetFieldValue(static_cast<short>(GetFieldIndexByName(lpszName)), value);
}

void CRecordset::GetFieldValueBool(short nIndex, int& value) {
  RecordsetAccess::ReadColumn(*this, nIndex, &value,
                              [&](VARIANT& v) { value = m_VariantToBool(v); });
}

void CRecordset::GetFieldValue(short nIndex, double& value) {
  RecordsetAccess::ReadColumn(*this, nIndex, &value,
                              [&](VARIANT& v) { value = m_VariantToDouble(v); });
}

void CRecordset::GetFieldValue(short nIndex, unsigned char& value) {
  RecordsetAccess::ReadColumn(*this, nIndex, &value,
                              [&](VARIANT& v) { m_VariantToByte(v, value); });
}

void CRecordset::GetFieldValue(short nIndex, CTString& value) {
  RecordsetAccess::ReadColumn(
      *this, nIndex, &value, [&](VARIANT& v) { m_VariantToCTString(v, value); }, FillInto(value));
}

void CRecordset::GetFieldValue(const char* lpszName, CTString& value) {
  GetFieldValue(static_cast<short>(GetFieldIndexByName(lpszName)), value);
}

void CRecordset::GetFieldValue(short nIndex, CTWString& value) {
  RecordsetAccess::ReadColumn(
      *this, nIndex, &value, [&](VARIANT& v) { m_VariantToCTWString(v, value); }, FillInto(value));
}

void CRecordset::GetFieldValue(const char* lpszName, CTWString& value) {
  GetFieldValue(static_cast<short>(GetFieldIndexByName(lpszName)), value);
}

void CRecordset::GetFieldValue(short nIndex, WCHAR* lpszValue, int nSize) {
  RecordsetAccess::ReadColumn(*this, nIndex, lpszValue,
                              [&](VARIANT& v) { m_VariantToWchar(v, lpszValue, nSize); });
}

void CRecordset::GetFieldValue(short nIndex, std::wstring& value) {
  CTWString text;
  GetFieldValue(nIndex, text);
  value = korvo::ToHostWideString(text, static_cast<size_t>(text.GetLength()));
}

void CRecordset::GetFieldValue(const char* lpszName, std::wstring& value) {
  GetFieldValue(static_cast<short>(GetFieldIndexByName(lpszName)), value);
}

void CRecordset::CopyHostWideText(const std::wstring& value, wchar_t* buffer, int nSize) {
  if (buffer == nullptr || nSize <= 0) return;
  std::wcsncpy(buffer, value.c_str(), static_cast<size_t>(nSize));
}

void CRecordset::GetFieldValue2(short nIndex, CTString& value) {
  RecordsetAccess::ReadColumn(
      *this, nIndex, &value, [&](VARIANT& v) { m_VariantToCTString2(v, value); }, FillInto(value));
}

void CRecordset::GetFieldValue2(short nIndex, CTWString& value) {
  RecordsetAccess::ReadColumn(
      *this, nIndex, &value, [&](VARIANT& v) { m_VariantToCTWString2(v, value); }, FillInto(value));
}

void CRecordset::GetFieldValue(short nIndex, CTTime& value) {
  RecordsetAccess::ReadColumn(
      *this, nIndex, &value, [&](VARIANT& v) { m_VariantToCTTime(v, value); },
      FromSplitDate([&](const SYSTEMTIME& fields) { korvo::ado::StoreLocalTime(fields, value); }));
}

void CRecordset::GetFieldValue(short nIndex, SYSTEMTIME* pValue) {
  RecordsetAccess::ReadColumn(
      *this, nIndex, pValue, [&](VARIANT& v) { m_VariantToSYSTEMTIME(v, pValue); },
      FromSplitDate([&](const SYSTEMTIME& fields) { *pValue = fields; }));
}

// ------------------------------------------------------------ bulk getters

void CRecordset::GetBulkFieldValue(short nIndex, char*& lpszBuffer, __int64* pIndicator,
                                   int nSize) {
  RecordsetAccess::ReadBulkColumn(
      *this, nIndex, pIndicator, [&](VARIANT& v) { m_VariantToLPSTR(v, lpszBuffer, nSize); },
      [&](const RowCell& cell) {
        // m_VariantToLPSTR's checks, then its copy.
        if (cell.vt != VT_BSTR) return false;
        return lpszBuffer == nullptr || nSize <= 0 ||
               korvo::recordset::FillTextBuffer(cell, lpszBuffer, nSize);
      });
}

void CRecordset::GetBulkFieldValue(short nIndex, int* pValue, __int64* pIndicator) {
  RecordsetAccess::ReadBulkColumn(*this, nIndex, pIndicator,
                                  [&](VARIANT& v) { *pValue = m_VariantToInt(v); });
}

void CRecordset::GetBulkFieldValue(short nIndex, long* pValue, __int64* pIndicator) {
  RecordsetAccess::ReadBulkColumn(*this, nIndex, pIndicator,
                                  [&](VARIANT& v) { *pValue = m_VariantToLong(v); });
}

void CRecordset::GetBulkFieldValue(short nIndex, TIMESTAMP_STRUCT* pValue, __int64* pIndicator) {
  RecordsetAccess::ReadBulkColumn(
      *this, nIndex, pIndicator, [&](VARIANT& v) { m_VariantToTimestampStruct(v, pValue); },
      FromSplitDate([&](const SYSTEMTIME& fields) { korvo::ado::StoreTimestamp(fields, pValue); }));
}

void CRecordset::GetBulkFieldValue(short nIndex, double* pValue, __int64* pIndicator) {
  RecordsetAccess::ReadBulkColumn(*this, nIndex, pIndicator,
                                  [&](VARIANT& v) { *pValue = m_VariantToDouble(v); });
}

// ------------------------------------------------------------ comparers
// The temporary starts as the type's pseudo-null value: a null column then
// compares equal to a member that holds it (the text forms compare the
// empty string, the time form 0, which are their pseudo-null values too).

namespace {

// Text character by character, case-sensitive, up to the terminator.
bool Equal(const CTString& a, const CTString& b) { return a.Compare(b) == 0; }
bool Equal(const CTWString& a, const CTWString& b) { return a.Compare(b) == 0; }
template <class T>
bool Equal(const T& a, const T& b) {
  return a == b;
}

// Reads the column into `temporary` exactly as the getter does (its
// address is bound to no field, so a null column changes no status) and
// compares it with the caller's value.
template <class T, void (CRecordset::*Getter)(short, T&)>
int CompareWith(CRecordset& rs, short n, const T& value, T temporary) {
  (rs.*Getter)(n, temporary);
  return Equal(temporary, value) ? 1 : 0;
}

}  // namespace

int CRecordset::CmpFieldValue(short nIndex, CTString& value) {
  return CompareWith<CTString, &CRecordset::GetFieldValue>(*this, nIndex, value, CTString());
}

int CRecordset::CmpFieldValue(short nIndex, CTWString& value) {
  return CompareWith<CTWString, &CRecordset::GetFieldValue>(*this, nIndex, value, CTWString());
}

int CRecordset::CmpFieldValue(short nIndex, int& value) {
  return CompareWith<int, &CRecordset::GetFieldValue>(*this, nIndex, value,
                                                      korvo::recordset::kIntPseudoNull);
}

int CRecordset::CmpFieldValue(short nIndex, long& value) {
  return CompareWith<long, &CRecordset::GetFieldValue>(*this, nIndex, value,
                                                       korvo::recordset::kLongPseudoNull);
}

int CRecordset::CmpFieldValue(short nIndex, CTTime& value) {
  return CompareWith<CTTime, &CRecordset::GetFieldValue>(*this, nIndex, value,
                                                         CTTime(static_cast<__int64>(0)));
}

int CRecordset::CmpFieldValue(short nIndex, double& value) {
  return CompareWith<double, &CRecordset::GetFieldValue>(*this, nIndex, value,
                                                         korvo::recordset::kDoublePseudoNull);
}

int CRecordset::CmpFieldValue2(short nIndex, CTString& value) {
  return CompareWith<CTString, &CRecordset::GetFieldValue2>(*this, nIndex, value, CTString());
}

int CRecordset::CmpFieldValue2(short nIndex, CTWString& value) {
  return CompareWith<CTWString, &CRecordset::GetFieldValue2>(*this, nIndex, value, CTWString());
}

// ------------------------------------------------------------ setters

KORVO_HOT void CRecordset::SetFieldValue(short nIndex, CTString& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetTextSite, [&](ColumnPut& put) {
    if (!put.Text(value)) PutText(put, value.AllocSysString());
  });
}

void CRecordset::SetFieldValue(short nIndex, CTWString& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetWideTextSite,
                               [&](ColumnPut& put) { PutText(put, value.AllocSysString()); });
}

void CRecordset::SetFieldValue(short nIndex, int& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetIntSite, [&](ColumnPut& put) {
    // Only the low 16 bits travel: 70000 is written as 4464.
    PutNumber(put, static_cast<short>(static_cast<uint16_t>(value & 0xFFFF)), VT_I2);
  });
}

void CRecordset::SetFieldValueBool(short nIndex, int& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetIntSite, [&](ColumnPut& put) {
    PutNumber(put, static_cast<short>(value != 0 ? 1 : 0), VT_I2);
  });
}

KORVO_HOT void CRecordset::SetFieldValue(short nIndex, long& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetLongSite, [&](ColumnPut& put) {
    // VT_I4 holds 32 bits; a wider long cannot be written as one.
    if (value < INT32_MIN || value > INT32_MAX) {
      ThrowDBException(1029);
      return;
    }
    PutNumber(put, value, VT_I4);
  });
}

KORVO_HOT void CRecordset::SetFieldValue(short nIndex, double& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetDoubleSite,
                               [&](ColumnPut& put) { PutNumber(put, value, VT_R8); });
}

void CRecordset::SetFieldValue(short nIndex, unsigned char& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetByteSite, [&](ColumnPut& put) {
    _variant_t number(static_cast<BYTE>(value));
    PutBuilt(put, number);
  });
}

void CRecordset::SetFieldValue(short nIndex, CTTime& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetTimeSite, [&](ColumnPut& put) {
    SYSTEMTIME local{};
    if (!value.GetAsSystemTime(local)) return;  // not representable: nothing is written
    _variant_t date;
    date.vt = VT_DATE;
    if (!SystemTimeToVariantTime(&local, &date.date)) return;
    PutBuilt(put, date);
  });
}

void CRecordset::SetFieldValue2(short nIndex, CTString& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetExpressionSite, [&](ColumnPut& put) {
    _variant_t result;
    m_SetScalareFunction(result, value);
    PutBuilt(put, result);
  });
}

void CRecordset::SetFieldValue2(short nIndex, CTWString& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetWideExpressionSite, [&](ColumnPut& put) {
    _variant_t result;
    m_SetScalareFunction(result, value);
    PutBuilt(put, result);
  });
}

// ------------------------------------------------------------ description

void CRecordset::GetFieldInfo(short nIndex, CTString& strName, int* pnType, unsigned int* pnSize) {
  ConvertComFailures(m_trace, kFieldInfoSite, [&] {
    FieldPtr field;
    m_GetFieldObject(nIndex, field);
    if (!field) _com_issue_error(E_POINTER);
    const _bstr_t name = field->GetName();
    strName = static_cast<const WCHAR*>(name);
    if (pnType != nullptr) *pnType = static_cast<int>(field->GetType());
    if (pnSize != nullptr) {
      *pnSize = 0;
      // A size that cannot be read is reported as 0, not as a failure.
      long size = 0;
      if (SUCCEEDED(field->get_ActualSize(&size))) *pnSize = static_cast<unsigned int>(size);
    }
  });
}

long CRecordset::GetFieldsCount() {
  return ConvertComFailures(m_trace, kFieldsCountSite, [&]() -> long {
    if (!m_pRecordset) _com_issue_error(E_POINTER);
    FieldsPtr fields = m_pRecordset->GetFields();
    if (!fields) return 0;
    return fields->GetCount();
  });
}
