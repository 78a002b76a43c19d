// ado/providers/postgresql/pg_types.cpp: type OIDs to ADO types, text
// values to cells.
#include <korvo/ado/providers/postgresql/pg_types.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <type_traits>

namespace korvo::ado::provider::postgresql {
namespace {

// The built-in type OIDs (fixed in PostgreSQL's catalog).
enum : uint32_t {
  kBoolOid = 16,
  kByteaOid = 17,
  kNameOid = 19,
  kInt8Oid = 20,
  kInt2Oid = 21,
  kInt4Oid = 23,
  kTextOid = 25,
  kOidOid = 26,
  kFloat4Oid = 700,
  kFloat8Oid = 701,
  kBpcharOid = 1042,
  kVarcharOid = 1043,
  kDateOid = 1082,
  kTimeOid = 1083,
  kTimestampOid = 1114,
  kTimestampTzOid = 1184,
  kNumericOid = 1700,
  kUuidOid = 2950,
};

// ADO's defined size for a value without a length limit.
constexpr int32_t kLongSize = 1073741823;
// A type modifier carries this header before the length of a char(n),
// varchar(n) or numeric(p, s).
constexpr int kModifierHeader = 4;
// What DECIMAL holds; an unconstrained numeric reports it.
constexpr uint8_t kDecimalDigits = 28;

Decode Set(ColumnInfo* info, int32_t type, int32_t size, uint8_t precision, Decode decode) {
  info->ado_type = type;
  info->defined_size = size;
  info->precision = precision;
  return decode;
}

int Digit2(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }
bool IsDigits(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
  }
  return true;
}

}  // namespace

Decode DescribeType(uint32_t type_oid, int modifier, ColumnInfo* info) {
  const int length = modifier >= kModifierHeader ? modifier - kModifierHeader : -1;
  switch (type_oid) {
    case kBoolOid:
      return Set(info, kAdBoolean, 2, 1, Decode::kBool);
    case kInt2Oid:
      return Set(info, kAdSmallInt, 2, 5, Decode::kInt);
    case kInt4Oid:
      return Set(info, kAdInteger, 4, 10, Decode::kInt);
    case kInt8Oid:
    case kOidOid:  // unsigned 32-bit: does not fit a signed 32-bit field
      return Set(info, kAdBigInt, 8, 19, Decode::kInt);
    case kFloat4Oid:
      return Set(info, kAdSingle, 4, 7, Decode::kReal);
    case kFloat8Oid:
      return Set(info, kAdDouble, 8, 15, Decode::kReal);
    case kNumericOid: {
      Set(info, kAdNumeric, 19, kDecimalDigits, Decode::kText);
      if (length >= 0) {
        info->precision = static_cast<uint8_t>(std::min((length >> 16) & 0xffff, 255));
        info->scale = static_cast<uint8_t>(std::min(length & 0xffff, 255));
      }
      return Decode::kText;
    }
    case kBpcharOid:
      return Set(info, kAdWChar, length >= 0 ? length : kLongSize, 0, Decode::kText);
    case kVarcharOid:
      return Set(info, kAdVarWChar, length >= 0 ? length : kLongSize, 0, Decode::kText);
    case kNameOid:
      return Set(info, kAdVarWChar, 63, 0, Decode::kText);
    case kByteaOid:
      return Set(info, kAdLongVarBinary, kLongSize, 0, Decode::kBytea);
    case kDateOid:
      return Set(info, kAdDBDate, 6, 0, Decode::kText);
    case kTimeOid:
      return Set(info, kAdDBTime, 6, 0, Decode::kText);
    case kTimestampOid:
      return Set(info, kAdDBTimeStamp, 16, 0, Decode::kText);
    case kTimestampTzOid:
      return Set(info, kAdDBTimeStamp, 16, 0, Decode::kLocalTime);
    case kUuidOid:
      return Set(info, kAdGuid, 16, 0, Decode::kText);
    case kTextOid:
    default:
      // Text, and the text form of every other type (intervals, arrays, json).
      return Set(info, kAdLongVarWChar, kLongSize, 0, Decode::kText);
  }
}

bool BinaryDecode(uint32_t type_oid, Decode* decode) {
  switch (type_oid) {
    case kInt2Oid:
      *decode = Decode::kInt16;
      return true;
    case kInt4Oid:
      *decode = Decode::kInt32;
      return true;
    case kInt8Oid:
      *decode = Decode::kInt64;
      return true;
    case kOidOid:
      *decode = Decode::kUInt32;
      return true;
    case kFloat8Oid:
      *decode = Decode::kFloat64;
      return true;
    case kBoolOid:
      *decode = Decode::kBoolByte;
      return true;
    case kByteaOid:
      *decode = Decode::kRawBytes;
      return true;
    case kTextOid:
    case kVarcharOid:
    case kBpcharOid:
    case kNameOid:
      *decode = Decode::kText;  // the binary form of text is the text
      return true;
    default:
      return false;
  }
}

