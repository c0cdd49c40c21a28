// Date and time to text and back. The output follows the C library's current
// locale (its "%X" time and short date order) without changing any
// process-wide setting; two-digit years in the host's date format are written
// with four digits so that no century is lost.

#include <langinfo.h>

#include <cctype>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

std::string Strftime(const std::string& format, TDateTime value) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, ms);
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  // The weekday, for formats that name it: 1899-12-30 was a Saturday.
  const long days = static_cast<long>(std::trunc(value));
  tm.tm_wday = static_cast<int>(((days + 6) % 7 + 7) % 7);
  char buf[128];
  const std::size_t n = std::strftime(buf, sizeof buf, format.c_str(), &tm);
  return std::string(buf, n);
}

// The host's short date format with "%y" widened to "%Y" and "%D" spelled out.
std::string ShortDateFormat() {
  std::string f = nl_langinfo(D_FMT);
  std::string out;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '%' && i + 1 < f.size()) {
      const char c = f[++i];
      if (c == 'y') {
        out += "%Y";
      } else if (c == 'D') {
        out += "%m/%d/%Y";
      } else {
        out += '%';
        out += c;
      }
    } else {
      out += f[i];
    }
  }
  return out;
}

// The order of day, month and year in the host's short date format, as "mdy", "dmy" ...
std::string DateOrder() {
  const std::string f = ShortDateFormat();
  std::string order;
  for (std::size_t i = 0; i + 1 < f.size(); ++i) {
    if (f[i] != '%') continue;
    const char c = f[++i];
    if (c == 'd' || c == 'e') order += 'd';
    if (c == 'm') order += 'm';
    if (c == 'Y' || c == 'y') order += 'y';
    if (c == 'F') order += "ymd";
  }
  return order.size() == 3 ? order : "mdy";
}

// A small cursor over the text being parsed.
struct Scanner {
  std::string_view s;
  std::size_t i = 0;

  void SkipBlanks() {
    while (i < s.size() && s[i] == ' ') ++i;
  }
  bool AtEnd() const { return i >= s.size(); }
  // Up to max_digits digits; false when there is none.
  bool Number(int& value, int& digits, int max_digits = 4) {
    value = 0;
    digits = 0;
    while (i < s.size() && digits < max_digits && std::isdigit(static_cast<unsigned char>(s[i]))) {
      value = value * 10 + (s[i++] - '0');
      ++digits;
    }
    return digits > 0;
  }
  bool Accept(char c) {
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
};

int FullYear(int year, int digits) {
  if (digits > 2) return year;
  return year < 50 ? 2000 + year : 1900 + year;
}

bool ScanDate(Scanner& sc, TDateTime& result) {
  int a = 0, b = 0, c = 0, da = 0, db = 0, dc = 0;
  const std::size_t start = sc.i;
  if (!sc.Number(a, da, 8)) return false;
  if (da == 8) {  // yyyymmdd
    return TryEncodeDate(a / 10000, a / 100 % 100, a % 100, result);
  }
  sc.i = start;
  sc.Number(a, da);
  const char sep = sc.AtEnd() ? '\0' : sc.s[sc.i];
  if (sep != '-' && sep != '/' && sep != '.') return false;
  ++sc.i;
  if (!sc.Number(b, db, 2) || !sc.Accept(sep) || !sc.Number(c, dc)) return false;
  if (da == 4) return TryEncodeDate(a, b, c, result);  // year first: yyyy-mm-dd
  const std::string order = DateOrder();
  int parts[3] = {a, b, c};
  int digits[3] = {da, db, dc};
  int year = 0, month = 0, day = 0;
  for (int k = 0; k < 3; ++k) {
    if (order[k] == 'y') year = FullYear(parts[k], digits[k]);
    if (order[k] == 'm') month = parts[k];
    if (order[k] == 'd') day = parts[k];
  }
  return TryEncodeDate(year, month, day, result);
}

bool ScanTime(Scanner& sc, TDateTime& result) {
  int hour = 0, minute = 0, second = 0, ms = 0, digits = 0;
  if (!sc.Number(hour, digits, 2) || !sc.Accept(':') || !sc.Number(minute, digits, 2)) {
    return false;
  }
  if (sc.Accept(':')) {
    if (!sc.Number(second, digits, 2)) return false;
    if (sc.Accept('.')) {
      if (!sc.Number(ms, digits, 3)) return false;
      for (; digits < 3; ++digits) ms *= 10;  // ".5" is half a second
    }
  }
  sc.SkipBlanks();
  const std::string rest = UpperCase(sc.s.substr(sc.i, 2));
  if (rest == "AM" || rest == "PM") {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (rest == "PM" ? 12 : 0);
    sc.i += 2;
  }
  return TryEncodeTime(hour, minute, second, ms, result);
}

bool Finish(Scanner& sc) {
  sc.SkipBlanks();
  return sc.AtEnd();
}

TDateTime Combine(TDateTime date, TDateTime time) {
  // Before 1899-12-30 the time is counted away from zero, as everywhere else.
  return date < 0 ? date - time : date + time;
}

}  // namespace

std::string TimeToStr(TDateTime value) {
  return Strftime("%X", value);
}

std::string DateToStr(TDateTime value) {
  return Strftime(ShortDateFormat(), value);
}

std::string DateTimeToStr(TDateTime value) {
  if (DateTimeToTimeStamp(value).Time == 0) return DateToStr(value);
  return DateToStr(value) + " " + TimeToStr(value);
}

bool TryStrToDate(std::string_view s, TDateTime& result) {
  const std::string t = Trim(s);
  Scanner sc{t};
  return ScanDate(sc, result) && Finish(sc);
}

bool TryStrToTime(std::string_view s, TDateTime& result) {
  const std::string t = Trim(s);
  Scanner sc{t};
  return ScanTime(sc, result) && Finish(sc);
}

bool TryStrToDateTime(std::string_view s, TDateTime& result) {
  const std::string t = Trim(s);
  Scanner sc{t};
  TDateTime date = 0, time = 0;
  if (!ScanDate(sc, date)) {
    sc.i = 0;
    if (!ScanTime(sc, time) || !Finish(sc)) return false;
    result = time;
    return true;
  }
  if (!Finish(sc)) {
    if (!sc.Accept('T')) sc.SkipBlanks();
    if (!ScanTime(sc, time) || !Finish(sc)) return false;
  }
  result = Combine(date, time);
  return true;
}

TDateTime StrToDate(std::string_view s) {
  TDateTime result = 0;
  if (!TryStrToDate(s, result)) throw EConvertError("'" + std::string(s) + "' is not a valid date");
  return result;
}

TDateTime StrToTime(std::string_view s) {
  TDateTime result = 0;
  if (!TryStrToTime(s, result)) throw EConvertError("'" + std::string(s) + "' is not a valid time");
  return result;
}

TDateTime StrToDateTime(std::string_view s) {
  TDateTime result = 0;
  if (!TryStrToDateTime(s, result)) {
    throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
  }
  return result;
}

}  // namespace tessel
