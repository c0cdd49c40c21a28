#pragma once

// The server's log of sessions and failures on standard error, one line per
// event. Any thread; lines never interleave. --quiet turns it off.

#include <mutex>
#include <string_view>

namespace tessel::sqld::tds {

class Log {
 public:
  explicit Log(bool quiet = false) : quiet_(quiet) {}
  void write(std::string_view line);

 private:
  bool quiet_;
  std::mutex mutex_;  // guards standard error
};

}  // namespace tessel::sqld::tds
