// A host program as it is written for Windows, where wchar_t is 16 bits:
// L"..." literals and wchar_t buffers handed to the library, a recordset
// class with wide members, failures caught as CDBException* and Delete()d.
// It builds and runs on Linux unchanged. It stores text with an emoji
// through wide SQL and through a recordset, reads both back and checks
// them; the exit code is 0 only when everything round-tripped.
//
//   korvo_ported_host <database-file>
#include <korvo/Korvo.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const wchar_t kParrot[] = L"Parrot \U0001F99C";
const wchar_t kOwl[] = L"Eule \U0001F989 gr\u00FC\u00DF";

class CBirdSet : public CRecordset {
 public:
  explicit CBirdSet(CDatabase* pDatabase) : CRecordset(pDatabase) { m_nFields = 2; }

  long m_nId = 0;
  CTWString m_strName;

  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_nId);
    RFX_Text(pFX, "name", m_strName);
  }
};

int g_failures = 0;

void Check(bool ok, const char* what) {
  std::printf("  %s: %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++g_failures;
}

void Run(const char* databaseFile) {
  CDatabase db;
  db.OpenEx((std::string("Provider=SQLite;Data Source=") + databaseFile).c_str());
  db.ExecuteSQL(L"DROP TABLE IF EXISTS birds");
  db.ExecuteSQLW(L"CREATE TABLE birds (id INTEGER PRIMARY KEY, name NVARCHAR(50))");

  // Wide SQL built in a wchar_t buffer, the emoji inside the statement.
  wchar_t sql[128];
  std::swprintf(sql, 128, L"INSERT INTO birds (id, name) VALUES (1, '%ls')", kParrot);
  long nAffected = 0;
  db.ExecuteSQL(sql, &nAffected);
  Check(nAffected == 1, "wide INSERT from a wchar_t buffer");

  // A row added through the recordset's wide member.
  CBirdSet rs(&db);
  rs.m_strSort = L"id";
  rs.OpenW(CRecordset::staticCursor, L"birds");
  rs.AddNew();
  rs.m_nId = 2;
  rs.m_strName = kOwl;
  rs.Update();
  rs.Requery();

  rs.MoveFirst();
  Check(std::wstring(rs.m_strName) == kParrot, "emoji back into a std::wstring");
  Check(rs.m_strName == kParrot, "CTWString == L\"...\"");
  wchar_t buffer[32];
  rs.GetFieldValue(2, buffer, 32);
  Check(std::wcscmp(buffer, kParrot) == 0, "emoji back into a wchar_t buffer");
  rs.MoveNext();
  std::wstring owl;
  rs.GetFieldValue(2, owl);
  Check(owl == kOwl, "recordset-written row back into a std::wstring");
  rs.Close();

  // Bad SQL and bad wide text both arrive as CDBException*.
  try {
    db.ExecuteSQL(L"SELEKT nothing");
    Check(false, "bad SQL throws");
  } catch (CDBException* e) {
    Check(e->m_nReturnCode == 1000, "bad SQL throws CDBException*");
    e->Delete();
  }
  wchar_t broken[] = {L'x', static_cast<wchar_t>(0xD800), 0};
  try {
    db.ExecuteSQL(broken);
    Check(false, "a lone surrogate throws");
  } catch (CDBException* e) {
    std::printf("        (%s)\n", static_cast<const char*>(e->m_strErrorText));
    Check(e->m_dwNativeError == ERROR_NO_UNICODE_TRANSLATION,
          "a lone surrogate throws CDBException*");
    e->Delete();
  }

  CCmdset cmd(&db);
  cmd.SetCommandText(L"UPDATE birds SET name = name || ' \U0001F389' WHERE id = 1");
  long nChanged = 0;
  cmd.Execute(nChanged);
  Check(nChanged == 1, "wide command text");
  db.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <database-file>\n", argv[0]);
    return 2;
  }
  CoInitializeEx(NULL, COINIT_MULTITHREADED);
  try {
    Run(argv[1]);
  } catch (CDBException* e) {
    std::printf("  unexpected CDBException %s: %s\n", static_cast<const char*>(e->m_strErrorOrigin),
                static_cast<const char*>(e->m_strErrorText));
    e->Delete();
    ++g_failures;
  }
  CoUninitialize();
  std::printf("%s\n", g_failures == 0 ? "ported host: all checks passed" : "ported host: FAILED");
  return g_failures == 0 ? 0 : 1;
}
