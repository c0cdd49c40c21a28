#include "datetime.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

constexpr std::array<const char*, 12> kMonthShort = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 12> kMonthLong = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kWeekday = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                 "Friday", "Saturday", "Sunday"};

// Days from 1970-01-01 to 1900-01-01.
constexpr std::int64_t kEpochShift = 25567;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int daysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

int monthFromName(std::string_view word) {
  if (word.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    std::string_view full = kMonthLong[i];
    if (word.size() <= full.size() && iequals(word, full.substr(0, word.size()))) return i + 1;
  }
  return 0;
}

struct Parts {
  std::vector<std::string> numbers;  // numeric date fields in order
  int month = 0;                     // from a month name
  std::vector<std::string> time;     // h, m, s, fraction
  bool pm = false, am = false;
  std::string fractionSep;
};

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

int toInt(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

int fullYear(std::string_view s) {
  int y = toInt(s);
  if (s.size() <= 2) y += y < 50 ? 2000 : 1900;  // the two-digit year cutoff of 2049
  return y;
}

// Parses "hh:mi[:ss[.fff|:fff]] [AM|PM]" starting at text; returns ticks of the day.
std::optional<std::int64_t> parseTime(std::string_view t) {
  std::size_t i = 0;
  int fields[3] = {0, 0, 0};
  int n = 0;
  std::int64_t fracTicks = 0;
  while (i < t.size() && n < 3) {
    std::size_t start = i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
    if (i == start) return std::nullopt;
    fields[n++] = toInt(t.substr(start, i - start));
    if (i < t.size() && t[i] == ':' && n < 3) {
      ++i;
      continue;
    }
    break;
  }
  if (i < t.size() && (t[i] == '.' || (t[i] == ':' && n == 3))) {
    bool colon = t[i] == ':';
    ++i;
    std::size_t start = i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
    std::string frac(t.substr(start, i - start));
    if (colon) {
      fracTicks = ticksFromMilliseconds(toInt(frac.substr(0, 3)));
    } else {
      // Fractions of a second rounded to 1/300.
      double f = frac.empty() ? 0 : std::stod("0." + frac);
      fracTicks = static_cast<std::int64_t>(f * 300 + 0.5);
    }
  }
  while (i < t.size() && t[i] == ' ') ++i;
  std::string_view rest = t.substr(i);
  bool am = iequals(rest, "AM"), pm = iequals(rest, "PM");
  if (!rest.empty() && !am && !pm) return std::nullopt;
  if (n < 2 && !am && !pm) return std::nullopt;
  int h = fields[0], m = fields[1], s = fields[2];
  if (am || pm) {
    if (h < 1 || h > 12) {
      if (!(h == 0 && am)) return std::nullopt;
    }
    if (pm && h < 12) h += 12;
    if (am && h == 12) h = 0;
  }
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  return (static_cast<std::int64_t>(h) * 3600 + m * 60 + s) * 300 + fracTicks;
}

std::optional<std::int64_t> makeDate(int y, int m, int d, int minYear) {
  if (y < minYear || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m))
    return std::nullopt;
  return daysFromCivil(y, m, d);
}

std::optional<std::int64_t> numericDate(const std::vector<std::string>& f, DateOrder order,
                                        int minYear) {
  if (f.size() != 3) return std::nullopt;
  // A four-digit first field is always a year: yyyy-mm-dd.
  if (f[0].size() == 4) return makeDate(toInt(f[0]), toInt(f[1]), toInt(f[2]), minYear);
  int a = toInt(f[0]), b = toInt(f[1]);
  switch (order) {
    case DateOrder::MDY:
      return makeDate(fullYear(f[2]), a, b, minYear);
    case DateOrder::DMY:
      return makeDate(fullYear(f[2]), b, a, minYear);
    case DateOrder::YMD:
      return makeDate(fullYear(f[0]), b, toInt(f[2]), minYear);
    case DateOrder::YDM:
      return makeDate(fullYear(f[0]), toInt(f[2]), b, minYear);
    case DateOrder::MYD:
      return makeDate(fullYear(f[1]), a, toInt(f[2]), minYear);
    case DateOrder::DYM:
      return makeDate(fullYear(f[1]), toInt(f[2]), a, minYear);
  }
  return std::nullopt;
}

}  // namespace

