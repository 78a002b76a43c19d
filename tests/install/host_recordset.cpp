// Built against the installed package only: a host's recordset derived from
// CRecordset opens with a filter, a sort and a row limit, edits, adds and
// deletes rows, requeries, and the result is read back through a second
// connection. Exits non-zero, naming the first difference, on any fault.
//
//   korvo_host_recordset <database-file>
#include <korvo/Korvo.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class CItemSet : public CRecordset {
 public:
  explicit CItemSet(CDatabase* db) : CRecordset(db) { m_nFields = 3; }
  long m_id = 0;
  CTString m_name;
  int m_qty = 0;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "ID", m_id);
    RFX_Text(pFX, "NAME", m_name);
    RFX_Int(pFX, "QTY", m_qty);
  }
};

int g_failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++g_failures;
  }
}

// "id:name:qty" of every row left in the recordset.
std::vector<std::string> Rows(CItemSet& rs) {
  std::vector<std::string> rows;
  for (; !rs.IsEOF(); rs.MoveNext()) {
    rows.push_back(std::to_string(rs.m_id) + ":" + static_cast<const char*>(rs.m_name) + ":" +
                   std::to_string(rs.m_qty));
  }
  return rows;
}

void Run(const std::string& connect) {
  CDatabase db;
  db.OpenEx(connect.c_str());
  db.ExecuteSQL("DROP TABLE IF EXISTS ITEM");
  db.ExecuteSQL("CREATE TABLE ITEM (ID INTEGER PRIMARY KEY, NAME TEXT, QTY INTEGER)");
  db.ExecuteSQL(
      "INSERT INTO ITEM VALUES (1,'bolt',10),(2,'nut',0),(3,'washer',5),"
      "(4,'screw',7),(5,'rivet',2)");

  CItemSet rs(&db);
  rs.m_strFilter = "QTY > 0";
  rs.m_strSort = "NAME";
  rs.Open(CRecordset::staticCursor, "ITEM", CRecordset::none, 3);
  Expect(rs.GetSQL() == CTString("SELECT ID,NAME,QTY  FROM (SELECT ID,NAME,QTY ,ROW_NUMBER() OVER "
                                 "(order by NAME) ORAROWNUM  FROM ITEM WHERE QTY > 0 ORDER BY "
                                 "NAME) WHERE ORAROWNUM <= 3"),
         "the built statement");
  Expect(Rows(rs) == std::vector<std::string>{"1:bolt:10", "5:rivet:2", "4:screw:7"},
         "filtered, sorted, limited rows");

  rs.MoveFirst();  // bolt
  rs.Edit();
  rs.m_qty = 11;
  Expect(rs.Update() == 1, "Update after Edit stores the row");
  rs.AddNew();
  rs.m_id = 6;
  rs.m_name = "pin";
  rs.m_qty = 4;
  Expect(rs.Update() == 1, "Update after AddNew stores the row");
  rs.MoveFirst();
  rs.MoveNext();  // rivet
  Expect(rs.m_name == "rivet", "second row is rivet");
  rs.Delete();

  rs.m_strFilter = "QTY >= 4";
  rs.m_strSort = "ID";
  Expect(rs.Requery() == 1, "Requery");
  Expect(Rows(rs) == std::vector<std::string>{"1:bolt:11", "3:washer:5", "4:screw:7"},
         "requeried rows");
  rs.Close();

  // What the database holds, as another connection sees it.
  CDatabase other;
  other.OpenEx(connect.c_str());
  CItemSet check(&other);
  check.m_strSort = "ID";
  check.Open(CRecordset::forwardOnly, "ITEM", CRecordset::readOnly);
  Expect(Rows(check) ==
             std::vector<std::string>{"1:bolt:11", "2:nut:0", "3:washer:5", "4:screw:7", "6:pin:4"},
         "rows seen through a second connection");
  check.Close();
  other.Close();
  db.Close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: korvo_host_recordset <database-file>\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    Run(std::string("Provider=SQLite;Data Source=") + argv[1]);
  } catch (CDBException* e) {
    std::printf("FAILED: CDBException %d %s: %s\n", e->m_nReturnCode,
                static_cast<const char*>(e->m_strErrorOrigin),
                static_cast<const char*>(e->m_strErrorText));
    e->Delete();
    ++g_failures;
  }
  CoUninitialize();
  if (g_failures == 0) std::printf("recordset host: all checks passed\n");
  return g_failures == 0 ? 0 : 1;
}
