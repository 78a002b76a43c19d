// ado/value.cpp: text, date and value conversions between the providers
// and the VARIANTs of the object model. Reading a row converts every cell
// it is asked for, so these paths avoid allocations beyond the BSTR or
// array the VARIANT owns.
#include <korvo/ado/ado.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/hresult.h>
#include <korvo/com/oledate.h>
#include <korvo/com/oledate_internal.h>
#include <korvo/com/safearray.h>
#include <korvo/platform/codepage.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvo::ado {
namespace {

using provider::Cell;
using provider::CellType;

HRESULT PutBstr(const char* data, size_t size, VARIANT* out) {
  BSTR b = Utf8ToBstr(data, size);
  if (b == nullptr) return kEOutOfMemory;
  out->vt = VT_BSTR;
  out->bstrVal = b;
  return kSOk;
}

HRESULT PutBytes(const char* data, size_t size, VARIANT* out) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
  if (array == nullptr) return kEOutOfMemory;
  if (size) std::memcpy(array->pvData, data, size);
  out->vt = static_cast<VARTYPE>(VT_ARRAY | VT_UI1);
  out->parray = array;
  return kSOk;
}

void PutInt(int64_t v, VARIANT* out) {
  if (v >= INT32_MIN && v <= INT32_MAX) {
    out->vt = VT_I4;
    out->lVal = static_cast<LONG>(v);
  } else {
    out->vt = VT_I8;
    out->llVal = v;
  }
}

// The cell in the VARIANT type that matches its own kind.
HRESULT Natural(const Cell& c, VARIANT* out) {
  switch (c.type) {
    case CellType::kNull:
      out->vt = VT_NULL;
      return kSOk;
    case CellType::kInt:
      PutInt(c.i, out);
      return kSOk;
    case CellType::kReal:
      out->vt = VT_R8;
      out->dblVal = c.r;
      return kSOk;
    case CellType::kText:
      return PutBstr(c.data, c.size, out);
    case CellType::kBlob:
      return PutBytes(c.data, c.size, out);
  }
  return kSOk;
}

std::string RealText(double r) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", r);
  if (std::strpbrk(buf, ".eEn") == nullptr) std::strcat(buf, ".0");
  return buf;
}

}  // namespace

std::string BstrToUtf8(BSTR text) {
  if (text == nullptr) return std::string();
  return platform::Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

BSTR Utf8ToBstr(const char* data, size_t size) {
  // One byte never gives more than one unit: convert straight into a BSTR
  // of the byte length (exact for ASCII, the common case) and shorten it
  // when multi-byte sequences made the text shorter.
  if (size > INT_MAX) return nullptr;
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(size));
  if (b == nullptr || size == 0) return b;
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, data, static_cast<int>(size), b, static_cast<int>(size));
  if (units == static_cast<int>(size)) return b;
  if (SysReAllocStringLen(&b, b, static_cast<UINT>(units)) == FALSE) {
    SysFreeString(b);
    return nullptr;
  }
  return b;
}

bool ParseIsoDate(const char* s, size_t n, double* date) {
  return com::detail::ParseDate(StoredDateText(s, n), date, com::detail::SecondFraction::kKeep);
}

bool ParsePlainIsoDate(const char* s, size_t n, double* date, SYSTEMTIME* fields) {
  return com::detail::ParsePlainDate(StoredDateText(s, n), date, fields);
}

bool SplitStoredIsoDate(const char* s, size_t n, SYSTEMTIME* fields) {
  return com::detail::SplitPlainDate(StoredDateText(s, n), fields);
}

bool FormatIsoDate(double date, int32_t ado_type, std::string* out) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(date, &st)) return false;
  char buf[64];
  if (ado_type == 133) {
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
  } else if (ado_type == 134) {
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
  } else {
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond);
  }
  *out = buf;
  return true;
}