std::optional<DateOrder> dateOrderFromName(std::string_view n) {
  if (iequals(n, "mdy")) return DateOrder::MDY;
  if (iequals(n, "dmy")) return DateOrder::DMY;
  if (iequals(n, "ymd")) return DateOrder::YMD;
  if (iequals(n, "ydm")) return DateOrder::YDM;
  if (iequals(n, "myd")) return DateOrder::MYD;
  if (iequals(n, "dym")) return DateOrder::DYM;
  return std::nullopt;
}

// Civil-calendar conversion after the well-known days-from-civil algorithm.
std::int64_t daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  std::int64_t era = floorDiv(y, 400);
  std::int64_t yoe = y - era * 400;
  std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kEpochShift;
}

CivilDate civilFromDays(std::int64_t days) {
  std::int64_t z = days - kEpochShift + 719468;
  std::int64_t era = floorDiv(z, 146097);
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t y = yoe + era * 400;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(y + (m <= 2)), m, d};
}

std::int64_t ticksFromMilliseconds(std::int64_t ms) {
  return (ms * 3 + 5) / 10;
}

int millisecondsFromTicks(std::int64_t t) {
  return static_cast<int>((t * 10 + 1) / 3);
}

std::optional<std::int64_t> parseDateTime(std::string_view text, DateOrder order, int minYear) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return 0;  // '' converts to 1900-01-01
  // Split off the time: after 'T', or the first field containing ':' or AM/PM.
  std::string_view datePart = text, timePart;
  std::size_t tpos = text.find('T');
  if (tpos != std::string_view::npos && tpos >= 8 && tpos + 1 < text.size() &&
      std::isdigit(static_cast<unsigned char>(text[tpos + 1]))) {
    datePart = text.substr(0, tpos);
    timePart = text.substr(tpos + 1);
  } else {
    std::size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
      std::size_t start = text.rfind(' ', colon);
      start = start == std::string_view::npos ? 0 : start + 1;
      datePart = text.substr(0, start);
      timePart = text.substr(start);
    } else {
      // "5PM" style: a trailing number with AM/PM.
      std::size_t sp = text.rfind(' ');
      std::string_view last = sp == std::string_view::npos ? text : text.substr(sp + 1);
      if (last.size() >= 3 &&
          (iequals(last.substr(last.size() - 2), "AM") ||
           iequals(last.substr(last.size() - 2), "PM")) &&
          std::isdigit(static_cast<unsigned char>(last[0]))) {
        datePart = sp == std::string_view::npos ? std::string_view() : text.substr(0, sp);
        timePart = last;
      } else if (iequals(last, "AM") || iequals(last, "PM")) {
        std::size_t sp2 = text.rfind(' ', sp - 1);
        sp2 = sp2 == std::string_view::npos ? 0 : sp2 + 1;
        datePart = text.substr(0, sp2);
        timePart = text.substr(sp2);
      }
    }
  }
  while (!datePart.empty() && datePart.back() == ' ') datePart.remove_suffix(1);
  std::int64_t timeTicks = 0;
  if (!timePart.empty()) {
    auto t = parseTime(timePart);
    if (!t) return std::nullopt;
    timeTicks = *t;
  }
  std::int64_t days = 0;
  if (!datePart.empty()) {
    std::optional<std::int64_t> d;
    if (allDigits(datePart)) {
      if (datePart.size() == 8) {
        d = makeDate(toInt(datePart.substr(0, 4)), toInt(datePart.substr(4, 2)),
                     toInt(datePart.substr(6, 2)), minYear);
      } else if (datePart.size() == 6) {
        d = makeDate(fullYear(datePart.substr(0, 2)), toInt(datePart.substr(2, 2)),
                     toInt(datePart.substr(4, 2)), minYear);
      } else if (datePart.size() == 4) {
        d = makeDate(toInt(datePart), 1, 1, minYear);
      }
    } else {
      // Fields separated by / - . space or comma; a word is a month name.
      std::vector<std::string> numbers;
      int month = 0;
      std::string cur;
      bool bad = false;
      auto flush = [&] {
        if (cur.empty()) return;
        if (allDigits(cur)) {
          numbers.push_back(cur);
        } else {
          int m = monthFromName(cur);
          if (!m || month) bad = true;
          month = m;
        }
        cur.clear();
      };
      for (char c : datePart) {
        if (c == '/' || c == '-' || c == '.' || c == ' ' || c == ',') {
          flush();
        } else {
          cur += c;
        }
      }
      flush();
      if (bad) return std::nullopt;
      if (month) {
        // Mon dd yyyy, dd Mon yyyy, Mon yyyy dd ...: the four-digit field is the year.
        if (numbers.size() != 2) return std::nullopt;
        int yearIdx = numbers[0].size() == 4 ? 0 : 1;
        d = makeDate(fullYear(numbers[yearIdx]), month, toInt(numbers[1 - yearIdx]), minYear);
      } else {
        d = numericDate(numbers, order, minYear);
      }
    }
    if (!d) return std::nullopt;
    days = *d;
  }
  return days * kTicksPerDay + timeTicks;
}

