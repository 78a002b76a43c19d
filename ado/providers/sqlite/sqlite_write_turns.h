// ado/providers/sqlite/sqlite_write_turns.h: first come, first served
// turns at a database file's write lock among this process's connections.
//
// SQLite's lock waits poll: a writer that commits and at once begins
// again takes the write lock back before the writers sleeping between
// polls notice it is free, so with several busy writers on one file some
// wait until their time-out. Connections of one process therefore queue
// for a file's write turn here, in arrival order, before they ask the
// engine for the lock (other processes still meet only the engine's
// lock). A turn is held from a transaction's BEGIN to its end.
// Thread-safety: WriteTurns is safe to use from any thread.
#pragma once

#include <korvo/ado/providers/provider.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace korvo::ado::provider::sqlite {

class WriteTurns {
 public:
  // The turns of the database file `path` (SQLite's full file name),
  // shared by every connection of the process to it.
  static std::shared_ptr<WriteTurns> ForFile(const std::string& path);

  // Waits, behind those who asked earlier, until the turn is free, or
  // until `until`. Returns a ticket (non-zero) holding the turn, or 0 on
  // time-out.
  uint64_t Acquire(Clock::time_point until);
  // Gives the turn of `ticket` back. A zero ticket does nothing.
  void Release(uint64_t ticket);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<uint64_t> waiting_;  // arrival order
  uint64_t holder_ = 0;
  uint64_t next_ = 1;
};

}  // namespace korvo::ado::provider::sqlite