bool IsKnownDataType(long t) {
  switch (t) {
    case adEmpty:
    case adSmallInt:
    case adInteger:
    case adSingle:
    case adDouble:
    case adCurrency:
    case adDate:
    case adBSTR:
    case adIDispatch:
    case adError:
    case adBoolean:
    case adVariant:
    case adIUnknown:
    case adDecimal:
    case adTinyInt:
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
    case adUnsignedInt:
    case adBigInt:
    case adUnsignedBigInt:
    case adFileTime:
    case adGUID:
    case adBinary:
    case adChar:
    case adWChar:
    case adNumeric:
    case adUserDefined:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
    case adChapter:
    case adPropVariant:
    case adVarNumeric:
    case adVarChar:
    case adLongVarChar:
    case adVarWChar:
    case adLongVarWChar:
    case adVarBinary:
    case adLongVarBinary:
      return true;
    default:
      return false;
  }
}

bool IsTextType(int32_t t) {
  return t == 8 || t == 129 || t == 130 || t == 200 || t == 201 || t == 202 || t == 203;
}
bool IsDateType(int32_t t) { return t == 7 || t == 133 || t == 134 || t == 135; }
bool IsBinaryType(int32_t t) { return t == 128 || t == 204 || t == 205; }
bool IsIntegerType(int32_t t) {
  return t == 2 || t == 3 || t == 16 || t == 17 || t == 18 || t == 19 || t == 20 || t == 21;
}

VARTYPE VarTypeFor(int32_t t) {
  switch (t) {
    case 2:
      return VT_I2;
    case 3:
      return VT_I4;
    case 4:
      return VT_R4;
    case 5:
      return VT_R8;
    case 6:
      return VT_CY;
    case 7:
    case 133:
    case 134:
    case 135:
      return VT_DATE;
    case 8:
    case 72:
    case 129:
    case 130:
    case 200:
    case 201:
    case 202:
    case 203:
      return VT_BSTR;
    case 11:
      return VT_BOOL;
    case 14:
    case 131:
    case 139:
      return VT_DECIMAL;
    case 16:
      return VT_I1;
    case 17:
      return VT_UI1;
    case 18:
      return VT_UI2;
    case 19:
      return VT_UI4;
    case 20:
      return VT_I8;
    case 21:
      return VT_UI8;
    case 128:
    case 204:
    case 205:
      return static_cast<VARTYPE>(VT_ARRAY | VT_UI1);
    default:
      return VT_EMPTY;
  }
}

namespace {

// Text that is a whole number or a number, with nothing else but blanks
// around it (what a numeric field can take from a text value).
bool ParseWhole(const char* data, size_t size, int64_t* v) {
  const std::string text(data, size);
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || errno != 0) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *v = n;
  return true;
}
bool ParseReal(const char* data, size_t size, double* v) {
  const std::string text(data, size);
  char* end = nullptr;
  const double r = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(r)) return false;
  while (*end == ' ') ++end;
  if (*end != '\0') return false;
  *v = r;
  return true;
}

// A number cell (or numeric text) as a VARIANT of `target` (an integer,
// real, currency, decimal or boolean type). Whole numbers stay exact; a
// fraction never silently becomes an integer.
HRESULT NumberToVariant(const Cell& c, VARTYPE target, VARIANT* out) {
  VARIANT from;
  VariantInit(&from);
  switch (c.type) {
    case CellType::kInt:
      from.vt = VT_I8;
      from.llVal = c.i;
      break;
    case CellType::kReal:
      from.vt = VT_R8;
      from.dblVal = c.r;
      break;
    case CellType::kText: {
      int64_t whole = 0;
      if (target == VT_DECIMAL || target == VT_CY) {
        // Exact: a server's decimal text has more digits than a double.
        from.vt = VT_BSTR;
        from.bstrVal = Utf8ToBstr(c.data, c.size);
        if (from.bstrVal == nullptr) return kEOutOfMemory;
        const HRESULT hr = VariantChangeType(out, &from, 0, target);
        VariantClear(&from);
        if (SUCCEEDED(hr)) return kSOk;
        return hr == DISP_E_OVERFLOW ? kDbDataOverflow : kDbCantConvertValue;
      }
      if (ParseWhole(c.data, c.size, &whole)) {
        from.vt = VT_I8;
        from.llVal = whole;
      } else if (ParseReal(c.data, c.size, &from.dblVal)) {
        from.vt = VT_R8;
      } else {
        return kDbCantConvertValue;
      }
      break;
    }
    default:
      return kDbCantConvertValue;
  }
  const bool integer_target = target == VT_I1 || target == VT_I2 || target == VT_I4 ||
                              target == VT_I8 || target == VT_UI1 || target == VT_UI2 ||
                              target == VT_UI4 || target == VT_UI8;
  if (from.vt == VT_R8 && integer_target) {
    if (std::nearbyint(from.dblVal) != from.dblVal) return kDbCantConvertValue;
    if (std::fabs(from.dblVal) >= 9.2e18) return kDbDataOverflow;
    from.vt = VT_I8;
    from.llVal = static_cast<int64_t>(from.dblVal);
  }
  if (from.vt == target) {
    *out = from;
    return kSOk;
  }
  const HRESULT hr = VariantChangeType(out, &from, 0, target);
  if (SUCCEEDED(hr)) return kSOk;
  return hr == DISP_E_OVERFLOW ? kDbDataOverflow : kDbCantConvertValue;
}

}  // namespace