std::int64_t toSmallDateTime(std::int64_t ticks) {
  constexpr std::int64_t kMinute = 60 * 300;
  std::int64_t days = floorDiv(ticks, kTicksPerDay);
  std::int64_t t = ticks - days * kTicksPerDay;
  // Seconds of 29.998 or less round down; 29.999 and more round up.
  std::int64_t minutes = (t + kMinute / 2) / kMinute;
  return days * kTicksPerDay + minutes * kMinute;
}

bool inDateTimeRange(std::int64_t ticks) {
  return ticks >= daysFromCivil(1753, 1, 1) * kTicksPerDay &&
         ticks < (daysFromCivil(9999, 12, 31) + 1) * kTicksPerDay;
}

bool inSmallDateTimeRange(std::int64_t ticks) {
  return ticks >= 0 && ticks < (daysFromCivil(2079, 6, 6) + 1) * kTicksPerDay;
}

std::string formatDateTime(std::int64_t ticks, int style) {
  std::int64_t days = floorDiv(ticks, kTicksPerDay);
  std::int64_t t = ticks - days * kTicksPerDay;
  CivilDate c = civilFromDays(days);
  int secs = static_cast<int>(t / 300);
  int h = secs / 3600, mi = secs / 60 % 60, s = secs % 60;
  int ms = millisecondsFromTicks(t % 300);
  if (ms >= 1000) ms = 997;
  int h12 = h % 12 == 0 ? 12 : h % 12;
  const char* ampm = h < 12 ? "AM" : "PM";
  bool century = style >= 100 || style == 0 || style == 9 || style == 13 || style == 20 ||
                 style == 21 || style == 23 || style == 25;
  int base = style >= 100 ? style - 100 : style;
  char yy[8];
  std::snprintf(yy, sizeof yy, century ? "%04d" : "%02d", century ? c.year : c.year % 100);
  char buf[64];
  const char* mon = kMonthShort[c.month - 1];
  switch (style >= 120 ? style : base) {
    case 1:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%s", c.month, c.day, yy);
      break;
    case 2:
      std::snprintf(buf, sizeof buf, "%s.%02d.%02d", yy, c.month, c.day);
      break;
    case 3:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%s", c.day, c.month, yy);
      break;
    case 4:
      std::snprintf(buf, sizeof buf, "%02d.%02d.%s", c.day, c.month, yy);
      break;
    case 5:
      std::snprintf(buf, sizeof buf, "%02d-%02d-%s", c.day, c.month, yy);
      break;
    case 6:
      std::snprintf(buf, sizeof buf, "%02d %s %s", c.day, mon, yy);
      break;
    case 7:
      std::snprintf(buf, sizeof buf, "%s %02d, %s", mon, c.day, yy);
      break;
    case 8:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
      break;
    case 9:
      std::snprintf(buf, sizeof buf, "%s %2d %s %2d:%02d:%02d:%03d%s", mon, c.day, yy, h12, mi, s,
                    ms, ampm);
      break;
    case 10:
      std::snprintf(buf, sizeof buf, "%02d-%02d-%s", c.month, c.day, yy);
      break;
    case 11:
      std::snprintf(buf, sizeof buf, "%s/%02d/%02d", yy, c.month, c.day);
      break;
    case 12:
      std::snprintf(buf, sizeof buf, "%s%02d%02d", yy, c.month, c.day);
      break;
    case 13:
      std::snprintf(buf, sizeof buf, "%02d %s %s %02d:%02d:%02d:%03d", c.day, mon, yy, h, mi, s,
                    ms);
      break;
    case 14:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d", h, mi, s, ms);
      break;
    case 20:
    case 120:
      std::snprintf(buf, sizeof buf, "%s-%02d-%02d %02d:%02d:%02d", yy, c.month, c.day, h, mi, s);
      break;
    case 21:
    case 25:
    case 121:
      std::snprintf(buf, sizeof buf, "%s-%02d-%02d %02d:%02d:%02d.%03d", yy, c.month, c.day, h, mi,
                    s, ms);
      break;
    case 22:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %2d:%02d:%02d %s", c.month, c.day,
                    c.year % 100, h12, mi, s, ampm);
      break;
    case 23:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
      break;
    case 24:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
      break;
    case 126:
    case 127:
      // No fraction when the milliseconds are zero.
      std::snprintf(buf, sizeof buf,
                    ms ? "%04d-%02d-%02dT%02d:%02d:%02d.%03d" : "%04d-%02d-%02dT%02d:%02d:%02d",
                    c.year, c.month, c.day, h, mi, s, ms);
      break;
    default:
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", mon, c.day, c.year, h12, mi, ampm);
      break;
  }
  return buf;
}

