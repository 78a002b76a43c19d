// recordset/variant_conversions.cpp: the conversions of a column's VARIANT
// into the library's value types and plain C types (recordset layer).
//
// Each routine reads its target type directly and otherwise changes the
// caller's VARIANT in place with VariantChangeType; a failed change is
// return code 1029. 32-bit targets stay 32-bit although `long` is 64-bit
// here: a VT_I8 that does not fit fails the change (overflow) like any
// other value that cannot be converted.
#include <korvo/ado/member_fill_internal.h>
#include <korvo/com/oledate.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/direct_values_internal.h>
#include <korvo/recordset/recordset_access_internal.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

// Leaves `value` holding `vt` (1) or reports the failure through the
// recordset's ThrowDBException(1029) and answers 0 should that return.
bool EnsureType(CRecordset& rs, VARIANT& value, VARTYPE vt) {
  if (value.vt == vt) return true;
  // The commonest change (the engine's 64-bit integers to a 32-bit
  // member), done as VariantChangeType does it when the value fits.
  if (vt == VT_I4 && value.vt == VT_I8 && value.llVal >= INT32_MIN && value.llVal <= INT32_MAX) {
    value.lVal = static_cast<LONG>(value.llVal);
    value.vt = VT_I4;
    return true;
  }
  if (VariantChangeType(&value, &value, 0, vt) != S_OK) {
    rs.ThrowDBException(1029);
    return false;
  }
  return true;
}

// Splits a VT_DATE. A date outside the OLE range cannot be split; it is
// reported as a conversion failure rather than left as undefined fields.
bool SplitDate(CRecordset& rs, VARIANT& value, SYSTEMTIME& out) {
  if (!EnsureType(rs, value, VT_DATE)) return false;
  SYSTEMTIME fields{};
  if (!VariantTimeToSystemTime(value.date, &fields)) {
    rs.ThrowDBException(1029);
    return false;
  }
  out = fields;
  return true;
}

const WCHAR* TextOf(const VARIANT& value) {
  static const WCHAR kEmpty[1] = {0};
  return value.bstrVal != nullptr ? value.bstrVal : kEmpty;
}

}  // namespace

long CRecordset::m_VariantToLong(VARIANT& value) {
  if (!EnsureType(*this, value, VT_I4)) return 0;
  return static_cast<long>(value.lVal);
}

int CRecordset::m_VariantToBool(VARIANT& value) {
  if (!EnsureType(*this, value, VT_BOOL)) return 0;
  return value.boolVal != 0 ? 1 : 0;
}

int CRecordset::m_VariantToInt(VARIANT& value) {
  switch (value.vt) {
    case VT_I2:
      return value.iVal;
    case VT_I4:
      return value.lVal;
    case VT_BOOL:
      return value.boolVal != 0 ? 1 : 0;
    default:
      if (!EnsureType(*this, value, VT_I4)) return 0;
      return value.lVal;
  }
}

double CRecordset::m_VariantToDouble(VARIANT& value) {
  if (!EnsureType(*this, value, VT_R8)) return 0.0;
  return value.dblVal;
}

void CRecordset::m_VariantToByte(VARIANT& value, unsigned char& out) {
  if (EnsureType(*this, value, VT_UI1)) out = value.bVal;
}

void CRecordset::m_VariantToTimestampStruct(VARIANT& value, TIMESTAMP_STRUCT* out) {
  SYSTEMTIME fields;
  if (SplitDate(*this, value, fields)) korvo::ado::StoreTimestamp(fields, out);
}

void CRecordset::m_VariantToCTTime(VARIANT& value, CTTime& out) {
  SYSTEMTIME fields;
  if (SplitDate(*this, value, fields)) korvo::ado::StoreLocalTime(fields, out);
}

void CRecordset::m_VariantToSYSTEMTIME(VARIANT& value, SYSTEMTIME* out) {
  SYSTEMTIME fields;
  if (SplitDate(*this, value, fields)) *out = fields;
}

void CRecordset::m_VariantToLPSTR(VARIANT& value, char*& buffer, int nSize) {
  if (!EnsureType(*this, value, VT_BSTR)) return;
  if (buffer == nullptr || nSize <= 0) return;
  const CTString narrow(TextOf(value));
  // Truncating copy that always terminates.
  const size_t count =
      std::min(static_cast<size_t>(narrow.GetLength()), static_cast<size_t>(nSize) - 1);
  std::memcpy(buffer, static_cast<const char*>(narrow), count);
  buffer[count] = '\0';
}

void CRecordset::m_VariantToCTString(VARIANT& value, CTString& out) {
  if (EnsureType(*this, value, VT_BSTR)) out = static_cast<const WCHAR*>(value.bstrVal);
}

void CRecordset::m_VariantToCTWString(VARIANT& value, CTWString& out) {
  if (EnsureType(*this, value, VT_BSTR)) out = static_cast<const WCHAR*>(value.bstrVal);
}

namespace {

// The "2" text forms: dates as "YYYY-MM-DD hh:mm:ss.mmm", text as it is,
// anything else (and a date that cannot be split) empty. They never fail.
template <class String, class Ch>
void VariantToText2(VARIANT& value, String& out, const Ch* dateFormat) {
  if (value.vt == VT_BSTR) {
    out = static_cast<const WCHAR*>(value.bstrVal);
    return;
  }
  SYSTEMTIME fields{};
  if (value.vt == VT_DATE && VariantTimeToSystemTime(value.date, &fields)) {
    out.Format(dateFormat, unsigned{fields.wYear}, unsigned{fields.wMonth}, unsigned{fields.wDay},
               unsigned{fields.wHour}, unsigned{fields.wMinute}, unsigned{fields.wSecond},
               unsigned{fields.wMilliseconds});
    return;
  }
  out.Empty();
}

}  // namespace

void CRecordset::m_VariantToCTString2(VARIANT& value, CTString& out) {
  VariantToText2(value, out, "%04u-%02u-%02u %02u:%02u:%02u.%03u");
}

void CRecordset::m_VariantToCTWString2(VARIANT& value, CTWString& out) {
  VariantToText2(value, out, u"%04u-%02u-%02u %02u:%02u:%02u.%03u");
}

void CRecordset::m_VariantToWchar(VARIANT& value, WCHAR* buffer, int nSize) {
  if (!EnsureType(*this, value, VT_BSTR)) return;
  if (buffer == nullptr || nSize <= 0) return;
  // wcsncpy: zero-padded up to nSize, unterminated when the text fills it.
  const WCHAR* text = TextOf(value);
  int i = 0;
  for (; i < nSize && text[i] != 0; ++i) buffer[i] = text[i];
  for (; i < nSize; ++i) buffer[i] = 0;
}
