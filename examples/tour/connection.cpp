// examples/tour/connection.cpp: the steps on the connection alone:
// opening, statements, transactions.
#include "tour.h"

namespace tour {
namespace {

// A one-column recordset for "how many rows?": a recordset may open on
// any SELECT, not only on a table name.
class CCountSet : public CRecordset {
 public:
  explicit CCountSet(CDatabase* db) : CRecordset(db) { m_nFields = 1; }
  long m_count = 0;
  void DoFieldExchange(CFieldExchange* pFX) override { RFX_Long(pFX, "n", m_count); }
};

long CountBirds(CDatabase& db) {
  CCountSet rs(&db);
  rs.Open(CRecordset::forwardOnly, "SELECT COUNT(*) AS n FROM birds", CRecordset::readOnly);
  const long count = rs.m_count;
  rs.Close();
  return count;
}

}  // namespace

void Connect(CDatabase& db, const std::string& connect) {
  Step("open a connection", "CDatabase::OpenEx with a connect string; SQLite needs only a file");
  db.OpenEx(connect.c_str());
  Say("connect string: %s", connect.c_str());
  Say("open: %s; product type %d (2: a product whose name does not begin with M)",
      db.IsOpen() ? "yes" : "no", db.GetDbmsType());
}

void Statements(CDatabase& db) {
  Step("run statements", "ExecuteSQL runs any statement and can report the rows it touched");
  db.ExecuteSQL("DROP TABLE IF EXISTS birds");
  db.ExecuteSQL("CREATE TABLE birds (id INTEGER PRIMARY KEY, name TEXT UNIQUE, seen INTEGER)");
  long affected = 0;
  db.ExecuteSQL(
      "INSERT INTO birds (name, seen) VALUES ('raven', 3), ('crow', 5), ('rook', 1),"
      " ('jackdaw', 0), ('magpie', 7), ('jay', NULL)",
      &affected);
  Say("created table birds and inserted %ld rows", affected);
  Say("a statement the database refuses (a second 'raven', name is UNIQUE):");
  try {
    db.ExecuteSQL("INSERT INTO birds (name, seen) VALUES ('raven', 9)");
  } catch (CDBException* e) {
    Explain(e);
  }
}

void Transactions(CDatabase& db) {
  Step("transactions", "BeginTrans, then CommitTrans keeps the work and Rollback undoes it");
  db.BeginTrans();
  db.ExecuteSQL("INSERT INTO birds (name, seen) VALUES ('starling', 40)");
  Say("inside a transaction: %ld birds", CountBirds(db));
  db.Rollback();
  Say("after Rollback:       %ld birds", CountBirds(db));
  db.BeginTrans();
  long affected = 0;
  db.ExecuteSQL("UPDATE birds SET seen = seen + 1 WHERE seen > 0", &affected);
  db.CommitTrans();
  Say("committed an UPDATE of %ld rows", affected);
}

}  // namespace tour
