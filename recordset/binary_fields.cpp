// recordset/binary_fields.cpp: binary and long binary columns (recordset
// layer): reading a column's bytes into a CTByteArray or a CTLongBinary
// and writing them back.
//
// A value moves in one piece: one get_Value or one GetChunk for the whole
// ActualSize, one put_Value or one AppendChunk for the whole buffer. A
// CTLongBinary keeps its heap block across reads and grows it only when a
// larger value arrives.
#include <korvo/com/safearray.h>
#include <korvo/platform/heap.h>
#include <korvo/platform/process.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/error_sites_internal.h>
#include <korvo/recordset/recordset_access_internal.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

using korvo::diag::ConvertComFailures;
using korvo::diag::ErrorSite;
using korvo::recordset::kAppendChunkSite;
using korvo::recordset::kByteArrayReadSite;
using korvo::recordset::kLongBinaryReadSite;
using korvo::recordset::kSetByteArraySite;
using korvo::recordset::kSetLongBinarySite;
using korvo::recordset::RecordsetAccess;
using ColumnPut = korvo::recordset::RecordsetAccess::ColumnPut;

namespace {

constexpr VARTYPE kByteArray = VT_ARRAY | VT_UI1;

// A VT_ARRAY | VT_UI1 value holding a copy of `count` bytes (lower bound
// 0); the variant owns the array and destroys it when cleared.
_variant_t MakeByteArray(const void* data, ULONG count) {
  SAFEARRAYBOUND bound{count, 0};
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  if (array == nullptr) _com_issue_error(E_OUTOFMEMORY);
  void* bytes = nullptr;
  HRESULT hr = SafeArrayAccessData(array, &bytes);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    _com_issue_error(hr);
  }
  if (bytes != nullptr && data != nullptr && count != 0) std::memcpy(bytes, data, count);
  hr = SafeArrayUnaccessData(array);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    _com_issue_error(hr);
  }
  _variant_t value;
  value.vt = kByteArray;
  value.parray = array;
  return value;
}

// Bytes an array value can supply: never more than its elements, whatever
// the column's reported size says.
size_t ArrayBytes(const SAFEARRAY* array, long count) {
  if (array == nullptr || count <= 0) return 0;
  const size_t elements = array->cDims == 1 ? array->rgsabound[0].cElements : 0;
  return std::min(elements, static_cast<size_t>(count));
}

// The count a column reports: ActualSize taken as its low 32 bits.
long LowCount(long size) { return static_cast<long>(static_cast<int32_t>(size)); }

// The size of the value in the current row; a missing field is E_POINTER.
long FieldSize(FieldPtr& field) {
  if (!field) _com_issue_error(E_POINTER);
  long size = 0;
  const HRESULT hr = field->get_ActualSize(&size);
  if (FAILED(hr)) _com_issue_errorex(hr, field.GetInterfacePtr(), __uuidof(Field));
  return size;
}

// The getter of both binary types: a null column goes to SetFieldNull,
// anything else to the conversion.
template <class Value, class Fetch, class Convert>
void ReadBinary(CRecordset& rs, void* target, Value& value, Fetch&& fetch, Convert&& convert) {
  long count = 0;
  fetch(value, count);
  if (value.vt == VT_NULL) {
    rs.SetFieldNull(target, TRUE);
    return;
  }
  convert(value, count);
}

void ReleaseLongBinary(CTLongBinary& out) {
  if (out.m_pData != nullptr) HeapFree(GetProcessHeap(), 0, out.m_pData);
  out.m_pData = nullptr;
  out.m_nDataLength = 0;
}

}  // namespace

// ------------------------------------------------------------ reading

void CRecordset::m_GetFieldByteArrayValue(short nIndex, VARIANT& value, long& count) {
  ConvertComFailures(m_trace, kByteArrayReadSite, [&] {
    FieldPtr field;
    m_GetFieldObject(nIndex, field);
    const long size = FieldSize(field);
    if (size != 0) {
      const HRESULT hr = field->get_Value(&value);
      if (FAILED(hr)) _com_issue_errorex(hr, field.GetInterfacePtr(), __uuidof(Field));
    }
    count = LowCount(size);
  });
}

void CRecordset::m_GetFieldLongBinaryValue(short nIndex, _variant_t& value, long& count) {
  ConvertComFailures(m_trace, kLongBinaryReadSite, [&] {
    FieldPtr field;
    m_GetFieldObject(nIndex, field);
    const long size = FieldSize(field);
    count = LowCount(size);
    if (size != 0) {
      const _variant_t chunk = field->GetChunk(size);
      const HRESULT hr = VariantCopy(&value, &chunk);
      if (FAILED(hr)) _com_issue_error(hr);
    }
  });
}

