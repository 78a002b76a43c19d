// ado/providers/sqlite/sqlite_write_turns.cpp: the process's write turns
// per database file.
#include <korvo/ado/providers/sqlite/sqlite_write_turns.h>

#include <algorithm>
#include <unordered_map>

namespace korvo::ado::provider::sqlite {

std::shared_ptr<WriteTurns> WriteTurns::ForFile(const std::string& path) {
  // Entries of files no connection has open any more are dropped on the
  // way, so the table stays as small as the set of open files.
  static std::mutex mutex;
  static std::unordered_map<std::string, std::weak_ptr<WriteTurns>> files;
  std::lock_guard<std::mutex> lock(mutex);
  for (auto it = files.begin(); it != files.end();) {
    it = it->second.expired() && it->first != path ? files.erase(it) : std::next(it);
  }
  std::weak_ptr<WriteTurns>& slot = files[path];
  std::shared_ptr<WriteTurns> turns = slot.lock();
  if (!turns) {
    turns = std::make_shared<WriteTurns>();
    slot = turns;
  }
  return turns;
}

uint64_t WriteTurns::Acquire(Clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t ticket = next_++;
  waiting_.push_back(ticket);
  auto mine = [&] { return holder_ == 0 && waiting_.front() == ticket; };
  const bool got = until == Clock::time_point::max() ? (changed_.wait(lock, mine), true)
                                                     : changed_.wait_until(lock, until, mine);
  if (!got) {
    waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
    changed_.notify_all();  // the next in line may be first now
    return 0;
  }
  waiting_.pop_front();
  holder_ = ticket;
  return ticket;
}

void WriteTurns::Release(uint64_t ticket) {
  if (ticket == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (holder_ != ticket) return;
  holder_ = 0;
  changed_.notify_all();
}

}  // namespace korvo::ado::provider::sqlite
