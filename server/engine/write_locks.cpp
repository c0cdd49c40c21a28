#include "write_locks.h"

#include <chrono>

namespace tessel::sqld::engine {

bool WriteLocks::closesCycle(std::int64_t session, const std::string& database) const {
  // Every session waits for one database at most, so the waits form chains;
  // following the chain from the holder either ends or comes back here.
  std::string next = database;
  for (std::size_t steps = 0; steps <= waiting_.size(); ++steps) {
    auto holder = holders_.find(next);
    if (holder == holders_.end()) return false;
    if (holder->second == session) return true;
    auto waits = waiting_.find(holder->second);
    if (waits == waiting_.end()) return false;
    next = waits->second;
  }
  return false;
}

WriteLocks::Outcome WriteLocks::acquire(std::int64_t session, const std::string& database,
                                        std::int32_t timeoutMs, const std::function<bool()>& stop) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  std::unique_lock lock(mutex_);
  auto free = [&] {
    auto it = holders_.find(database);
    return it == holders_.end() || it->second == session;
  };
  if (!free()) {
    // Only the session whose wait closes a cycle sees it: one victim.
    if (closesCycle(session, database)) return Outcome::Deadlock;
    waiting_[session] = database;
    for (;;) {
      if (stop && stop()) {
        waiting_.erase(session);
        return Outcome::Stopped;
      }
      if (timeoutMs >= 0 && Clock::now() >= deadline) {
        waiting_.erase(session);
        return Outcome::TimedOut;
      }
      // Cancel and KILL flags change without telling this condition.
      released_.wait_for(lock, std::chrono::milliseconds(10));
      if (free()) break;
    }
    waiting_.erase(session);
  }
  holders_[database] = session;
  return Outcome::Acquired;
}

void WriteLocks::releaseAll(std::int64_t session) {
  {
    std::lock_guard lock(mutex_);
    std::erase_if(holders_, [&](const auto& entry) { return entry.second == session; });
  }
  released_.notify_all();
}

}  // namespace tessel::sqld::engine
