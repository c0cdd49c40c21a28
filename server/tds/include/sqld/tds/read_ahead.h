#pragma once

// The bytes of requests that the sessions of one listener hold without
// running them yet, against one total. A busy session that finds the total
// spent stops reading its socket until other sessions have run theirs, so a
// few clients that send faster than the server works cannot fill its memory.
// Any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tessel::sqld::tds {

class ReadAheadBudget {
 public:
  explicit ReadAheadBudget(std::size_t limit) : limit_(static_cast<std::int64_t>(limit)) {}

  void add(std::int64_t delta) { used_.fetch_add(delta, std::memory_order_relaxed); }
  bool spent() const { return used_.load(std::memory_order_relaxed) >= limit_; }
  std::int64_t used() const { return used_.load(std::memory_order_relaxed); }

 private:
  const std::int64_t limit_;
  std::atomic<std::int64_t> used_{0};
};

}  // namespace tessel::sqld::tds
