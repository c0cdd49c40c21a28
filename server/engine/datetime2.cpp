#include "datetime2.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "sqld/date_text.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

constexpr std::int64_t kMaxDays = 3652058;  // 9999-12-31

std::int64_t daysFrom0001(int y, int m, int d) {
  return daysFromCivil(y, m, d) + kDaysTo1900;
}

bool validDate(int y, int m, int d) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  int last = kDays[m - 1];
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) last = 29;
  return d <= last;
}

std::int64_t unitsPer(int scale) {
  std::int64_t u = 1;
  for (int i = scale; i < 7; ++i) u *= 10;
  return u;
}

// Reads `count` digits at `i` (exactly, or up to `count` when `upTo`).
std::optional<int> digits(std::string_view s, std::size_t& i, std::size_t count,
                          bool upTo = false) {
  int v = 0;
  std::size_t n = 0;
  while (n < count && i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    v = v * 10 + (s[i++] - '0');
    ++n;
  }
  if (n == 0 || (!upTo && n != count)) return std::nullopt;
  return v;
}

// "hh:mi[:ss[.fffffff]]" from `i`; units since midnight.
std::optional<std::int64_t> parseClock(std::string_view s, std::size_t& i) {
  auto h = digits(s, i, 2, true);
  if (!h || i >= s.size() || s[i] != ':') return std::nullopt;
  ++i;
  auto mi = digits(s, i, 2);
  if (!mi) return std::nullopt;
  int sec = 0;
  std::int64_t fraction = 0;
  if (i < s.size() && s[i] == ':') {
    ++i;
    auto ss = digits(s, i, 2);
    if (!ss) return std::nullopt;
    sec = *ss;
    if (i < s.size() && s[i] == '.') {
      ++i;
      std::int64_t scale = 1000000;
      std::size_t start = i;
      // Digits past the seventh are below the types' 100 ns and are dropped,
      // not rounded: 23:59:59.999999999 stays within its day.
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        if (i - start < 7) fraction += (s[i] - '0') * scale, scale /= 10;
        ++i;
      }
    }
  }
  if (*h > 23 || *mi > 59 || sec > 59) return std::nullopt;
  return ((static_cast<std::int64_t>(*h) * 60 + *mi) * 60 + sec) * 10000000 + fraction;
}

// " +hh:mi", "-hh:mi" or "Z" from `i` to the end; minutes.
std::optional<int> parseOffset(std::string_view s, std::size_t& i) {
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size() && (s[i] == 'Z' || s[i] == 'z')) {
    ++i;
    return 0;
  }
  if (i >= s.size() || (s[i] != '+' && s[i] != '-')) return std::nullopt;
  int sign = s[i++] == '-' ? -1 : 1;
  auto h = digits(s, i, 2);
  if (!h || i >= s.size() || s[i] != ':') return std::nullopt;
  ++i;
  auto m = digits(s, i, 2);
  if (!m || *h > 14 || *m > 59 || *h * 60 + *m > 840) return std::nullopt;
  return sign * (*h * 60 + *m);
}

// The ISO forms with a four-digit year; nothing lets the caller try others.
std::optional<WideDateTime> parseIso(std::string_view s) {
  WideDateTime out;
  std::size_t i = 0;
  bool hasDate = s.size() >= 10 && s[4] == '-';
  if (hasDate) {
    auto y = digits(s, i, 4);
    if (!y || s[i++] != '-') return std::nullopt;
    auto m = digits(s, i, 2);
    if (!m || i >= s.size() || s[i++] != '-') return std::nullopt;
    auto d = digits(s, i, 2);
    if (!d || !validDate(*y, *m, *d)) return std::nullopt;
    out.days = static_cast<std::int32_t>(daysFrom0001(*y, *m, *d));
    if (i == s.size()) return out;
    if (s[i] != ' ' && s[i] != 'T') return std::nullopt;
    while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
    if (i == s.size()) return out;
  } else {
    // A bare time is on 1900-01-01 when it becomes a date and time.
    out.days = static_cast<std::int32_t>(kDaysTo1900);
  }
  auto clock = parseClock(s, i);
  if (!clock) return std::nullopt;
  out.units = *clock;
  if (i < s.size()) {
    auto off = parseOffset(s, i);
    if (!off || i != s.size()) return std::nullopt;
    out.offsetMinutes = static_cast<std::int16_t>(*off);
  }
  return out;
}

}  // namespace

