// examples/tour/main.cpp: the guided tour of Korvo on an embedded SQLite
// database, run by the README's main job (scripts/demo.sh).
//
//   korvo_tour [database-file]     (default: korvo_tour.db, recreated)
//
// Exits 0 when every step did what it shows, 1 otherwise.
#include <cstdio>
#include <string>

#include "tour.h"

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : "korvo_tour.db";
  std::printf("Korvo guided tour: database file %s\n", file.c_str());
  // Every thread that uses the library initialises COM first, as on Windows.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  bool ok = true;
  try {
    CDatabase db;
    const std::string connect = "Provider=SQLite;Data Source=" + file;
    tour::Connect(db, connect);
    tour::Statements(db);
    tour::Transactions(db);
    tour::WalkRecordset(db);
    tour::FilterSortLimit(db);
    tour::EditRows(db);
    tour::Command(db);
    ok = tour::Conflict(db, connect);
    db.Close();
  } catch (CDBException* e) {
    std::printf("\nThe tour stopped on an unexpected error:\n");
    tour::Explain(e);
    ok = false;
  }
  tour::ShowTrace();
  CoUninitialize();
  std::printf("\n%s\n", ok ? "End of the tour." : "The tour FAILED.");
  return ok ? 0 : 1;
}
