// ado/providers/odbc/odbc_canceller.h: cancels a connection's running
// statement from a thread of its own once the statement's deadline passes.
#pragma once

#include <korvo/ado/providers/odbc/odbc_sql.h>
#include <korvo/ado/providers/provider.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace korvo::ado::provider::odbc {

// For drivers that accept SQL_ATTR_QUERY_TIMEOUT but never enforce it
// (MariaDB Connector/ODBC): without this a statement past its deadline
// runs on, and its caller waits, for as long as the server lets it.
// One statement runs at a time on a connection, so one watch at a time.
// Thread-safe; the statement thread calls Arm and Disarm in pairs.
class DeadlineCanceller {
 public:
  DeadlineCanceller();
  DeadlineCanceller(const DeadlineCanceller&) = delete;
  DeadlineCanceller& operator=(const DeadlineCanceller&) = delete;
  ~DeadlineCanceller();  // stops and joins the thread

  // Watches `stmt`, which must stay valid until Disarm.
  void Arm(SQLHSTMT stmt, Deadline deadline);
  // Ends the watch; true when the statement was cancelled. A cancel in
  // progress finishes first, so the handle may be freed afterwards.
  bool Disarm();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  SQLHSTMT stmt_ = nullptr;  // guarded by mutex_, as are the three below
  Deadline deadline_ = NoDeadline();
  bool fired_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

// Arms `canceller` (when there is one and a deadline) for one call.
class DeadlineWatch {
 public:
  DeadlineWatch(DeadlineCanceller* canceller, SQLHSTMT stmt, Deadline deadline)
      : canceller_(deadline == NoDeadline() ? nullptr : canceller) {
    if (canceller_ != nullptr) canceller_->Arm(stmt, deadline);
  }
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;
  ~DeadlineWatch() { Disarm(); }

  // Ends the watch early; true when the statement was cancelled.
  bool Disarm() {
    DeadlineCanceller* c = canceller_;
    canceller_ = nullptr;
    return c != nullptr && c->Disarm();
  }

 private:
  DeadlineCanceller* canceller_;
};

}  // namespace korvo::ado::provider::odbc
