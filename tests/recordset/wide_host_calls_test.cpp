// The host's wchar_t (UTF-32) text at the public interface: the wchar_t
// twins take the calls they should and no other, convert on the way in and
// out, and turn invalid text into a CDBException before anything runs.
#include <korvo/Korvo.h>

#include <cwchar>
#include <functional>
#include <string>
#include <utility>

#include "recordset/recordset_fixture.h"

namespace {

using korvo::test::CatchDB;

// ---- Which calls reach a wchar_t twin (compile-time).

// The real overload sets with their twins deleted: a call that compiles
// on a spy cannot have picked a twin, so it picks what it picked before the
// twins existed; a call that compiles on the class but not on its spy did
// pick one.
struct DatabaseSpy : CDatabase {
  using CDatabase::ExecuteSQL;
  using CDatabase::ExecuteSQLW;
  template <korvo::HostWideChar C>
  void ExecuteSQL(const C*, long* = nullptr) = delete;
  template <korvo::HostWideChar C>
  void ExecuteSQLW(const C*, long* = nullptr) = delete;
};
struct RecordsetSpy : CRecordset {
  using CRecordset::GetFieldValue;
  using CRecordset::OpenW;
  using CRecordset::SetFieldValue;
  template <korvo::HostWideChar C>
  BOOL OpenW(unsigned int, const C*, unsigned long = none, unsigned long = 0) = delete;
  template <korvo::HostWideChar C>
  void SetFieldValue(short, const C*) = delete;
  template <korvo::HostWideChar C>
  void GetFieldValue(short, C*, int) = delete;
};
struct CmdsetSpy : CCmdset {
  using CCmdset::SetCommandProc;
  using CCmdset::SetCommandText;
  template <korvo::HostWideChar C>
  void SetCommandText(const C*) = delete;
  template <korvo::HostWideChar C>
  void SetCommandProc(const C*) = delete;
};

template <class O, class A>
concept ExecuteSQLTakes = requires(O& o) {
  o.ExecuteSQL(std::declval<A>());
};
template <class O, class A>
concept ExecuteSQLWTakes = requires(O& o) {
  o.ExecuteSQLW(std::declval<A>());
};
template <class O, class A>
concept OpenWTakes = requires(O& o) {
  o.OpenW(0u, std::declval<A>());
};
template <class O, class A>
concept SetFieldValueTakes = requires(O& o) {
  o.SetFieldValue(short{1}, std::declval<A>());
};
template <class O, class A>
concept GetFieldValueTakes = requires(O& o) {
  o.GetFieldValue(short{1}, std::declval<A>(), 4);
};
template <class O, class A>
concept SetCommandTextTakes = requires(O& o) {
  o.SetCommandText(std::declval<A>());
};
template <class O, class A>
concept SetCommandProcTakes = requires(O& o) {
  o.SetCommandProc(std::declval<A>());
};
template <class O>
concept ExecuteSQLWTakesZero = requires(O& o) {
  o.ExecuteSQLW(0);
};
template <class O>
concept OpenWTakesZero = requires(O& o) {
  o.OpenW(0u, 0);
};

using Wide = const wchar_t*;
using U16 = const char16_t*;
using Null = std::nullptr_t;

// u"..." text, CTWString objects, 0 and nullptr: as before, never a twin.
static_assert(ExecuteSQLTakes<DatabaseSpy, U16> && ExecuteSQLWTakes<DatabaseSpy, U16>);
static_assert(ExecuteSQLTakes<DatabaseSpy, CTWString&> && ExecuteSQLWTakes<DatabaseSpy, CTWString>);
static_assert(ExecuteSQLTakes<DatabaseSpy, const char*> && ExecuteSQLWTakes<DatabaseSpy, Null>);
static_assert(!ExecuteSQLTakes<CDatabase, Null>);  // narrow or 16-bit: ambiguous, as it was
static_assert(OpenWTakes<RecordsetSpy, U16> && OpenWTakes<RecordsetSpy, Null>);
static_assert(OpenWTakes<RecordsetSpy, CTWString>);
static_assert(SetFieldValueTakes<RecordsetSpy, CTWString&>);
static_assert(!SetFieldValueTakes<CRecordset, CTWString>);  // a temporary never bound
static_assert(GetFieldValueTakes<RecordsetSpy, WCHAR*>);
static_assert(SetCommandTextTakes<CmdsetSpy, U16> && SetCommandProcTakes<CmdsetSpy, CTWString>);
static_assert(ExecuteSQLWTakesZero<DatabaseSpy> && OpenWTakesZero<RecordsetSpy>);

// wchar_t text: compiles, and only through a twin.
static_assert(ExecuteSQLTakes<CDatabase, Wide> && !ExecuteSQLTakes<DatabaseSpy, Wide>);
static_assert(ExecuteSQLWTakes<CDatabase, Wide> && !ExecuteSQLWTakes<DatabaseSpy, Wide>);
static_assert(OpenWTakes<CRecordset, Wide> && !OpenWTakes<RecordsetSpy, Wide>);
static_assert(SetFieldValueTakes<CRecordset, Wide> && !SetFieldValueTakes<RecordsetSpy, Wide>);
static_assert(GetFieldValueTakes<CRecordset, wchar_t*> &&
              !GetFieldValueTakes<RecordsetSpy, wchar_t*>);
static_assert(SetCommandTextTakes<CCmdset, Wide> && !SetCommandTextTakes<CmdsetSpy, Wide>);
static_assert(SetCommandProcTakes<CCmdset, Wide> && !SetCommandProcTakes<CmdsetSpy, Wide>);

// ---- Behaviour.

const std::wstring kParrot = L"Papagei \U0001F99C gr\u00FCn";

class CNameSet : public CRecordset {
 public:
  explicit CNameSet(CDatabase* db) : CRecordset(db) { m_nFields = 2; }
  long m_id = 0;
  CTWString m_name;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Text(pFX, "name", m_name);
  }
};

class WideHostCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    db_ = std::make_unique<CDatabase>();  // needs COM on this thread
    db_->OpenEx(korvo::test::SqliteConnect(dir_.File("wide.db")).c_str());
    db_->ExecuteSQL(L"CREATE TABLE birds (id INTEGER PRIMARY KEY, name NVARCHAR(40))");
  }
  void TearDown() override {
    db_.reset();
    CoUninitialize();
  }
  korvo::test::TempDir dir_;
  std::unique_ptr<CDatabase> db_;
};

TEST_F(WideHostCalls, TextBeyondTheBmpTravelsBothWays) {
  db_->ExecuteSQLW((L"INSERT INTO birds VALUES (1, '" + kParrot + L"')").c_str());
  CCmdset cmd(db_.get());
  cmd.SetCommandText(L"INSERT INTO birds VALUES (2, 'Eule \U0001F989')");
  cmd.Execute();

  CNameSet rs(db_.get());
  rs.OpenW(CRecordset::staticCursor, L"SELECT id, name FROM birds ORDER BY id");
  EXPECT_EQ(kParrot, std::wstring(rs.m_name));
  EXPECT_TRUE(rs.m_name == kParrot.c_str());
  std::wstring byName;
  rs.GetFieldValue("name", byName);
  EXPECT_EQ(kParrot, byName);
  // The wchar_t buffer follows wcsncpy in wchar_t units: padded when
  // shorter, unterminated when full.
  wchar_t padded[20];
  std::wmemset(padded, L'#', 20);
  rs.GetFieldValue(2, padded, 20);
  EXPECT_EQ(kParrot + std::wstring(20 - kParrot.size(), L'\0'), std::wstring(padded, 20));
  wchar_t cut[4] = {L'#', L'#', L'#', L'#'};
  rs.GetFieldValue(2, cut, 3);
  EXPECT_EQ(std::wstring(L"Pap#"), std::wstring(cut, 4));

  // A value written with SetFieldValue(L"...") reads back the same.
  rs.MoveNext();
  rs.SetDirtyFieldStatus(1);
  rs.SetFieldValue(2, L"Rabe \U0001F426\u200D\u2B1B");
  rs.GetAdoRecordSet()->Update();
  rs.Requery();
  rs.MoveNext();
  std::wstring raven;
  rs.GetFieldValue(2, raven);
  EXPECT_EQ(L"Rabe \U0001F426\u200D\u2B1B", raven);
}