bool isWideDateType(SqlType t) {
  return t == SqlType::Date || t == SqlType::Time || t == SqlType::DateTime2 ||
         t == SqlType::DateTimeOffset;
}

std::optional<WideDateTime> parseWideDateTime(std::string_view text, DateOrder order) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (auto iso = parseIso(text)) return iso;
  auto ticks = parseDateTime(text, order, 1);
  if (!ticks) return std::nullopt;
  return wideFromTicks(*ticks);
}

std::optional<WideDateTime> fitWide(WideDateTime v, const TypeInfo& type) {
  int scale = type.type == SqlType::Date ? 0 : std::min<int>(type.scale, 7);
  std::int64_t unit = unitsPer(scale);
  std::int64_t days = v.days;
  std::int64_t units = (v.units + unit / 2) / unit * unit;
  if (units >= kUnitsPerDay) units -= kUnitsPerDay, ++days;
  if (type.type == SqlType::Date) units = 0;
  if (type.type == SqlType::Time) days = kDaysTo1900;
  if (type.type != SqlType::DateTimeOffset) v.offsetMinutes = 0;
  if (days < 0 || days > kMaxDays) return std::nullopt;
  v.days = static_cast<std::int32_t>(days);
  v.units = units;
  return v;
}

std::string formatWide(const WideDateTime& v, const TypeInfo& type) {
  return formatDateTime2(v, type);
}

std::string formatWideStyled(const WideDateTime& v, const TypeInfo& type, int style) {
  if (style == 0 || style == 21 || style == 25 || style == 121) return formatWide(v, type);
  const bool hasDate = type.type != SqlType::Time;
  const bool hasTime = type.type != SqlType::Date;
  if (style == 126 || style == 127) {
    WideDateTime shown = v;
    const bool utc = style == 127 && type.type == SqlType::DateTimeOffset;
    if (utc) {
      std::int64_t units = v.units - std::int64_t{v.offsetMinutes} * 60 * 10000000;
      std::int64_t days = v.days;
      if (units < 0) units += kUnitsPerDay, --days;
      if (units >= kUnitsPerDay) units -= kUnitsPerDay, ++days;
      shown.days = static_cast<std::int32_t>(days);
      shown.units = units;
      shown.offsetMinutes = 0;
    }
    std::string text = formatWide(shown, type);
    // ISO 8601: a T between date and time, and no fraction when it is zero.
    if (hasDate && hasTime) text[10] = 'T';
    std::size_t dot = text.find('.');
    if (dot != std::string::npos) {
      std::size_t end = dot + 1;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      if (text.find_first_not_of('0', dot + 1) >= end) text.erase(dot, end - dot);
    }
    if (type.type == SqlType::DateTimeOffset) {
      std::size_t blank = text.rfind(' ');
      if (utc) {
        text = text.substr(0, blank) + "Z";
      } else if (blank != std::string::npos) {
        text.erase(blank, 1);
      }
    }
    return text;
  }
  std::string text = formatWide(v, type);
  const std::size_t clock = hasDate ? 11 : 0;
  if (style == 20 || style == 120) {
    // yyyy-mm-dd hh:mi:ss
    return hasDate && hasTime ? text.substr(0, 19) : hasDate ? text : text.substr(0, 8);
  }
  if (style == 23) return hasDate ? text.substr(0, 10) : "1900-01-01";
  if (style == 8 || style == 24 || style == 108)
    return hasTime ? text.substr(clock, 8) : "00:00:00";
  // The other styles lay out what datetime's do, to the millisecond.
  std::int64_t ticks =
      (std::int64_t{v.days} - kDaysTo1900) * kTicksPerDay + (v.units * 3 + 50000) / 100000;
  return formatDateTime(ticks, style);
}

std::string storedWideText(const WideDateTime& v, const TypeInfo& type) {
  TypeInfo full = type;
  full.scale = 7;
  return formatWide(v, full);
}

WideDateTime wideFromInteger(std::int64_t stored, SqlType type) {
  WideDateTime v;
  if (type == SqlType::Date) {
    v.days = static_cast<std::int32_t>(stored);
  } else if (type == SqlType::Time) {
    v.days = static_cast<std::int32_t>(kDaysTo1900);
    v.units = stored;
  } else {
    v.days = static_cast<std::int32_t>(stored / kUnitsPerDay);
    v.units = stored % kUnitsPerDay;
  }
  return v;
}

