// examples/tour/recordset.cpp: the recordset steps: walking, filtering,
// sorting, limiting and editing rows through a class derived from
// CRecordset.
#include "tour.h"

namespace tour {

void WalkRecordset(CDatabase& db) {
  Step("walk a recordset", "Open on a table name: the recordset writes the SELECT itself");
  CBirdSet rs(&db);
  rs.Open(CRecordset::staticCursor, "birds");
  Say("SQL: %s", static_cast<const char*>(rs.GetSQL()));
  PrintRows(rs);
  rs.MoveLast();
  rs.MovePrev();
  Say("a static cursor scrolls: MoveLast then MovePrev lands on %s; %ld rows in all",
      static_cast<const char*>(rs.m_name), rs.GetRecordCount());
  rs.Close();
}

void FilterSortLimit(CDatabase& db) {
  Step("filter, sort, limit",
       "m_strFilter becomes the WHERE, m_strSort the ORDER BY, Open's last argument a row limit");
  CBirdSet rs(&db);
  rs.m_strFilter = "seen IS NULL OR seen > 0";
  rs.m_strSort = "name";
  rs.Open(CRecordset::staticCursor, "birds", CRecordset::none, 3);
  Say("SQL: %s", static_cast<const char*>(rs.GetSQL()));
  PrintRows(rs);
  rs.Close();
}

void EditRows(CDatabase& db) {
  Step("edit rows", "Edit/AddNew change the members, Update writes them, Delete removes the row");
  CBirdSet rs(&db);
  rs.m_strSort = "id";
  rs.Open(CRecordset::staticCursor, "birds");

  rs.Edit();  // the first row: raven
  rs.m_seen += 10;
  Say("Edit %s, seen += 10: Update returns %d", static_cast<const char*>(rs.m_name), rs.Update());

  rs.AddNew();  // members start out null; only the ones assigned are written
  rs.m_name = "chough";
  rs.m_seen = 2;
  Say("AddNew chough: Update returns %d", rs.Update());

  rs.MoveFirst();  // raven again
  rs.MoveNext();   // crow
  Say("Delete %s", static_cast<const char*>(rs.m_name));
  rs.Delete();

  // Requery runs the statement again, with a changed filter and sort.
  rs.m_strFilter = "seen >= 2";
  rs.m_strSort = "seen DESC";
  rs.Requery();
  Say("after Requery with filter \"seen >= 2\", most seen first:");
  PrintRows(rs);
  rs.Close();
}

bool Conflict(CDatabase& db, const std::string& connect) {
  Step("a conflict caught",
       "two connections edit the same row; the second Update finds it changed and is refused");
  CDatabase other;
  other.OpenEx(connect.c_str());
  CBirdSet first(&db);
  CBirdSet second(&other);
  first.m_strFilter = second.m_strFilter = "name = 'rook'";
  first.Open(CRecordset::staticCursor, "birds");
  second.Open(CRecordset::staticCursor, "birds");
  Say("both editors read rook, seen %d", first.m_seen);

  first.Edit();
  first.m_seen = 100;
  Say("first editor sets seen = 100: Update returns %d", first.Update());

  second.Edit();
  second.m_seen = 200;
  bool refused = false;
  Say("second editor sets seen = 200 on what it read before:");
  try {
    second.Update();
  } catch (CDBException* e) {
    refused = true;
    Explain(e);
  }
  second.CancelUpdate();  // drop the refused change
  second.Requery();       // and read what the row holds now
  Say("the row keeps the first change: seen %d", second.m_seen);
  second.Close();
  first.Close();
  other.Close();
  return refused;
}

}  // namespace tour
