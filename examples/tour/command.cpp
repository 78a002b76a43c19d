// examples/tour/command.cpp: a command (CCmdset) with parameters, first
// for a statement without rows, then for one whose rows a recordset reads.
#include "tour.h"

namespace tour {

void Command(CDatabase& db) {
  Step("a command with parameters",
       "CCmdset binds values to the ? markers, in the order AppendParameter is called");
  CCmdset insert(&db);
  insert.SetCommandText("INSERT INTO birds (name, seen) VALUES (?, ?)");
  insert.AppendParameter("name", CCmdset::typeVarChar, 20, _variant_t("nutcracker"));
  insert.AppendParameter("seen", CCmdset::typeInteger, 4, _variant_t(4L));
  long inserted = 0;
  insert.Execute(inserted);
  Say("INSERT with name = 'nutcracker', seen = 4: %ld row", inserted);

  CCmdset select(&db);
  select.SetCommandText(
      "SELECT id, name, seen FROM birds WHERE seen BETWEEN ? AND ? ORDER BY seen");
  select.AppendParameter("low", CCmdset::typeInteger, 4, _variant_t(2L));
  select.AppendParameter("high", CCmdset::typeInteger, 4, _variant_t(6L));
  // A recordset opened on the table binds its members; the command then
  // hands it its own rows. They come forward-only: Move(0) loads the first.
  CBirdSet rs(&db);
  rs.Open(CRecordset::forwardOnly, "birds", CRecordset::readOnly);
  select.Execute(rs);
  rs.Move(0, CRecordset::fetchRelative);
  Say("SELECT with seen BETWEEN 2 AND 6:");
  PrintRows(rs);
  rs.Close();
}

}  // namespace tour
