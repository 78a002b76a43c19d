// tool/result_set.cpp: reading rows of any shape by column number.
#include "result_set.h"

#include <charconv>

namespace korvo::tool {

ValueKind KindOfAdoType(int adoType) {
  switch (adoType) {
    case adTinyInt:
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
      return ValueKind::kInteger;
    case adSingle:
    case adDouble:
    case adCurrency:
    case adDecimal:
    case adNumeric:
    case adVarNumeric:
      return ValueKind::kReal;
    case adBoolean:
      return ValueKind::kBoolean;
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
      return ValueKind::kDate;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
      return ValueKind::kBinary;
    default:
      return ValueKind::kText;
  }
}

std::vector<Column> ResultRowset::Describe() {
  std::vector<Column> columns;
  const long count = GetFieldsCount();
  for (long i = 1; i <= count; ++i) {
    CTString name;
    int type = adEmpty;
    GetFieldInfo(static_cast<short>(i), name, &type);
    columns.push_back(Column{std::string(name), type, KindOfAdoType(type)});
  }
  return columns;
}

std::vector<Cell> ResultRowset::ReadRow(const std::vector<Column>& columns) {
  std::vector<Cell> row;
  row.reserve(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    row.push_back(ReadCell(static_cast<short>(i + 1), columns[i].kind));
  }
  return row;
}

Cell ResultRowset::ReadCell(short number, ValueKind kind) {
  // The typed getters cannot tell NULL apart on a recordset with no bound
  // members, so the raw value is read and converted here.
  _variant_t raw;
  m_GetFieldValue(number, raw);
  return CellOf(raw, kind);
}

Cell ResultRowset::CellOf(VARIANT& raw, ValueKind kind) {
  if (raw.vt == VT_NULL || raw.vt == VT_EMPTY) return std::nullopt;
  switch (kind) {
    case ValueKind::kReal: {
      const double value = m_VariantToDouble(raw);
      char digits[32];
      const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
      return std::string(digits, end);
    }
    case ValueKind::kBoolean:
      return std::string(m_VariantToBool(raw) != 0 ? "1" : "0");
    case ValueKind::kDate: {
      CTString text;
      m_VariantToCTString2(raw, text);
      return std::string(text);
    }
    case ValueKind::kBinary: {
      if (raw.vt != (VT_ARRAY | VT_UI1) || raw.parray == nullptr) break;
      LONG lower = 0, upper = -1;
      void* data = nullptr;
      SafeArrayGetLBound(raw.parray, 1, &lower);
      SafeArrayGetUBound(raw.parray, 1, &upper);
      if (FAILED(SafeArrayAccessData(raw.parray, &data))) _com_issue_error(E_UNEXPECTED);
      const std::string hex = HexOfBytes(static_cast<const unsigned char*>(data),
                                         static_cast<size_t>(upper - lower + 1));
      SafeArrayUnaccessData(raw.parray);
      return hex;
    }
    default:
      break;
  }
  CTString text;
  m_VariantToCTString(raw, text);
  return std::string(text, static_cast<size_t>(text.GetLength()));
}

ResultSet ResultRowset::ReadAllOf(_Recordset& rows) {
  ResultSet result;
  FieldsPtr fields = rows.GetFields();
  const long count = fields->GetCount();
  for (long i = 0; i < count; ++i) {
    FieldPtr field = fields->GetItem(_variant_t(i));
    const _bstr_t name = field->GetName();
    const int type = field->GetType();
    const char* text = name;
    result.columns.push_back(Column{text != nullptr ? text : "", type, KindOfAdoType(type)});
  }
  for (; rows.GetadoEOF() == VARIANT_FALSE; rows.MoveNext()) {
    std::vector<Cell>& row = result.rows.emplace_back();
    for (long i = 0; i < count; ++i) {
      _variant_t raw = fields->GetItem(_variant_t(i))->GetValue();
      row.push_back(CellOf(raw, result.columns[static_cast<size_t>(i)].kind));
    }
  }
  return result;
}

ResultSet ReadAll(CDatabase& db, const std::string& sql) {
  ResultSet result;
  ResultRowset rs(&db);
  rs.Open(CRecordset::forwardOnly, sql.c_str(), CRecordset::readOnly);
  result.columns = rs.Describe();
  for (; !rs.IsEOF(); rs.MoveNext()) result.rows.push_back(rs.ReadRow(result.columns));
  rs.Close();
  return result;
}

std::string HexOfBytes(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out = "0x";
  out.reserve(2 + 2 * size);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0xF];
  }
  return out;
}

std::optional<std::vector<unsigned char>> BytesOfHex(const std::string& text) {
  size_t pos = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
  if ((text.size() - pos) % 2 != 0) return std::nullopt;
  std::vector<unsigned char> bytes;
  bytes.reserve((text.size() - pos) / 2);
  for (; pos < text.size(); pos += 2) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + pos, text.data() + pos + 2, value, 16);
    if (error != std::errc() || end != text.data() + pos + 2) return std::nullopt;
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return bytes;
}

}  // namespace korvo::tool
