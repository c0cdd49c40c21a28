#pragma once

// Sequence objects. A database keeps each sequence's definition and last
// value in _tessel_sequence beside its sysobjects row (type SO). The engine
// hands values out from one table of counters shared by all sessions, so a
// value is never given twice even when the transaction that took it rolls
// back (sequences are not transactional); each value taken is also written
// to the database so that the counter survives a restart.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace tessel::sqld::engine {

// What a sequence generates. `current` is the last value handed out;
// nothing before the first, which is then `first`: the start value, or the
// value ALTER SEQUENCE ... RESTART WITH gave.
struct SequenceState {
  std::int64_t start = 1;
  std::int64_t first = 1;
  std::int64_t increment = 1;
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
  bool cycle = false;
  std::optional<std::int64_t> current;
};

// The value after `s.current`, or nothing when the sequence is exhausted.
std::optional<std::int64_t> nextSequenceValue(const SequenceState& s);

// A range of values taken at once (sp_sequence_get_range).
struct SequenceRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t cycles = 0;  // how often the range went past the end and started again
};

// The `count` values after `s.current`, or nothing when they do not fit
// (without CYCLE). Advances `s`.
std::optional<SequenceRange> takeSequenceRange(SequenceState& s, std::int64_t count);

class SequenceCounters {
 public:
  // Takes the next value of the sequence `id` of `database`, loading its
  // state with `load` when the engine has not seen it yet. Nothing when the
  // sequence is exhausted.
  std::optional<std::int64_t> next(const std::string& database, std::int64_t id,
                                   const std::function<SequenceState()>& load);
  // Takes `count` values at once; nothing when they do not fit.
  std::optional<SequenceRange> range(const std::string& database, std::int64_t id,
                                     std::int64_t count,
                                     const std::function<SequenceState()>& load);
  // The state the engine keeps of a sequence; nothing before its first use
  // since the engine started or its definition changed.
  std::optional<SequenceState> loaded(const std::string& database, std::int64_t id);
  // After CREATE, ALTER or DROP SEQUENCE: the state is read again.
  void forget(const std::string& database, std::int64_t id);

 private:
  std::mutex mutex_;
  std::map<std::pair<std::string, std::int64_t>, SequenceState> states_;  // GUARDED_BY(mutex_)
};

}  // namespace tessel::sqld::engine