std::int64_t nowTicks(bool utc) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::time_t secs = ts.tv_sec;
  std::tm tm{};
  if (utc) {
    gmtime_r(&secs, &tm);
  } else {
    localtime_r(&secs, &tm);
  }
  std::int64_t days = daysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  std::int64_t t =
      (static_cast<std::int64_t>(tm.tm_hour) * 3600 + tm.tm_min * 60 + tm.tm_sec) * 300 +
      ticksFromMilliseconds(ts.tv_nsec / 1000000);
  return days * kTicksPerDay + t;
}

// Part codes: 0 year, 1 quarter, 2 month, 3 dayofyear, 4 day, 5 week, 6 weekday,
// 7 hour, 8 minute, 9 second, 10 millisecond; the date and time types also
// have 11 microsecond, 12 nanosecond, 13 tzoffset and 14 iso_week
// (datetime2.h).
std::optional<int> normalizeDatePart(std::string_view p) {
  struct Alias {
    const char* name;
    int code;
  };
  static constexpr Alias kAliases[] = {
      {"year", 0},    {"yy", 0},
      {"yyyy", 0},    {"quarter", 1},
      {"qq", 1},      {"q", 1},
      {"month", 2},   {"mm", 2},
      {"m", 2},       {"dayofyear", 3},
      {"dy", 3},      {"y", 3},
      {"day", 4},     {"dd", 4},
      {"d", 4},       {"week", 5},
      {"wk", 5},      {"ww", 5},
      {"weekday", 6}, {"dw", 6},
      {"w", 6},       {"hour", 7},
      {"hh", 7},      {"minute", 8},
      {"mi", 8},      {"n", 8},
      {"second", 9},  {"ss", 9},
      {"s", 9},       {"millisecond", 10},
      {"ms", 10},     {"microsecond", 11},
      {"mcs", 11},    {"nanosecond", 12},
      {"ns", 12},     {"tzoffset", 13},
      {"tz", 13},     {"iso_week", 14},
      {"isowk", 14},  {"isoww", 14},
  };
  for (const auto& a : kAliases)
    if (iequals(p, a.name)) return a.code;
  return std::nullopt;
}

