#include "sqld/tds/log.h"

#include <cstdio>
#include <ctime>

namespace tessel::sqld::tds {

void Log::write(std::string_view line) {
  if (quiet_) return;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "%s tessel-sqld: %.*s\n", stamp, static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

}  // namespace tessel::sqld::tds
