// ado/row_access.cpp: the conversions between provider cells, the raw
// cells of IKorvoRowAccess and the VARIANTs of Field.Value.
//
// Every conversion here either leaves the value exactly as the VARIANT
// route would have it or goes through that route itself, so that the two
// routes cannot disagree.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/row_access_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/safearray.h>

#include <cstdint>
#include <cstring>

namespace korvo::ado {

using provider::Cell;
using provider::CellType;

namespace {

constexpr VARTYPE kBytes = static_cast<VARTYPE>(VT_ARRAY | VT_UI1);

// Length of the well-formed sequence starting at `p` (its lead byte is
// not ASCII), or 0 when it is malformed or cut short by `end`.
size_t SequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = p[0];
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong form
    if (lead == 0xED) high = 0x9F;  // no surrogate
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (static_cast<size_t>(end - p) < length) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  }
  return length;
}

// No byte of `word` has its high bit set or is zero.
bool IsAsciiWord(uint64_t word) { return detail::NotAsciiBits(word) == 0; }

}  // namespace

bool IsPlainUtf8(const char* data, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* const end = p + size;
  // Most text is ASCII: taken eight bytes at a time, the last word
  // overlapping the one before it, so that only text that is not ASCII
  // goes byte by byte below.
  if (size >= 8) {
    while (end - p > 8 && IsAsciiWord(detail::Word(p))) p += 8;
    if (end - p <= 8 && IsAsciiWord(detail::Word(end - 8))) return true;
  } else if (size >= 4) {
    if (IsAsciiWord(detail::HalfWords(p, end - 4))) return true;
  }
  while (p < end) {
    if (end - p >= 8 && IsAsciiWord(detail::Word(p))) {
      p += 8;
      continue;
    }
    if (*p == 0) return false;
    if (*p < 0x80) {
      ++p;
      continue;
    }
    const size_t length = SequenceLength(p, end);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

bool CellToRowCell(const Cell& cell, int32_t ado_type, RowCell* out) {
  if (cell.type == CellType::kNull) {
    out->vt = VT_NULL;
    return true;
  }
  const VARTYPE target = VarTypeFor(ado_type);
  if (cell.type == CellType::kText || cell.type == CellType::kBlob) {
    // Text and bytes reach a text, binary or untyped field as they are.
    VARTYPE vt = target;
    if (target == VT_EMPTY) vt = cell.type == CellType::kText ? VARTYPE{VT_BSTR} : kBytes;
    if (vt == VT_BSTR || vt == kBytes) {
      out->vt = vt;
      out->bytes = cell.data;
      out->size = cell.size;
      return true;
    }
  } else if (target == VT_BSTR || target == kBytes) {
    return false;  // a number shown as its text
  }
  if (target == VT_DATE && cell.type == CellType::kText &&
      ParsePlainIsoDate(cell.data, cell.size, &out->real, &out->fields)) {
    out->vt = VT_DATE;  // the stored date text, already split
    out->split = true;
    return true;
  }
  if (target == VT_I8 && cell.type == CellType::kInt) {
    out->vt = VT_I8;  // the commonest pairs, as CellToVariant takes them
    out->integer = cell.i;
    return true;
  } else if (cell.type == CellType::kInt &&
             ((target == VT_I4 && cell.i == static_cast<int32_t>(cell.i)) ||
              (target == VT_I2 && cell.i == static_cast<int16_t>(cell.i)))) {
    out->vt = target;  // a server's INTEGER or SMALLINT in range: its change keeps the value
    out->integer = cell.i;
    return true;
  } else if (target == VT_R8 && cell.type == CellType::kReal) {
    out->vt = VT_R8;
    out->real = cell.r;
    return true;
  }
  VARIANT value;
  VariantInit(&value);
  if (SUCCEEDED(CellToVariant(cell, ado_type, &value)) && VariantToScalarRowCell(value, out)) {
    return true;
  }
  VariantClear(&value);
  return false;
}

bool VariantToScalarRowCell(const VARIANT& value, RowCell* out) {
  switch (value.vt) {
    case VT_I1:
      out->integer = value.cVal;
      break;
    case VT_I2:
      out->integer = value.iVal;
      break;
    case VT_I4:
      out->integer = value.lVal;
      break;
    case VT_I8:
      out->integer = value.llVal;
      break;
    case VT_UI1:
      out->integer = value.bVal;
      break;
    case VT_UI2:
      out->integer = value.uiVal;
      break;
    case VT_UI4:
      out->integer = value.ulVal;
      break;
    case VT_UI8:
      out->integer = static_cast<int64_t>(value.ullVal);
      break;
    case VT_INT:
      out->integer = value.intVal;
      break;
    case VT_UINT:
      out->integer = value.uintVal;
      break;
    case VT_BOOL:
      out->integer = value.boolVal;
      break;
    case VT_R4:
      out->real = value.fltVal;
      break;
    case VT_R8:
      out->real = value.dblVal;
      break;
    case VT_DATE:
      out->real = value.date;
      break;
    default:
      return false;
  }
  out->vt = value.vt;
  return true;
}

bool ScalarRowCellToVariant(const RowCell& cell, VARIANT* out) {
  switch (cell.vt) {
    case VT_I1:
      out->cVal = static_cast<CHAR>(cell.integer);
      break;
    case VT_I2:
      out->iVal = static_cast<SHORT>(cell.integer);
      break;
    case VT_I4:
      out->lVal = static_cast<LONG>(cell.integer);
      break;
    case VT_I8:
      out->llVal = cell.integer;
      break;
    case VT_UI1:
      out->bVal = static_cast<BYTE>(cell.integer);
      break;
    case VT_UI2:
      out->uiVal = static_cast<USHORT>(cell.integer);
      break;
    case VT_UI4:
      out->ulVal = static_cast<ULONG>(cell.integer);
      break;
    case VT_UI8:
      out->ullVal = static_cast<ULONGLONG>(cell.integer);
      break;
    case VT_INT:
      out->intVal = static_cast<INT>(cell.integer);
      break;
    case VT_UINT:
      out->uintVal = static_cast<UINT>(cell.integer);
      break;
    case VT_BOOL:
      out->boolVal = static_cast<VARIANT_BOOL>(cell.integer);
      break;
    case VT_R4:
      out->fltVal = static_cast<FLOAT>(cell.real);
      break;
    case VT_R8:
      out->dblVal = cell.real;
      break;
    case VT_DATE:
      out->date = cell.real;
      break;
    default:
      return false;
  }
  out->vt = cell.vt;
  return true;
}

bool DirectPlainTextToParam(const char* bytes, size_t size, int32_t ado_type,
                            provider::ParamValue* out) {
  if (!IsTextType(ado_type)) return false;
  // Text into a text field: the UTF-8 the BSTR would have been made from
  // and turned back into.
  out->ado_type = ado_type;
  out->type = CellType::kText;
  out->i = 0;
  out->r = 0;
  out->bytes.assign(bytes, size);
  return true;
}

bool DirectRowCellToParam(const RowCell& cell, int32_t ado_type, provider::ParamValue* out) {
  if (cell.vt == VT_BSTR) {
    return IsPlainUtf8(cell.bytes, cell.size) &&
           DirectPlainTextToParam(cell.bytes, cell.size, ado_type, out);
  }
  const bool signed_integer = cell.vt == VT_I2 || cell.vt == VT_I4 || cell.vt == VT_I8;
  if ((signed_integer && IsIntegerType(ado_type)) ||
      (cell.vt == VT_R8 && (ado_type == adSingle || ado_type == adDouble))) {
    // A number into a field of its kind: VariantToParam's change to VT_I8
    // or VT_R8 keeps the value as it is.
    out->ado_type = ado_type;
    out->type = signed_integer ? CellType::kInt : CellType::kReal;
    out->i = signed_integer ? cell.integer : 0;
    out->r = signed_integer ? 0 : cell.real;
    out->bytes.clear();
    return true;
  }
  return false;
}

HRESULT RowCellToParam(const RowCell& cell, int32_t ado_type, provider::ParamValue* out,
                       std::string* error) {
  if (DirectRowCellToParam(cell, ado_type, out)) return kSOk;
  VARIANT value;
  VariantInit(&value);
  struct Clear {
    VARIANT* v;
    ~Clear() { VariantClear(v); }
  } clear{&value};
  if (cell.vt == VT_NULL) {
    value.vt = VT_NULL;
  } else if (cell.vt == VT_BSTR) {
    value.bstrVal = Utf8ToBstr(cell.bytes, cell.size);
    if (value.bstrVal == nullptr) return kEOutOfMemory;
    value.vt = VT_BSTR;
  } else if (cell.vt == kBytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(cell.size));
    if (array == nullptr) return kEOutOfMemory;
    if (cell.size != 0) std::memcpy(array->pvData, cell.bytes, cell.size);
    value.vt = kBytes;
    value.parray = array;
  } else if (!ScalarRowCellToVariant(cell, &value)) {
    *error = "The value's VARIANT type " + std::to_string(cell.vt) + " cannot be put directly.";
    return kAdoWrongType;
  }
  return VariantToParam(value, ado_type, out, error);
}

}  // namespace korvo::ado