void CRecordset::GetFieldValue(short nIndex, CTByteArray& value) {
  korvo::recordset::ScopedVariant holder;
  ReadBinary(
      *this, &value, holder.get(),
      [&](VARIANT& v, long& count) { m_GetFieldByteArrayValue(nIndex, v, count); },
      [&](VARIANT& v, long count) { m_VariantToCTByteArray(v, value, count); });
}

void CRecordset::GetFieldValue(short nIndex, CTLongBinary& value) {
  _variant_t holder;
  ReadBinary(
      *this, &value, holder,
      [&](_variant_t& v, long& count) { m_GetFieldLongBinaryValue(nIndex, v, count); },
      [&](_variant_t& v, long count) { m_VariantToCTLongBinary(v, value, count); });
}

// ------------------------------------------------------------ conversion

void CRecordset::m_VariantToCTByteArray(VARIANT& value, CTByteArray& out, long count) {
  if (value.vt == kByteArray) {
    out.SetSize(static_cast<int>(count < 0 ? 0 : count), -1);
    const size_t available = ArrayBytes(value.parray, count);
    if (available != 0) std::memcpy(out.GetData(), value.parray->pvData, available);
    if (count > 0 && available < static_cast<size_t>(count))
      std::memset(out.GetData() + available, 0, static_cast<size_t>(count) - available);
    return;
  }
  if (value.vt != VT_EMPTY && count != 0) {
    ThrowDBException(1029);
    return;
  }
  out.SetSize(0, -1);
}

void CRecordset::m_AllocLongBinary(CTLongBinary& out, long count) {
  const SIZE_T needed = count < 0 ? 0 : static_cast<SIZE_T>(count);
  const HANDLE heap = GetProcessHeap();
  void* block = nullptr;
  if (out.m_pData == nullptr) {
    block = HeapAlloc(heap, HEAP_ZERO_MEMORY, needed);
  } else if (HeapSize(heap, 0, out.m_pData) >= needed) {
    return;  // large enough: kept, neither shrunk nor cleared
  } else {
    block = HeapReAlloc(heap, HEAP_ZERO_MEMORY, out.m_pData, needed);
  }
  if (block == nullptr) korvo::diag::ThrowSystemError(GetLastError());
  out.m_pData = block;
}

void CRecordset::m_VariantToCTLongBinary(_variant_t& value, CTLongBinary& out, long count) {
  const size_t wanted = count < 0 ? 0 : static_cast<size_t>(count);
  if (value.vt == VT_BSTR) {
    // Long text: the ANSI bytes of the text. The size counts what the
    // provider counts; never read past the converted text.
    const CTString narrow(static_cast<const WCHAR*>(value.bstrVal));
    m_AllocLongBinary(out, count);
    out.m_nDataLength = wanted;
    const size_t available = std::min(wanted, static_cast<size_t>(narrow.GetLength()));
    auto* bytes = static_cast<unsigned char*>(out.m_pData);
    if (available != 0) std::memcpy(bytes, static_cast<const char*>(narrow), available);
    if (wanted > available) std::memset(bytes + available, 0, wanted - available);
    return;
  }
  if (value.vt == kByteArray) {
    m_AllocLongBinary(out, count);
    out.m_nDataLength = wanted;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(value.parray, &data))) {
      ThrowDBException(1029);
      return;
    }
    const size_t available = ArrayBytes(value.parray, count);
    auto* bytes = static_cast<unsigned char*>(out.m_pData);
    if (available != 0) std::memcpy(bytes, data, available);
    if (wanted > available) std::memset(bytes + available, 0, wanted - available);
    if (FAILED(SafeArrayUnaccessData(value.parray))) ThrowDBException(1029);
    return;
  }
  if (value.vt != VT_EMPTY && count != 0) {
    ThrowDBException(1029);
    return;
  }
  ReleaseLongBinary(out);
}

// ------------------------------------------------------------ writing

void CRecordset::SetFieldValue(short nIndex, CTByteArray& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetByteArraySite, [&](ColumnPut& put) {
    // An empty array writes an empty byte array, not a null value.
    _variant_t bytes = MakeByteArray(value.GetData(), static_cast<ULONG>(value.GetSize()));
    put.Value(bytes);
    bytes.Clear();
  });
}

void CRecordset::SetFieldValue(short nIndex, CTLongBinary& value) {
  RecordsetAccess::WriteColumn(*this, nIndex, kSetLongBinarySite, [&](ColumnPut& put) {
    if (value.m_pData != nullptr) m_AppendChunk(put.Field(), value.m_pData, value.m_nDataLength);
  });
}

void CRecordset::m_AppendChunk(FieldPtr& field, const void* data, unsigned __int64 count) {
  ConvertComFailures(m_trace, kAppendChunkSite, [&] {
    _variant_t bytes = MakeByteArray(data, static_cast<ULONG>(count));
    if (!field) _com_issue_error(E_POINTER);
    field->AppendChunk(bytes);
    bytes.Clear();
  });
}