std::int64_t integerFromWide(const WideDateTime& v, SqlType type) {
  if (type == SqlType::Date) return v.days;
  if (type == SqlType::Time) return v.units;
  return v.days * kUnitsPerDay + v.units;
}

std::optional<WideDateTime> wideFromText(std::string_view stored) {
  return parseIso(stored);
}

WideDateTime wideFromTicks(std::int64_t ticks) {
  std::int64_t days = ticks / kTicksPerDay, rest = ticks % kTicksPerDay;
  if (rest < 0) rest += kTicksPerDay, --days;
  WideDateTime v;
  v.days = static_cast<std::int32_t>(days + kDaysTo1900);
  // 1/300 s in 100 ns units, exact to the unit: ticks * 100000 / 3.
  v.units = (rest * 100000 + 1) / 3;
  return v;
}

std::int64_t ticksFromWide(const WideDateTime& v) {
  std::int64_t ticks = (v.units * 3 + 50000) / 100000;
  return (v.days - kDaysTo1900) * kTicksPerDay + ticks;
}

namespace {

constexpr std::int64_t kUnitsPerSecond = 10000000;
constexpr std::int64_t kUnitsPerHour = 3600 * kUnitsPerSecond;

// Units since 0001-01-01 00:00, in UTC for a value with an offset.
std::int64_t utcUnits(const WideDateTime& v) {
  return v.days * kUnitsPerDay + v.units - v.offsetMinutes * 60 * kUnitsPerSecond;
}

std::int64_t floorBy(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

int lastDayOf(int y, int m) {
  for (int d = 31; d > 28; --d)
    if (validDate(y, m, d)) return d;
  return 28;
}

}  // namespace

bool wideHasPart(SqlType type, int part) {
  bool timePart = part >= 7 && part <= 12;
  if (part == 13) return type == SqlType::DateTime2 || type == SqlType::DateTimeOffset;
  if (type == SqlType::Date) return !timePart;
  if (type == SqlType::Time) return timePart;
  return true;
}

std::int64_t widePart(int part, const WideDateTime& v, int dateFirst) {
  std::int64_t days1900 = v.days - kDaysTo1900;
  switch (part) {
    case 7:
      return v.units / kUnitsPerHour;
    case 8:
      return v.units / (60 * kUnitsPerSecond) % 60;
    case 9:
      return v.units / kUnitsPerSecond % 60;
    case 10:
      return v.units / 10000 % 1000;
    case 11:
      return v.units / 10 % 1000000;
    case 12:
      return v.units % kUnitsPerSecond * 100;
    case 13:
      return v.offsetMinutes;
    case 14: {
      // The ISO week belongs to the year of its Thursday; weeks start on Monday.
      std::int64_t monday0 = ((days1900 % 7) + 7) % 7;  // 1900-01-01 was a Monday
      std::int64_t thursday = days1900 - monday0 + 3;
      std::int64_t jan1 = daysFromCivil(civilFromDays(thursday).year, 1, 1);
      return (thursday - jan1) / 7 + 1;
    }
    default:
      // The date parts depend on the day alone.
      return datePart(part, days1900 * kTicksPerDay, dateFirst);
  }
}

std::string wideName(int part, const WideDateTime& v, int dateFirst) {
  if (part == 2 || part == 6)
    return dateName(part, (v.days - kDaysTo1900) * kTicksPerDay, dateFirst);
  if (part == 13) {
    int m = v.offsetMinutes < 0 ? -v.offsetMinutes : v.offsetMinutes;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", v.offsetMinutes < 0 ? '-' : '+', m / 60, m % 60);
    return buf;
  }
  return std::to_string(widePart(part, v, dateFirst));
}

std::optional<WideDateTime> wideAdd(int part, std::int64_t amount, WideDateTime v, SqlType type) {
  std::int64_t days = v.days;
  __int128 units = 0;  // to add
  switch (part) {
    case 0:
    case 1:
    case 2: {
      CivilDate c = civilFromDays(days - kDaysTo1900);
      std::int64_t months = part == 0 ? amount * 12 : part == 1 ? amount * 3 : amount;
      std::int64_t total = std::int64_t{c.year} * 12 + (c.month - 1) + months;
      std::int64_t y = floorBy(total, 12);
      int m = static_cast<int>(total - y * 12) + 1;
      if (y < 1 || y > 9999) return std::nullopt;
      int year = static_cast<int>(y);
      days = daysFrom0001(year, m, std::min(c.day, lastDayOf(year, m)));
      break;
    }
    case 3:
    case 4:
    case 6:
      days += amount;
      break;
    case 5:
      days += amount * 7;
      break;
    case 7:
      units = static_cast<__int128>(amount) * kUnitsPerHour;
      break;
    case 8:
      units = static_cast<__int128>(amount) * 60 * kUnitsPerSecond;
      break;
    case 9:
      units = static_cast<__int128>(amount) * kUnitsPerSecond;
      break;
    case 10:
      units = static_cast<__int128>(amount) * 10000;
      break;
    case 11:
      units = static_cast<__int128>(amount) * 10;
      break;
    case 12:
      // Nanoseconds round to the 100 ns unit: 49 adds nothing, 50 one unit.
      units = amount >= 0 ? (amount + 50) / 100 : -((-amount + 50) / 100);
      break;
    default:
      return std::nullopt;
  }
  __int128 total = static_cast<__int128>(v.units) + units;
  __int128 perDay = kUnitsPerDay;
  __int128 dayShift = total / perDay - (total % perDay < 0 ? 1 : 0);
  v.units = static_cast<std::int64_t>(total - dayShift * perDay);
  // A time has no day to carry into.
  if (type != SqlType::Time) {
    __int128 d = static_cast<__int128>(days) + dayShift;
    if (d < 0 || d > kMaxDays) return std::nullopt;
    days = static_cast<std::int64_t>(d);
  }
  if (days < 0 || days > kMaxDays) return std::nullopt;
  v.days = static_cast<std::int32_t>(days);
  return v;
}

std::optional<std::int64_t> wideDiff(int part, const WideDateTime& from, const WideDateTime& to) {
  std::int64_t a = utcUnits(from), b = utcUnits(to);
  std::int64_t d1 = floorBy(a, kUnitsPerDay) - kDaysTo1900,
               d2 = floorBy(b, kUnitsPerDay) - kDaysTo1900;
  CivilDate ca = civilFromDays(d1), cb = civilFromDays(d2);
  __int128 r = 0;
  switch (part) {
    case 0:
      r = cb.year - ca.year;
      break;
    case 1:
      r = (cb.year * 4 + (cb.month - 1) / 3) - (ca.year * 4 + (ca.month - 1) / 3);
      break;
    case 2:
      r = (cb.year * 12 + cb.month) - (ca.year * 12 + ca.month);
      break;
    case 3:
    case 4:
    case 6:
      r = d2 - d1;
      break;
    case 5:
      r = floorBy(d2 + 1, 7) - floorBy(d1 + 1, 7);  // weeks start on Sunday
      break;
    case 7:
      r = floorBy(b, kUnitsPerHour) - floorBy(a, kUnitsPerHour);
      break;
    case 8:
      r = floorBy(b, 60 * kUnitsPerSecond) - floorBy(a, 60 * kUnitsPerSecond);
      break;
    case 9:
      r = floorBy(b, kUnitsPerSecond) - floorBy(a, kUnitsPerSecond);
      break;
    case 10:
      r = floorBy(b, 10000) - floorBy(a, 10000);
      break;
    case 11:
      r = floorBy(b, 10) - floorBy(a, 10);
      break;
    case 12:
      r = (static_cast<__int128>(b) - a) * 100;
      break;
    default:
      return std::nullopt;
  }
  if (r > INT32_MAX || r < INT32_MIN) return std::nullopt;
  return static_cast<std::int64_t>(r);
}

WideDateTime nowWide(bool utc) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::time_t secs = ts.tv_sec;
  std::tm tm{};
  if (utc) {
    gmtime_r(&secs, &tm);
  } else {
    localtime_r(&secs, &tm);
  }
  WideDateTime v;
  v.days = static_cast<std::int32_t>(daysFrom0001(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
  v.units = ((static_cast<std::int64_t>(tm.tm_hour) * 60 + tm.tm_min) * 60 + tm.tm_sec) * 10000000 +
            ts.tv_nsec / 100;
  v.offsetMinutes = utc ? 0 : static_cast<std::int16_t>(tm.tm_gmtoff / 60);
  return v;
}

}  // namespace tessel::sqld::engine