HRESULT CellToVariant(const Cell& c, int32_t t, VARIANT* out) {
  if (c.type == CellType::kNull) {
    out->vt = VT_NULL;
    return kSOk;
  }
  const VARTYPE target = VarTypeFor(t);
  switch (target) {
    case VT_EMPTY:  // adVariant and types without a fixed VARIANT type
      return Natural(c, out);
    case VT_BSTR:
      switch (c.type) {
        case CellType::kText:
        case CellType::kBlob:
          return PutBstr(c.data, c.size, out);
        case CellType::kInt: {
          const std::string s = std::to_string(c.i);
          return PutBstr(s.data(), s.size(), out);
        }
        default: {
          const std::string s = RealText(c.r);
          return PutBstr(s.data(), s.size(), out);
        }
      }
    case VT_ARRAY | VT_UI1:
      // Numbers as the bytes of their text, as the engine casts them.
      if (c.type == CellType::kInt) {
        const std::string s = std::to_string(c.i);
        return PutBytes(s.data(), s.size(), out);
      }
      if (c.type == CellType::kReal) {
        const std::string s = RealText(c.r);
        return PutBytes(s.data(), s.size(), out);
      }
      return PutBytes(c.data, c.size, out);
    case VT_DATE: {
      double d = 0;
      if (c.type != CellType::kText || !ParseIsoDate(c.data, c.size, &d))
        return kDbCantConvertValue;
      out->vt = VT_DATE;
      out->date = d;
      return kSOk;
    }
    case VT_I8:  // the commonest: SQLite's integers
      if (c.type == CellType::kInt) {
        out->vt = VT_I8;
        out->llVal = c.i;
        return kSOk;
      }
      return NumberToVariant(c, target, out);
    case VT_R8:
      if (c.type == CellType::kReal) {
        out->vt = VT_R8;
        out->dblVal = c.r;
        return kSOk;
      }
      return NumberToVariant(c, target, out);
    default:
      return NumberToVariant(c, target, out);
  }
}

long CellActualSize(const Cell& c, int32_t t, int32_t defined_size) {
  switch (c.type) {
    case CellType::kNull:
      return -1;  // adUnknown: a NULL has no known length
    case CellType::kText:
    case CellType::kBlob:
      return static_cast<long>(c.size);
    case CellType::kReal:
      return 8;
    case CellType::kInt:
      if (IsTextType(t)) return static_cast<long>(std::to_string(c.i).size());
      return defined_size > 0 && defined_size <= 8 ? defined_size : 8;
  }
  return 0;
}

