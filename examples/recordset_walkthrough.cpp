// A walk through recordsets on an embedded SQLite database: a class derived
// from CRecordset binds its members to columns, opens on a table name with
// a filter, a sort and a row limit, moves through the rows, edits, adds and
// deletes rows, and requeries. Run through the README's main-job command.
//
//   korvo_recordset_walkthrough [database-file]
#include <korvo/Korvo.h>

#include <cstdio>
#include <string>

namespace {

// One member per column of the birds table; m_nFields counts the RFX_
// calls of DoFieldExchange.
class CBirdSet : public CRecordset {
 public:
  explicit CBirdSet(CDatabase* db) : CRecordset(db) { m_nFields = 3; }

  long m_id = 0;
  CTString m_name;
  int m_seen = 0;

  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Text(pFX, "name", m_name);
    RFX_Int(pFX, "seen", m_seen);
  }
};

void PrintRows(CBirdSet& rs, const char* title) {
  std::printf("  %s\n    SQL: %s\n", title, static_cast<const char*>(rs.GetSQL()));
  for (; !rs.IsEOF(); rs.MoveNext()) {
    std::printf("    %3ld  %-10s seen %s\n", rs.m_id, static_cast<const char*>(rs.m_name),
                rs.IsFieldNull(&rs.m_seen) ? "(null)" : std::to_string(rs.m_seen).c_str());
  }
}

void Walk(const char* databaseFile) {
  CDatabase db;
  db.OpenEx((std::string("Provider=SQLite;Data Source=") + databaseFile).c_str());
  std::printf("  opened %s (product type %d)\n", databaseFile, db.GetDbmsType());
  db.ExecuteSQL("DROP TABLE IF EXISTS birds");
  db.ExecuteSQL("CREATE TABLE birds (id INTEGER PRIMARY KEY, name TEXT UNIQUE, seen INTEGER)");
  db.ExecuteSQL("INSERT INTO birds (name, seen) VALUES ('raven', 3), ('crow', 5), ('rook', 1),"
                " ('jackdaw', 0), ('magpie', 7), ('jay', NULL)");

  CBirdSet rs(&db);
  // A table name: the recordset writes the SELECT from its bindings.
  rs.m_strFilter = "seen IS NULL OR seen > 0";
  rs.m_strSort = "name";
  rs.Open(CRecordset::staticCursor, "birds", CRecordset::none, 4);
  PrintRows(rs, "the first four birds seen, by name");

  // Edit the first row: only changed members are written back.
  rs.MoveFirst();
  rs.Edit();
  rs.m_seen += 10;
  std::printf("  Update after Edit of %s: %d\n", static_cast<const char*>(rs.m_name), rs.Update());

  // AddNew starts from null members; the ones assigned are written.
  rs.AddNew();
  rs.m_name = "chough";
  rs.m_seen = 2;
  std::printf("  Update after AddNew: %d\n", rs.Update());

  // Delete the current row; its members then hold null values.
  rs.MoveFirst();
  rs.MoveNext();
  CTString gone = rs.m_name;
  rs.Delete();
  std::printf("  deleted %s\n", static_cast<const char*>(gone));

  // Requery picks up a changed filter and sort.
  rs.m_strFilter = "seen >= 2";
  rs.m_strSort = "seen DESC";
  rs.Requery();
  PrintRows(rs, "after Requery: seen at least twice, most seen first");
  rs.Close();

  // A failure arrives as a CDBException with an origin.
  CBirdSet bad(&db);
  try {
    bad.Open(CRecordset::forwardOnly, "no_such_table", CRecordset::readOnly);
  } catch (CDBException* e) {
    std::printf("  caught CDBException: return code %d, origin %s\n    \"%s\"\n",
                e->m_nReturnCode, static_cast<const char*>(e->m_strErrorOrigin),
                static_cast<const char*>(e->m_strErrorText));
    e->Delete();
  }
  db.Close();
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("Korvo recordset walk-through\n\n");
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int rc = 0;
  try {
    Walk(argc > 1 ? argv[1] : "korvo_walkthrough.db");
  } catch (CDBException* e) {
    std::printf("  unexpected CDBException %s: %s\n", static_cast<const char*>(e->m_strErrorOrigin),
                static_cast<const char*>(e->m_strErrorText));
    e->Delete();
    rc = 1;
  }
  CoUninitialize();
  return rc;
}
