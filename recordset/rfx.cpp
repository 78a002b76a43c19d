// recordset/rfx.cpp: the single-row RFX_ functions (recordset layer).
//
// Every function is the same exchange over a per-type description: how to
// read and write the member through the recordset's typed accessors, when
// the member holds a value (rather than its pseudo-null value), how a
// change is detected and what the pseudo-null value is. Exchange() below
// is the one implementation of the operations.
#include <korvo/platform/hot_internal.h>
#include <korvo/recordset/CFieldExchange.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/recordset_access_internal.h>
#include <korvo/recordset/rfx.h>

#include <cstring>
#include <optional>

using korvo::recordset::RecordsetAccess;

namespace {

// How opMarkForUpdate decides that a field changed.
enum class DirtyRule {
  kCompare,  // the column's current value differs from the member
  kNotNull,  // the field's null bit is clear
};

// The text of a member whose buffer was filled up to a zero character:
// its length is taken from that character.
template <class String>
void TrimAtTerminator(String& text) {
  int length = 0;
  while (length < text.GetLength() && text[length] != 0) ++length;
  if (length != text.GetLength()) text = text.Left(length);
}

// The member after a fill that did not store it: marked as the getter
// marks a null column, or read through the getter.
template <class Ops, class T>
void LoadUnfilled(FillResult result, CRecordset& rs, short n, T& value) {
  if (result == FillResult::kNull) {
    rs.SetFieldNull(&value, TRUE);
    return;
  }
  Ops::Read(rs, n, value);
  if constexpr (Ops::kText) TrimAtTerminator(value);
}

// Reads column `n` of the current row into the member for the binding
// pass: filled straight from the row where that gives what the getter
// would store, else through the getter.
template <class Ops, class T>
void Load(CRecordset& rs, short n, T& value) {
  FillResult result = FillResult::kNotFilled;
  if constexpr (Ops::kFill.has_value()) {
    result = RecordsetAccess::FillMember(rs, n, *Ops::kFill, &value);
    // plain UTF-8 text holds no zero character to trim at
    if (result == FillResult::kFilled) return;
  }
  LoadUnfilled<Ops>(result, rs, n, value);
}

// A field AddNew's marking pass sends: dirty, and no longer null.
inline void MarkDirtyNotNull(unsigned char& status) {
  status = static_cast<unsigned char>((status | CRecordset::fieldDirty) & ~CRecordset::fieldNull);
}

// The description of one member type. Ops provides:
//   static void Read(CRecordset&, short, T&);
//   static void Write(CRecordset&, short, T&);
//   static bool HoldsValue(const T&);
//   static int Equal(CRecordset&, short, T&);   (DirtyRule::kCompare only)
//   static void MakePseudoNull(T&);
//   static constexpr DirtyRule kDirtyRule;
//   static constexpr bool kText, kDirtyOnAddNewUnlessSet, kLongBinary;
//   static constexpr std::optional<MemberKind> kFill = std::nullopt;  (filled straight from
//     the row by the binding pass where the getter would store the same)
//
// (Out of line: the binding pass's shortcut below keeps its own path
// short.)
template <class Ops, class T>
[[gnu::noinline]] KORVO_HOT void ExchangeFully(CFieldExchange* pFX, const char* szName, T& value) {
  unsigned int field_number = 0;
  if (!pFX->IsFieldType(&field_number)) return;
  CRecordset& rs = *pFX->m_prs;
  const short n = static_cast<short>(field_number);
  const unsigned long index = field_number - 1;

  switch (pFX->m_nOperation) {
    case CFieldExchange::opBindFieldsToColumns:
      if (!RecordsetAccess::AtEof(rs, pFX)) Load<Ops>(rs, n, value);
      RecordsetAccess::MapField(rs, &value, field_number);
      return;

    case CFieldExchange::opBindFieldsForUpdate:
      Ops::Write(rs, n, value);
      return;

    case CFieldExchange::opMarkForAddNew:
      if constexpr (!Ops::kLongBinary) {
        unsigned char* const status = RecordsetAccess::StatusByte(rs, index);
        if (status == nullptr) return;
        // An int is sent even while it holds its pseudo-null value.
        const bool mark = Ops::kDirtyOnAddNewUnlessSet ? (*status & CRecordset::fieldDirty) == 0
                                                       : Ops::HoldsValue(value);
        if (mark) MarkDirtyNotNull(*status);
      }
      return;

    case CFieldExchange::opMarkForUpdate: {
      // Without a status byte the field is still compared (a failing read
      // is reported), its bits are not kept.
      unsigned char unkept = 0;
      unsigned char* status = RecordsetAccess::StatusByte(rs, index);
      if (status == nullptr) status = &unkept;
      if (!Ops::kLongBinary && Ops::HoldsValue(value))
        *status &= static_cast<unsigned char>(~CRecordset::fieldNull);
      if constexpr (Ops::kText) {
        if (value.IsEmpty()) *status |= CRecordset::fieldNull;
      }
      if constexpr (Ops::kDirtyRule == DirtyRule::kCompare) {
        if (!Ops::Equal(rs, n, value)) *status |= CRecordset::fieldDirty;
      } else {
        if ((*status & CRecordset::fieldNull) == 0) *status |= CRecordset::fieldDirty;
      }
      return;
    }

    case CFieldExchange::opSetFieldNull: {
      if (pFX->m_pvTarget != nullptr && pFX->m_pvTarget != &value) return;
      unsigned char* const status = RecordsetAccess::StatusByte(rs, index);
      if (pFX->m_bNullValue) {
        if (status != nullptr) *status |= CRecordset::fieldNull;
        Ops::MakePseudoNull(value);
      } else if (status != nullptr) {
        *status &= static_cast<unsigned char>(~CRecordset::fieldNull);
      }
      return;
    }

    default:
      pFX->Default(szName);
      return;
  }
}

// LoadUnfilled in the binding pass's shortcut, then the mapping the full
// exchange makes after loading (SetFieldNull and the getter run the host's
// code, which may change the map).
template <class Ops, class T>
[[gnu::noinline]] void LoadUnfilledAndMap(FillResult result, CFieldExchange* pFX, T& value) {
  const unsigned int field_number = pFX->m_nFieldNumber;
  CRecordset& rs = *pFX->m_prs;
  LoadUnfilled<Ops>(result, rs, static_cast<short>(field_number), value);
  RecordsetAccess::MapField(rs, &value, field_number);
}

// The exchange of one member. On every row after the first, the binding
// pass's member whose resolved fill and mapping are current is counted
// and filled without the rest of the exchange, which would find the same.
template <class Ops, class T>
KORVO_HOT void Exchange(CFieldExchange* pFX, const char* szName, T& value) {
  if constexpr (Ops::kFill.has_value()) {
    if (pFX->m_nOperation == CFieldExchange::opBindFieldsToColumns) {
      const ResolvedFill* fill = RecordsetAccess::NextFill(pFX, *Ops::kFill);
      const unsigned int field_number = pFX->m_nFieldNumber + 1;
      if (fill != nullptr && RecordsetAccess::Mapped(*pFX->m_prs, &value, field_number)) {
        pFX->m_nFieldNumber = field_number;  // as IsFieldType counts it
        const FillResult result = fill->Fill(&value, 0);
        if (result != FillResult::kFilled) LoadUnfilledAndMap<Ops>(result, pFX, value);
        return;
      }
    }
  }
  ExchangeFully<Ops>(pFX, szName, value);
}

// Defaults shared by most descriptions.
struct OpsBase {
  static constexpr bool kText = false;
  static constexpr bool kDirtyOnAddNewUnlessSet = false;
  static constexpr bool kLongBinary = false;
  static constexpr DirtyRule kDirtyRule = DirtyRule::kCompare;
  static constexpr std::optional<MemberKind> kFill = std::nullopt;
};

// A scalar member with a pseudo-null value and the plain accessors.
template <class T, T kPseudoNull>
struct ScalarOps : OpsBase {
  static void Read(CRecordset& rs, short n, T& v) { rs.GetFieldValue(n, v); }
  static void Write(CRecordset& rs, short n, T& v) { rs.SetFieldValue(n, v); }
  static bool HoldsValue(const T& v) { return v != kPseudoNull; }
  static int Equal(CRecordset& rs, short n, T& v) { return rs.CmpFieldValue(n, v); }
  static void MakePseudoNull(T& v) { v = kPseudoNull; }
};

template <class String>
struct TextOps : OpsBase {
  static constexpr bool kText = true;
  static constexpr std::optional<MemberKind> kFill =
      std::is_same_v<String, CTString> ? MemberKind::kText : MemberKind::kWideText;
  static void Read(CRecordset& rs, short n, String& v) { rs.GetFieldValue(n, v); }
  static void Write(CRecordset& rs, short n, String& v) { rs.SetFieldValue(n, v); }
  static bool HoldsValue(const String& v) { return !v.IsEmpty(); }
  static int Equal(CRecordset& rs, short n, String& v) { return rs.CmpFieldValue(n, v); }
  static void MakePseudoNull(String& v) { v.Empty(); }
};

struct Text2Ops : TextOps<CTString> {
  static void Read(CRecordset& rs, short n, CTString& v) { rs.GetFieldValue2(n, v); }
  static void Write(CRecordset& rs, short n, CTString& v) { rs.SetFieldValue2(n, v); }
  static int Equal(CRecordset& rs, short n, CTString& v) { return rs.CmpFieldValue2(n, v); }
};

struct IntOps : ScalarOps<int, korvo::recordset::kIntPseudoNull> {
  static constexpr bool kDirtyOnAddNewUnlessSet = true;
  static constexpr std::optional<MemberKind> kFill = MemberKind::kInt;
};

struct LongOps : ScalarOps<long, korvo::recordset::kLongPseudoNull> {
  static constexpr std::optional<MemberKind> kFill = MemberKind::kLong;
};

struct ByteOps : ScalarOps<unsigned char, korvo::recordset::kBytePseudoNull> {
  static constexpr DirtyRule kDirtyRule = DirtyRule::kNotNull;
};

struct BoolOps : ScalarOps<int, korvo::recordset::kBoolPseudoNull> {
  static void Read(CRecordset& rs, short n, int& v) { rs.GetFieldValueBool(n, v); }
  static void Write(CRecordset& rs, short n, int& v) { rs.SetFieldValueBool(n, v); }
};

struct DoubleOps : OpsBase {
  static constexpr std::optional<MemberKind> kFill = MemberKind::kDouble;
  static void Read(CRecordset& rs, short n, double& v) { rs.GetFieldValue(n, v); }
  static void Write(CRecordset& rs, short n, double& v) { rs.SetFieldValue(n, v); }
  // Exact: only the pseudo-null bit pattern itself counts as no value.
  static bool HoldsValue(const double& v) { return v != korvo::recordset::kDoublePseudoNull; }
  static int Equal(CRecordset& rs, short n, double& v) { return rs.CmpFieldValue(n, v); }
  static void MakePseudoNull(double& v) { v = korvo::recordset::kDoublePseudoNull; }
};

struct DateOps : OpsBase {
  static constexpr std::optional<MemberKind> kFill = MemberKind::kTime;
  static void Read(CRecordset& rs, short n, CTTime& v) { rs.GetFieldValue(n, v); }
  static void Write(CRecordset& rs, short n, CTTime& v) { rs.SetFieldValue(n, v); }
  static bool HoldsValue(const CTTime& v) { return v.GetTime() != 0; }
  static int Equal(CRecordset& rs, short n, CTTime& v) { return rs.CmpFieldValue(n, v); }
  static void MakePseudoNull(CTTime& v) { v = static_cast<__int64>(0); }
};

struct BinaryOps : OpsBase {
  static constexpr DirtyRule kDirtyRule = DirtyRule::kNotNull;
  static void Read(CRecordset& rs, short n, CTByteArray& v) { rs.GetFieldValue(n, v); }
  static void Write(CRecordset& rs, short n, CTByteArray& v) { rs.SetFieldValue(n, v); }
  static bool HoldsValue(const CTByteArray& v) { return !(v.GetSize() == 1 && v[0] == 0xFF); }
  static void MakePseudoNull(CTByteArray& v) {
    v.SetSize(1);
    v[0] = 0xFF;
  }
};

struct LongBinaryOps : OpsBase {
  static constexpr bool kLongBinary = true;
  static constexpr DirtyRule kDirtyRule = DirtyRule::kNotNull;
  static void Read(CRecordset& rs, short n, CTLongBinary& v) { rs.GetFieldValue(n, v); }
  static void Write(CRecordset& rs, short n, CTLongBinary& v) { rs.SetFieldValue(n, v); }
  static bool HoldsValue(const CTLongBinary&) { return false; }
  static void MakePseudoNull(CTLongBinary& v) { v.m_nDataLength = 0; }
};

}  // namespace