HRESULT VariantToParam(const VARIANT& in, int32_t t, provider::ParamValue* out,
                       std::string* error) {
  *out = provider::ParamValue{};
  out->ado_type = t;
  VARIANT value;
  VariantInit(&value);
  if (FAILED(VariantCopyInd(&value, &in))) {
    *error = "The parameter's value cannot be read.";
    return kAdoWrongType;
  }
  struct Clear {
    VARIANT* v;
    ~Clear() { VariantClear(v); }
  } clear{&value};
  const VARTYPE vt = value.vt;
  if (vt == VT_EMPTY || vt == VT_NULL || (vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND)) {
    out->type = CellType::kNull;
    return kSOk;
  }
  // Currency and decimal reach numbers directly (exactly enough for a
  // double), without a detour through text.
  if (value.vt == VT_CY || value.vt == VT_DECIMAL) {
    double number = 0;
    if (value.vt == VT_CY) {
      number = static_cast<double>(value.cyVal.int64) / 10000.0;
    } else {
      const DECIMAL& d = value.decVal;
      number =
          (static_cast<double>(d.Hi32) * 18446744073709551616.0 + static_cast<double>(d.Lo64)) /
          std::pow(10.0, d.scale);
      if (d.sign & DECIMAL_NEG) number = -number;
    }
    VariantClear(&value);
    value.vt = VT_R8;
    value.dblVal = number;
  }
  auto convert = [&](VARTYPE to) {
    if (value.vt == to) return true;
    if (SUCCEEDED(VariantChangeType(&value, &value, 0, to))) return true;
    *error = "The parameter's value (VARIANT type " + std::to_string(vt) +
             ") cannot be converted to its ADO type " + std::to_string(t) + ".";
    return false;
  };
  // Types the parameter does not pin down take the value's own kind.
  int32_t kind = t;
  if (t == 0 || t == 12 ||
      !(IsTextType(t) || IsDateType(t) || IsBinaryType(t) || IsIntegerType(t) || t == 11 ||
        t == 4 || t == 5 || t == 6 || t == 14 || t == 131 || t == 139)) {
    switch (vt) {
      case VT_BSTR:
        kind = 202;
        break;
      case VT_DATE:
        kind = 135;
        break;
      case VT_R4:
      case VT_R8:
      case VT_CY:
      case VT_DECIMAL:
        kind = 5;
        break;
      case VT_BOOL:
        kind = 11;
        break;
      default:
        kind = (vt == (VT_ARRAY | VT_UI1)) ? 205 : 20;
        break;
    }
  }
  if (IsBinaryType(kind)) {
    if (value.vt == (VT_ARRAY | VT_UI1) && value.parray != nullptr) {
      out->type = CellType::kBlob;
      out->bytes.assign(static_cast<const char*>(value.parray->pvData),
                        value.parray->rgsabound[0].cElements);
      return kSOk;
    }
    if (value.vt == VT_BSTR) {
      out->type = CellType::kBlob;
      out->bytes = BstrToUtf8(value.bstrVal);
      return kSOk;
    }
    *error = "A binary parameter needs a byte array (VT_ARRAY | VT_UI1).";
    return kAdoWrongType;
  }
  if (IsTextType(kind)) {
    if (!convert(VT_BSTR)) return kAdoWrongType;
    out->type = CellType::kText;
    out->bytes = BstrToUtf8(value.bstrVal);
    return kSOk;
  }
  if (IsDateType(kind)) {
    if (!convert(VT_DATE)) return kAdoWrongType;
    if (!FormatIsoDate(value.date, kind, &out->bytes)) {
      *error = "The parameter's date is outside the range 0100-01-01 .. 9999-12-31.";
      return kAdoWrongType;
    }
    out->type = CellType::kText;
    return kSOk;
  }
  if (kind == 11) {
    if (!convert(VT_BOOL)) return kAdoWrongType;
    out->type = CellType::kInt;
    out->i = value.boolVal != VARIANT_FALSE ? 1 : 0;
    return kSOk;
  }
  if (IsIntegerType(kind)) {
    if (!convert(VT_I8)) return kAdoWrongType;
    out->type = CellType::kInt;
    out->i = value.llVal;
    return kSOk;
  }
  if (!convert(VT_R8)) return kAdoWrongType;
  out->type = CellType::kReal;
  out->r = value.dblVal;
  return kSOk;
}

}  // namespace korvo::ado
