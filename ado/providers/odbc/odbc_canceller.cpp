// ado/providers/odbc/odbc_canceller.cpp: the deadline watch's thread.
#include <korvo/ado/providers/odbc/odbc_canceller.h>

namespace korvo::ado::provider::odbc {

DeadlineCanceller::DeadlineCanceller() : thread_([this] { Run(); }) {}

DeadlineCanceller::~DeadlineCanceller() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_one();
  thread_.join();
}

void DeadlineCanceller::Arm(SQLHSTMT stmt, Deadline deadline) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stmt_ = stmt;
    deadline_ = deadline;
    fired_ = false;
  }
  changed_.notify_one();
}

bool DeadlineCanceller::Disarm() {
  std::lock_guard<std::mutex> lock(mutex_);  // waits out a cancel in progress
  stmt_ = nullptr;
  return fired_;
}

void DeadlineCanceller::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (stmt_ == nullptr) {
      changed_.wait(lock);
    } else if (Clock::now() < deadline_) {
      changed_.wait_until(lock, deadline_);
    } else {
      // Under the lock: Disarm, and so the freeing of the handle, waits
      // until the driver has finished with it here.
      SQLCancel(stmt_);
      fired_ = true;
      stmt_ = nullptr;
    }
  }
}

}  // namespace korvo::ado::provider::odbc
