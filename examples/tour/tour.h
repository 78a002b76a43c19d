// examples/tour/tour.h: what the steps of the guided tour share. The tour
// is a host program like any other: it uses only <korvo/Korvo.h>.
#pragma once

#include <korvo/Korvo.h>

#include <string>

namespace tour {

// The birds table, one member per column. m_nFields counts the RFX_ calls
// of DoFieldExchange; the names are the table's column names.
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

// Prints "Step n: title" and a one-line explanation.
void Step(const char* title, const char* explanation);
// One indented line of output, printf style.
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints the rows left in the recordset, one per line, from the current
// row to the end.
void PrintRows(CBirdSet& rs);
// Prints what a caught exception carries, then frees it (the catcher owns
// a CDBException*).
void Explain(CDBException* e);

// The steps, in the order main runs them. Each throws CDBException* on a
// failure it does not expect; `connect` opens the tour's database.
void Connect(CDatabase& db, const std::string& connect);
void Statements(CDatabase& db);
void Transactions(CDatabase& db);
void WalkRecordset(CDatabase& db);
void FilterSortLimit(CDatabase& db);
void EditRows(CDatabase& db);
void Command(CDatabase& db);
// Returns false when the second editor's update was not refused.
bool Conflict(CDatabase& db, const std::string& connect);
void ShowTrace();

}  // namespace tour