KORVO_HOT void RFX_Text(CFieldExchange* pFX, const char* szName, CTString& value, int, int, short) {
  Exchange<TextOps<CTString>>(pFX, szName, value);
}

void RFX_Text(CFieldExchange* pFX, const char* szName, CTWString& value, int, int, short) {
  Exchange<TextOps<CTWString>>(pFX, szName, value);
}

void RFX_Text2(CFieldExchange* pFX, const char* szName, CTString& value, int, int, short) {
  Exchange<Text2Ops>(pFX, szName, value);
}

KORVO_HOT void RFX_Int(CFieldExchange* pFX, const char* szName, int& value) {
  Exchange<IntOps>(pFX, szName, value);
}

KORVO_HOT void RFX_Long(CFieldExchange* pFX, const char* szName, long& value) {
  Exchange<LongOps>(pFX, szName, value);
}

void RFX_Byte(CFieldExchange* pFX, const char* szName, unsigned char& value) {
  Exchange<ByteOps>(pFX, szName, value);
}

void RFX_Bool(CFieldExchange* pFX, const char* szName, int& value) {
  Exchange<BoolOps>(pFX, szName, value);
}

void RFX_Binary(CFieldExchange* pFX, const char* szName, CTByteArray& value, __int64) {
  Exchange<BinaryOps>(pFX, szName, value);
}

KORVO_HOT void RFX_Date(CFieldExchange* pFX, const char* szName, CTTime& value) {
  Exchange<DateOps>(pFX, szName, value);
}

void RFX_LongBinary(CFieldExchange* pFX, const char* szName, CTLongBinary& value) {
  Exchange<LongBinaryOps>(pFX, szName, value);
}

KORVO_HOT void RFX_Double(CFieldExchange* pFX, const char* szName, double& value) {
  Exchange<DoubleOps>(pFX, szName, value);
}