std::int64_t datePart(int part, std::int64_t ticks, int dateFirst) {
  std::int64_t days = floorDiv(ticks, kTicksPerDay);
  std::int64_t t = ticks - days * kTicksPerDay;
  CivilDate c = civilFromDays(days);
  // 1900-01-01 was a Monday: weekday 0 = Monday.
  int monday0 = static_cast<int>(((days % 7) + 7) % 7);
  switch (part) {
    case 0:
      return c.year;
    case 1:
      return (c.month - 1) / 3 + 1;
    case 2:
      return c.month;
    case 3:
      return days - daysFromCivil(c.year, 1, 1) + 1;
    case 4:
      return c.day;
    case 5: {
      std::int64_t jan1 = daysFromCivil(c.year, 1, 1);
      int jan1Dow = static_cast<int>((((jan1 % 7) + 7) % 7 + 1 - dateFirst + 7 + 7) % 7);
      return (days - jan1 + jan1Dow) / 7 + 1;
    }
    case 6:
      return ((monday0 + 1 - dateFirst) % 7 + 7) % 7 + 1;
    case 7:
      return t / 300 / 3600;
    case 8:
      return t / 300 / 60 % 60;
    case 9:
      return t / 300 % 60;
    case 10:
      return millisecondsFromTicks(t % 300);
  }
  return 0;
}

std::optional<std::int64_t> dateAdd(int part, std::int64_t n, std::int64_t ticks) {
  std::int64_t days = floorDiv(ticks, kTicksPerDay);
  std::int64_t t = ticks - days * kTicksPerDay;
  switch (part) {
    case 0:
    case 1:
    case 2: {
      CivilDate c = civilFromDays(days);
      std::int64_t months = part == 0 ? n * 12 : part == 1 ? n * 3 : n;
      std::int64_t total = static_cast<std::int64_t>(c.year) * 12 + (c.month - 1) + months;
      int y = static_cast<int>(floorDiv(total, 12));
      int m = static_cast<int>(total - static_cast<std::int64_t>(y) * 12) + 1;
      if (y < 1753 || y > 9999) return std::nullopt;
      int d = std::min(c.day, daysInMonth(y, m));
      return daysFromCivil(y, m, d) * kTicksPerDay + t;
    }
    case 3:
    case 4:
    case 6:
      return ticks + n * kTicksPerDay;
    case 5:
      return ticks + n * 7 * kTicksPerDay;
    case 7:
      return ticks + n * 3600 * 300;
    case 8:
      return ticks + n * 60 * 300;
    case 9:
      return ticks + n * 300;
    case 10:
      return ticks + ticksFromMilliseconds(n);
  }
  return std::nullopt;
}

std::int64_t dateDiff(int part, std::int64_t from, std::int64_t to) {
  std::int64_t d1 = floorDiv(from, kTicksPerDay), d2 = floorDiv(to, kTicksPerDay);
  CivilDate a = civilFromDays(d1), b = civilFromDays(d2);
  switch (part) {
    case 0:
      return b.year - a.year;
    case 1:
      return (b.year * 4 + (b.month - 1) / 3) - (a.year * 4 + (a.month - 1) / 3);
    case 2:
      return (static_cast<std::int64_t>(b.year) * 12 + b.month) - (a.year * 12 + a.month);
    case 3:
    case 4:
    case 6:
      return d2 - d1;
    case 5:
      return floorDiv(d2 + 1, 7) - floorDiv(d1 + 1, 7);  // weeks start on Sunday
    case 7:
      return floorDiv(to, 3600 * 300) - floorDiv(from, 3600 * 300);
    case 8:
      return floorDiv(to, 60 * 300) - floorDiv(from, 60 * 300);
    case 9:
      return floorDiv(to, 300) - floorDiv(from, 300);
    case 10:
      return (floorDiv(to, 300) - floorDiv(from, 300)) * 1000 +
             millisecondsFromTicks(to - floorDiv(to, 300) * 300) -
             millisecondsFromTicks(from - floorDiv(from, 300) * 300);
  }
  return 0;
}

std::string dateName(int part, std::int64_t ticks, int dateFirst) {
  std::int64_t days = floorDiv(ticks, kTicksPerDay);
  if (part == 2) return kMonthLong[civilFromDays(days).month - 1];
  if (part == 6) return kWeekday[((days % 7) + 7) % 7];
  return std::to_string(datePart(part, ticks, dateFirst));
}

}  // namespace tessel::sqld::engine
