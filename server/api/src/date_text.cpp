#include "sqld/date_text.h"

#include <algorithm>
#include <cstdio>

namespace tessel::sqld {
namespace {

struct Civil {
  int year, month, day;
};

// Days since 0001-01-01 to a calendar date (proleptic Gregorian).
Civil civilFrom0001(std::int64_t days) {
  std::int64_t z = days + 306;  // shift to 0000-03-01
  std::int64_t era = z / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  return {y, m, d};
}

}  // namespace

std::string formatDateTime2(const DateTime2Value& v, const TypeInfo& type) {
  char buf[64];
  std::string out;
  if (type.type != SqlType::Time) {
    Civil c = civilFrom0001(std::max<std::int64_t>(v.days, 0));
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    out = buf;
    if (type.type == SqlType::Date) return out;
    out += ' ';
  }
  long long secs = v.units / 10000000;
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", secs / 3600, secs / 60 % 60, secs % 60);
  out += buf;
  int scale = std::clamp<int>(type.scale, 0, 7);
  if (scale > 0) {
    std::snprintf(buf, sizeof buf, "%07lld", static_cast<long long>(v.units % 10000000));
    out += '.';
    out.append(buf, static_cast<std::size_t>(scale));
  }
  if (type.type == SqlType::DateTimeOffset) {
    int off = v.offsetMinutes < 0 ? -v.offsetMinutes : v.offsetMinutes;
    std::snprintf(buf, sizeof buf, " %c%02d:%02d", v.offsetMinutes < 0 ? '-' : '+', off / 60,
                  off % 60);
    out += buf;
  }
  return out;
}

int dateTime2TextLength(const TypeInfo& type) {
  int fraction = type.scale > 0 ? 1 + std::min<int>(type.scale, 7) : 0;
  switch (type.type) {
    case SqlType::Date:
      return 10;
    case SqlType::Time:
      return 8 + fraction;
    case SqlType::DateTime2:
      return 19 + fraction;
    default:
      return 26 + fraction;
  }
}

}  // namespace tessel::sqld