TEST_F(WideHostCalls, InvalidTextThrowsBeforeTheOperationRuns) {
  const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xDC00), 0};
  const wchar_t tooLarge[] = {L'a', L'b', static_cast<wchar_t>(0x110000), 0};
  CNameSet rs(db_.get());
  CCmdset cmd(db_.get());
  const auto calls = {
      std::function<void()>([&] { db_->ExecuteSQL(surrogate); }),
      std::function<void()>([&] { db_->ExecuteSQLW(surrogate); }),
      std::function<void()>([&] { rs.OpenW(CRecordset::staticCursor, surrogate); }),
      std::function<void()>([&] { rs.SetFieldValue(2, surrogate); }),
      std::function<void()>([&] { rs.SetFieldValue2(2, surrogate); }),
      std::function<void()>([&] { cmd.SetCommandText(surrogate); }),
      std::function<void()>([&] { cmd.SetCommandProc(surrogate); }),
  };
  for (const auto& call : calls) {
    auto e = CatchDB(call);
    ASSERT_TRUE(e);
    EXPECT_EQ(0, e->m_nReturnCode);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), e->m_dwNativeError);
    EXPECT_STREQ("Invalid wide text: U+DC00 at index 1 is not a Unicode scalar value",
                 e->m_strErrorText);
    EXPECT_STREQ("[wchar_t]", e->m_strErrorOrigin);
  }
  EXPECT_FALSE(rs.IsOpen());
  auto e = CatchDB([&] { db_->ExecuteSQL(tooLarge); });
  ASSERT_TRUE(e);
  EXPECT_STREQ("Invalid wide text: U+110000 at index 2 is not a Unicode scalar value",
               e->m_strErrorText);
  // Out of the library: a lone surrogate has no UTF-32 form.
  const WCHAR lone[] = {u'x', 0xD83D};
  e = CatchDB([&] { korvo::ToHostWideString(lone, 2); });
  ASSERT_TRUE(e);
  EXPECT_STREQ("Invalid wide text: U+D83D at index 1 is not a Unicode scalar value",
               e->m_strErrorText);
}

TEST(WideHostValues, ValueTypesTakeAndGiveUtf32Text) {
  // Without its twin an L"..." literal would have made a VT_BOOL.
  _variant_t v(L"\U0001F99C");
  EXPECT_EQ(VT_BSTR, v.vt);
  EXPECT_EQ(std::u16string(u"\U0001F99C"), v.bstrVal);
  _bstr_t b(L"gr\u00FCn \U0001F99C");
  EXPECT_EQ(L"gr\u00FCn \U0001F99C", b.GetStdWString());

  // CTString through UTF-16 to the ANSI code page (UTF-8 by default).
  CTString narrow(L"gr\u00FCn");
  EXPECT_STREQ("gr\xC3\xBCn", narrow);

  CTWString wide(L"ab\U0001F99Cab");
  wide += L"!";
  EXPECT_EQ(L"ab\U0001F99Cab!", wide.GetStdWString());
  EXPECT_EQ(2, wide.Find(L"\U0001F99Cab"));
  EXPECT_EQ(0, wide.Compare(L"ab\U0001F99Cab!"));
  EXPECT_EQ(0, wide.CompareNoCase(L"AB\U0001F99CAB!"));
  EXPECT_TRUE(L"ab\U0001F99Cab!" == wide && wide != L"ab");
  // A string has no error channel: invalid code points become U+FFFD.
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), 0};
  EXPECT_EQ(L"a\uFFFD", CTWString(bad).GetStdWString());
  CTWString lone(u"a\xD800");
  EXPECT_EQ(L"a\uFFFD", lone.GetStdWString());
}

}  // namespace