bool TimestampTzToLocal(const char* text, size_t size, std::string* out) {
  // "YYYY-MM-DD HH:MM:SS" is 19 characters; an offset follows, after any
  // fraction.
  if (size < 22 || !IsDigits(text, 4) || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
      text[13] != ':' || text[16] != ':') {
    return false;
  }
  size_t at = 19;
  size_t fraction_end = at;
  if (text[at] == '.') {
    fraction_end = at + 1;
    while (fraction_end < size && text[fraction_end] >= '0' && text[fraction_end] <= '9')
      ++fraction_end;
  }
  at = fraction_end;
  if (at + 3 > size || (text[at] != '+' && text[at] != '-') || !IsDigits(text + at + 1, 2))
    return false;
  const int sign = text[at] == '-' ? -1 : 1;
  long offset = Digit2(text + at + 1) * 3600L;
  at += 3;
  for (long unit : {60L, 1L}) {
    if (at == size) break;
    if (at + 3 > size || text[at] != ':' || !IsDigits(text + at + 1, 2)) return false;
    offset += Digit2(text + at + 1) * unit;
    at += 3;
  }
  if (at != size) return false;  // " BC" and anything else unknown
  std::tm utc{};
  utc.tm_year = Digit2(text) * 100 + Digit2(text + 2) - 1900;
  utc.tm_mon = Digit2(text + 5) - 1;
  utc.tm_mday = Digit2(text + 8);
  utc.tm_hour = Digit2(text + 11);
  utc.tm_min = Digit2(text + 14);
  utc.tm_sec = Digit2(text + 17);
  const time_t instant = timegm(&utc) - sign * offset;
  std::tm local{};
  if (localtime_r(&instant, &local) == nullptr) return false;
  char buffer[32];
  const int n =
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  if (n != 19) return false;
  out->assign(buffer, 19);
  out->append(text + 19, fraction_end - 19);
  return true;
}

namespace {

// A cell over text the decoder rewrote into the caller's scratch buffer.
Cell ScratchCell(CellType type, const std::string& scratch) {
  Cell cell;
  cell.type = type;
  cell.data = scratch.data();
  cell.size = scratch.size();
  return cell;
}

// The big-endian value of `Int`'s width at `p`, as one load and a swap.
template <class Int>
Int BigEndianOf(const char* p) {
  std::make_unsigned_t<Int> v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (sizeof v == 2) v = __builtin_bswap16(v);
  if constexpr (sizeof v == 4) v = __builtin_bswap32(v);
  if constexpr (sizeof v == 8) v = __builtin_bswap64(v);
  return static_cast<Int>(v);
}

// The integer of a binary value of `Int` (its width), into *cell.
template <class Int>
bool BinaryInt(const char* value, size_t size, Cell* cell) {
  if (size != sizeof(Int)) return false;
  cell->type = CellType::kInt;
  cell->i = BigEndianOf<Int>(value);
  return true;
}

// A number's text read as a whole: nothing left over, no overflow.
template <class Number>
bool ParsedWhole(const char* value, size_t size, Number* out) {
  const auto [end, ec] = std::from_chars(value, value + size, *out);
  return ec == std::errc() && end == value + size;
}

}  // namespace

void DecodeValue(Decode decode, const char* value, int length, std::string* scratch, Cell* out) {
  Cell& cell = *out;
  cell = Cell{};
  const size_t size = static_cast<size_t>(length);
  switch (decode) {
    case Decode::kInt16:
      if (BinaryInt<int16_t>(value, size, &cell)) return;
      break;
    case Decode::kInt32:
      if (BinaryInt<int32_t>(value, size, &cell)) return;
      break;
    case Decode::kInt64:
      if (BinaryInt<int64_t>(value, size, &cell)) return;
      break;
    case Decode::kUInt32:
      if (BinaryInt<uint32_t>(value, size, &cell)) return;
      break;
    case Decode::kFloat64:
      if (size == sizeof(double)) {
        const uint64_t bits = BigEndianOf<uint64_t>(value);
        std::memcpy(&cell.r, &bits, sizeof bits);
        cell.type = CellType::kReal;
        return;
      }
      break;
    case Decode::kBoolByte:
      if (size == 1) {
        cell.type = CellType::kInt;
        cell.i = value[0] != 0 ? 1 : 0;
        return;
      }
      break;
    case Decode::kRawBytes:
      cell.type = CellType::kBlob;
      cell.data = value;
      cell.size = size;
      return;
    case Decode::kInt:
      if (ParsedWhole(value, size, &cell.i)) {
        cell.type = CellType::kInt;
        return;
      }
      break;
    case Decode::kReal:
      if (ParsedWhole(value, size, &cell.r)) {
        cell.type = CellType::kReal;
        return;
      }
      break;
    case Decode::kBool:
      if (size == 1 && (value[0] == 't' || value[0] == 'f')) {
        cell.type = CellType::kInt;
        cell.i = value[0] == 't' ? 1 : 0;
        return;
      }
      break;
    case Decode::kBytea:
      // The hex format ("\x0a1b..."), which the session asks for.
      if (size >= 2 && value[0] == '\\' && value[1] == 'x' && size % 2 == 0) {
        scratch->resize((size - 2) / 2);
        bool valid = true;
        for (size_t i = 2, o = 0; i < size; i += 2, ++o) {
          unsigned byte = 0;
          const auto [end, ec] = std::from_chars(value + i, value + i + 2, byte, 16);
          valid = valid && ec == std::errc() && end == value + i + 2;
          (*scratch)[o] = static_cast<char>(byte);
        }
        if (valid) {
          cell = ScratchCell(CellType::kBlob, *scratch);
          return;
        }
      }
      break;
    case Decode::kLocalTime:
      if (TimestampTzToLocal(value, size, scratch)) {
        cell = ScratchCell(CellType::kText, *scratch);
        return;
      }
      break;
    case Decode::kText:
      break;
  }
  cell.type = CellType::kText;
  cell.data = value;
  cell.size = size;
  return;
}

}  // namespace korvo::ado::provider::postgresql
