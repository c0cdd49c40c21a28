// FORMAT's SQLite side, t_format(value, kind, format, culture), with ICU's
// number and date formatting, and t_xml_text, the text content of an XML
// fragment (the '.' path of the xml value() method).
//
// FORMAT takes .NET format strings: a letter and an optional precision
// for the standard number formats (N, C, P, D, X, F, E, G), one letter for
// the standard date formats, else a custom pattern. Custom number patterns
// ('#,##0.00', '0000') are ICU patterns as they are; custom date patterns
// are translated letter by letter. A format that cannot be applied gives
// NULL, as FORMAT does; a culture ICU does not know is error 9818.

#include "format.h"

#include <sqlite3.h>
#include <unicode/ucal.h>
#include <unicode/udat.h>
#include <unicode/udatpg.h>
#include <unicode/uloc.h>
#include <unicode/unum.h>
#include <unicode/ustring.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "errors.h"
#include "sqld/charset.h"
#include "sqlite_util.h"
#include "xml_text.h"

namespace tessel::sqld::engine {
namespace {

using UString = std::u16string;

UString toU(std::string_view s) {
  UString out(s.size() + 1, u'\0');
  int32_t len = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &len,
                s.data(), static_cast<int32_t>(s.size()), &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(len) : 0);
  return out;
}

std::string fromU(const UChar* s, int32_t n) {
  std::string out(static_cast<std::size_t>(n) * 3 + 1, '\0');
  int32_t len = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &len, s, n, &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(len) : 0);
  return out;
}

struct NumberFormatClose {
  void operator()(UNumberFormat* f) const { unum_close(f); }
};
using NumberFormat = std::unique_ptr<UNumberFormat, NumberFormatClose>;
struct DateFormatClose {
  void operator()(UDateFormat* f) const { udat_close(f); }
};
using DateFormat = std::unique_ptr<UDateFormat, DateFormatClose>;

// The ICU locale of a culture name ("de-DE"), or nothing when ICU has no
// data for its language.
std::optional<std::string> localeOf(const std::string& culture) {
  char id[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  uloc_forLanguageTag(culture.c_str(), id, sizeof id, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  char language[ULOC_LANG_CAPACITY];
  uloc_getLanguage(id, language, sizeof language, &status);
  if (U_FAILURE(status) || !language[0]) return std::nullopt;
  if (culture.empty()) return std::string("en_US");
  for (int32_t i = 0, n = uloc_countAvailable(); i < n; ++i) {
    char available[ULOC_LANG_CAPACITY];
    UErrorCode s = U_ZERO_ERROR;
    uloc_getLanguage(uloc_getAvailable(i), available, sizeof available, &s);
    if (U_SUCCESS(s) && std::string_view(available) == language) return std::string(id);
  }
  return std::nullopt;
}

// The value as FORMAT received it.
struct Number {
  char kind = 'i';  // i: integer, n: exact decimal text, f: double
  std::int64_t i = 0;
  std::string text;
  double f = 0;
  bool integral() const { return kind == 'i'; }
  double asDouble() const {
    return kind == 'i'   ? static_cast<double>(i)
           : kind == 'f' ? f
                         : std::strtod(text.c_str(), nullptr);
  }
  std::string asDecimal() const {
    if (kind == 'i') return std::to_string(i);
    if (kind == 'n') return text;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", f);
    return buf;
  }
};

std::optional<std::string> formatWith(UNumberFormat* fmt, const Number& v) {
  // .NET rounds midpoints away from zero.
  unum_setAttribute(fmt, UNUM_ROUNDING_MODE, UNUM_ROUND_HALFUP);
  UChar buf[512];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = 0;
  if (v.kind == 'i') {
    n = unum_formatInt64(fmt, v.i, buf, 512, nullptr, &status);
  } else {
    const std::string d = v.asDecimal();
    n = unum_formatDecimal(fmt, d.c_str(), static_cast<int32_t>(d.size()), buf, 512, nullptr,
                           &status);
  }
  if (U_FAILURE(status)) return std::nullopt;
  return fromU(buf, n);
}

std::string symbol(const std::string& locale, UNumberFormatSymbol which) {
  UErrorCode status = U_ZERO_ERROR;
  NumberFormat fmt(unum_open(UNUM_DECIMAL, nullptr, 0, locale.c_str(), nullptr, &status));
  if (U_FAILURE(status)) return ".";
  UChar buf[16];
  int32_t n = unum_getSymbol(fmt.get(), which, buf, 16, &status);
  return U_SUCCESS(status) ? fromU(buf, n) : ".";
}

std::optional<std::string> formatNumber(const Number& v, const std::string& format,
                                        const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  // A standard format: a letter and at most two digits of precision.
  const bool standard = !format.empty() && std::isalpha(static_cast<unsigned char>(format[0])) &&
                        format.size() <= 3 &&
                        std::all_of(format.begin() + 1, format.end(), [](char c) {
                          return std::isdigit(static_cast<unsigned char>(c));
                        });
  if (!standard) {
    if (format.empty()) return std::nullopt;
    const UString pattern = toU(format);
    NumberFormat fmt(unum_open(UNUM_PATTERN_DECIMAL, reinterpret_cast<const UChar*>(pattern.data()),
                               static_cast<int32_t>(pattern.size()), locale.c_str(), nullptr,
                               &status));
    if (U_FAILURE(status)) return std::nullopt;
    return formatWith(fmt.get(), v);
  }
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(format[0])));
  const bool lower = std::islower(static_cast<unsigned char>(format[0]));
  const std::optional<int> precision =
      format.size() > 1 ? std::optional<int>(std::stoi(format.substr(1))) : std::nullopt;
  auto open = [&](UNumberFormatStyle style) {
    return NumberFormat(unum_open(style, nullptr, 0, locale.c_str(), nullptr, &status));
  };
  auto digits = [&](UNumberFormat* fmt, int n) {
    unum_setAttribute(fmt, UNUM_MIN_FRACTION_DIGITS, n);
    unum_setAttribute(fmt, UNUM_MAX_FRACTION_DIGITS, n);
  };
  switch (letter) {
    case 'N':
    case 'F': {
      NumberFormat fmt = open(UNUM_DECIMAL);
      if (U_FAILURE(status)) return std::nullopt;
      digits(fmt.get(), precision.value_or(2));
      unum_setAttribute(fmt.get(), UNUM_GROUPING_USED, letter == 'N');
      return formatWith(fmt.get(), v);
    }
    case 'C': {
      NumberFormat fmt = open(UNUM_CURRENCY);
      if (U_FAILURE(status)) return std::nullopt;
      if (precision) digits(fmt.get(), *precision);
      return formatWith(fmt.get(), v);
    }
    case 'P': {
      NumberFormat fmt = open(UNUM_PERCENT);
      if (U_FAILURE(status)) return std::nullopt;
      digits(fmt.get(), precision.value_or(2));
      return formatWith(fmt.get(), v);
    }
    case 'D': {
      if (!v.integral()) return std::nullopt;
      std::string digitsText = std::to_string(v.i < 0 ? -static_cast<std::uint64_t>(v.i)
                                                      : static_cast<std::uint64_t>(v.i));
      if (precision && static_cast<int>(digitsText.size()) < *precision)
        digitsText.insert(0, static_cast<std::size_t>(*precision) - digitsText.size(), '0');
      return (v.i < 0 ? symbol(locale, UNUM_MINUS_SIGN_SYMBOL) : std::string()) + digitsText;
    }
    case 'X': {
      if (!v.integral()) return std::nullopt;
      // Negative values in two's complement of their width.
      const std::uint64_t bits = v.i >= INT32_MIN && v.i < 0
                                     ? static_cast<std::uint32_t>(static_cast<std::int32_t>(v.i))
                                     : static_cast<std::uint64_t>(v.i);
      char buf[32];
      std::snprintf(buf, sizeof buf, lower ? "%llx" : "%llX",
                    static_cast<unsigned long long>(bits));
      std::string out = buf;
      if (precision && static_cast<int>(out.size()) < *precision)
        out.insert(0, static_cast<std::size_t>(*precision) - out.size(), '0');
      return out;
    }
    case 'E': {
      char buf[128];
      std::snprintf(buf, sizeof buf, "%.*e", precision.value_or(6), v.asDouble());
      std::string text = buf;
      const std::size_t e = text.find('e');
      std::string mantissa = text.substr(0, e);
      const std::size_t point = mantissa.find('.');
      if (point != std::string::npos)
        mantissa.replace(point, 1, symbol(locale, UNUM_DECIMAL_SEPARATOR_SYMBOL));
      const char sign = text[e + 1];
      std::string exponent = text.substr(e + 2);
      while (exponent.size() < 3) exponent.insert(0, "0");
      return mantissa + (lower ? "e" : "E") + sign + exponent;
    }
    case 'G': {
      NumberFormat fmt = open(UNUM_DECIMAL);
      if (U_FAILURE(status)) return std::nullopt;
      unum_setAttribute(fmt.get(), UNUM_GROUPING_USED, 0);
      if (v.kind == 'n') {
        // An exact value keeps its scale.
        const std::size_t point = v.text.find('.');
        digits(fmt.get(),
               point == std::string::npos ? 0 : static_cast<int>(v.text.size() - point - 1));
      } else {
        unum_setAttribute(fmt.get(), UNUM_MAX_FRACTION_DIGITS, 15);
      }
      if (precision && *precision > 0) {
        unum_setAttribute(fmt.get(), UNUM_SIGNIFICANT_DIGITS_USED, 1);
        unum_setAttribute(fmt.get(), UNUM_MAX_SIGNIFICANT_DIGITS, *precision);
      }
      return formatWith(fmt.get(), v);
    }
    default:
      return std::nullopt;
  }
}

// A date or time as FORMAT received it, ISO 8601 text.
struct When {
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int millis = 0;
  std::optional<int> offsetMinutes;
};

std::optional<When> parseWhen(const std::string& s, char kind) {
  When w;
  const char* p = s.c_str();
  auto number = [&](int digits, int& out) {
    out = 0;
    for (int i = 0; i < digits; ++i, ++p) {
      if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
      out = out * 10 + (*p - '0');
    }
    return true;
  };
  if (kind != 't') {
    if (!number(4, w.year) || *p++ != '-' || !number(2, w.month) || *p++ != '-' ||
        !number(2, w.day))
      return std::nullopt;
    if (*p == 'T' || *p == ' ') ++p;
  }
  if (*p && std::isdigit(static_cast<unsigned char>(*p))) {
    if (!number(2, w.hour) || *p++ != ':' || !number(2, w.minute)) return std::nullopt;
    if (*p == ':') {
      ++p;
      if (!number(2, w.second)) return std::nullopt;
    }
    if (*p == '.') {
      ++p;
      int scale = 1000, ms = 0;
      while (std::isdigit(static_cast<unsigned char>(*p))) {
        scale /= 10;
        if (scale > 0) ms += (*p - '0') * scale;
        ++p;
      }
      w.millis = ms;
    }
  }
  while (*p == ' ') ++p;
  if (*p == '+' || *p == '-') {
    const int sign = *p++ == '-' ? -1 : 1;
    int h = 0, m = 0;
    if (!number(2, h) || *p++ != ':' || !number(2, m)) return std::nullopt;
    w.offsetMinutes = sign * (h * 60 + m);
  } else if (*p == 'Z') {
    w.offsetMinutes = 0;
  }
  return w;
}

std::string quoted(const std::string& literal) {
  if (literal.empty()) return {};
  std::string out = "'";
  for (char c : literal) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string patternOf(const std::string& locale, UDateFormatStyle date, UDateFormatStyle time) {
  UErrorCode status = U_ZERO_ERROR;
  DateFormat fmt(udat_open(time, date, locale.c_str(), u"GMT", -1, nullptr, 0, &status));
  if (U_FAILURE(status)) return {};
  UChar buf[256];
  int32_t n = udat_toPattern(fmt.get(), false, buf, 256, &status);
  return U_SUCCESS(status) ? fromU(buf, n) : std::string();
}

std::string skeletonPattern(const std::string& locale, const char16_t* skeleton) {
  UErrorCode status = U_ZERO_ERROR;
  UDateTimePatternGenerator* g = udatpg_open(locale.c_str(), &status);
  if (U_FAILURE(status)) return {};
  UChar buf[256];
  int32_t n =
      udatpg_getBestPattern(g, reinterpret_cast<const UChar*>(skeleton), -1, buf, 256, &status);
  udatpg_close(g);
  return U_SUCCESS(status) ? fromU(buf, n) : std::string();
}

// The culture's short date pattern with a four-digit year, as .NET's "d".
std::string shortDatePattern(const std::string& locale) {
  std::string p = patternOf(locale, UDAT_SHORT, UDAT_NONE);
  std::size_t y = p.find('y');
  if (y != std::string::npos) {
    std::size_t end = y;
    while (end < p.size() && p[end] == 'y') ++end;
    p.replace(y, end - y, "yyyy");
  }
  return p;
}

// The separator between the fields of the culture's short date: what '/'
// stands for in a custom pattern.
std::string dateSeparator(const std::string& locale) {
  const std::string p = patternOf(locale, UDAT_SHORT, UDAT_NONE);
  for (char c : p)
    if (!std::isalpha(static_cast<unsigned char>(c)) && c != '\'') return std::string(1, c);
  return "/";
}

// A .NET custom date pattern as an ICU one; nothing when it cannot be.
std::optional<std::string> icuDatePattern(const std::string& format, const std::string& locale,
                                          bool timeOnly) {
  std::string out;
  std::string literal;
  auto flush = [&] {
    out += quoted(literal);
    literal.clear();
  };
  for (std::size_t i = 0; i < format.size();) {
    const char c = format[i];
    std::size_t run = 1;
    while (i + run < format.size() && format[i + run] == c) ++run;
    auto emit = [&](const std::string& p) {
      flush();
      out += p;
      i += run;
    };
    switch (c) {
      case 'y':
        if (timeOnly) return std::nullopt;
        emit(run == 2 ? "yy" : run == 1 ? "y" : std::string(run, 'y'));
        break;
      case 'M':
        if (timeOnly) return std::nullopt;
        emit(std::string(std::min<std::size_t>(run, 4), 'M'));
        break;
      case 'd':
        if (timeOnly) return std::nullopt;
        emit(run <= 2 ? std::string(run, 'd') : run == 3 ? "EEE" : "EEEE");
        break;
      case 'h':
        // A time of day's hh is its hours (0-23).
        emit(std::string(std::min<std::size_t>(run, 2), timeOnly ? 'H' : 'h'));
        break;
      case 'H':
        if (timeOnly) return std::nullopt;
        emit(std::string(std::min<std::size_t>(run, 2), 'H'));
        break;
      case 'm':
      case 's':
        emit(std::string(std::min<std::size_t>(run, 2), c));
        break;
      case 'f':
      case 'F':
        emit(std::string(std::min<std::size_t>(run, 7), 'S'));
        break;
      case 't':
        if (timeOnly) return std::nullopt;
        emit("a");
        break;
      case 'z':
        emit(run >= 3 ? "xxx" : run == 2 ? "X" : "X");
        break;
      case 'K':
        emit("xxx");
        break;
      case 'g':
        emit("G");
        break;
      case '/':
        literal += timeOnly ? "/" : dateSeparator(locale);
        ++i;
        break;
      case '\\':
        if (i + 1 < format.size()) literal += format[i + 1];
        i += 2;
        break;
      case '%':
        ++i;
        break;
      case '\'':
      case '"': {
        std::size_t end = format.find(c, i + 1);
        if (end == std::string::npos) return std::nullopt;
        literal += format.substr(i + 1, end - i - 1);
        i = end + 1;
        break;
      }
      default:
        // Other characters, letters too, stand for themselves; a time of
        // day takes no letters but its own.
        if (timeOnly && std::isalpha(static_cast<unsigned char>(c))) return std::nullopt;
        if (timeOnly && c == ':') return std::nullopt;
        literal += c;
        ++i;
    }
  }
  flush();
  return out;
}

std::optional<std::string> formatDate(const When& w, const std::string& format,
                                      const std::string& locale, char kind) {
  if (format.empty()) return std::nullopt;
  std::string pattern;
  const bool timeOnly = kind == 't';
  if (format.size() == 1 && !timeOnly) {
    const std::string offset = w.offsetMinutes ? "xxx" : "";
    switch (format[0]) {
      case 'd':
        pattern = shortDatePattern(locale);
        break;
      case 'D':
        pattern = patternOf(locale, UDAT_FULL, UDAT_NONE);
        break;
      case 't':
        pattern = patternOf(locale, UDAT_NONE, UDAT_SHORT);
        break;
      case 'T':
        pattern = patternOf(locale, UDAT_NONE, UDAT_MEDIUM);
        break;
      case 'g':
        pattern = shortDatePattern(locale) + " " + patternOf(locale, UDAT_NONE, UDAT_SHORT);
        break;
      case 'G':
        pattern = shortDatePattern(locale) + " " + patternOf(locale, UDAT_NONE, UDAT_MEDIUM);
        break;
      case 'f':
        pattern = patternOf(locale, UDAT_FULL, UDAT_NONE) + " " +
                  patternOf(locale, UDAT_NONE, UDAT_SHORT);
        break;
      case 'F':
        pattern = patternOf(locale, UDAT_FULL, UDAT_NONE) + " " +
                  patternOf(locale, UDAT_NONE, UDAT_MEDIUM);
        break;
      case 'o':
      case 'O':
        pattern = "yyyy-MM-dd'T'HH:mm:ss.SSSSSSS" + offset;
        break;
      case 's':
        pattern = "yyyy-MM-dd'T'HH:mm:ss";
        break;
      case 'u':
        pattern = "yyyy-MM-dd HH:mm:ss'Z'";
        break;
      case 'M':
      case 'm':
        pattern = skeletonPattern(locale, u"MMMMd");
        break;
      case 'Y':
      case 'y':
        pattern = skeletonPattern(locale, u"yyyyMMMM");
        break;
      default:
        return std::nullopt;
    }
  } else if (format.size() == 1 && timeOnly) {
    // A time of day's standard formats: c, t, T, g.
    if (format[0] != 'c' && format[0] != 't' && format[0] != 'T' && format[0] != 'g')
      return std::nullopt;
    pattern = "HH:mm:ss";
    if (w.millis) pattern += ".SSSSSSS";
  } else {
    auto p = icuDatePattern(format, locale, timeOnly);
    if (!p) return std::nullopt;
    pattern = *p;
  }
  if (pattern.empty()) return std::nullopt;

  UErrorCode status = U_ZERO_ERROR;
  // The value's own clock time: no time zone moves it.
  UCalendar* cal = ucal_open(u"GMT", -1, locale.c_str(), UCAL_GREGORIAN, &status);
  if (U_FAILURE(status)) return std::nullopt;
  ucal_clear(cal);
  ucal_setDateTime(cal, w.year, w.month - 1, w.day, w.hour, w.minute, w.second, &status);
  ucal_set(cal, UCAL_MILLISECOND, w.millis);
  const UDate when = ucal_getMillis(cal, &status);
  ucal_close(cal);
  if (U_FAILURE(status)) return std::nullopt;
  const UString upattern = toU(pattern);
  // A value with an offset shows it: its zone is that offset.
  UString zone = u"GMT";
  if (w.offsetMinutes && *w.offsetMinutes != 0) {
    char buf[16];
    const int m = std::abs(*w.offsetMinutes);
    std::snprintf(buf, sizeof buf, "GMT%c%02d:%02d", *w.offsetMinutes < 0 ? '-' : '+', m / 60,
                  m % 60);
    zone = toU(buf);
  }
  DateFormat fmt(udat_open(
      UDAT_PATTERN, UDAT_PATTERN, locale.c_str(), reinterpret_cast<const UChar*>(zone.data()),
      static_cast<int32_t>(zone.size()), reinterpret_cast<const UChar*>(upattern.data()),
      static_cast<int32_t>(upattern.size()), &status));
  if (U_FAILURE(status)) return std::nullopt;
  const UDate shown =
      w.offsetMinutes ? when - static_cast<double>(*w.offsetMinutes) * 60000.0 : when;
  UChar buf[512];
  int32_t n = udat_format(fmt.get(), shown, buf, 512, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  return fromU(buf, n);
}

void resultText(sqlite3_context* c, const std::optional<std::string>& text) {
  if (!text) return sqlite3_result_null(c);
  sqlite3_result_text(c, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
}

std::string textOf(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

// t_format(value, kind, format, culture): kind i, n, f (numbers: integer,
// exact text, double), d, o, t (date and time as ISO 8601 text).
void fnFormat(sqlite3_context* c, int, sqlite3_value** argv) {
  for (int i = 0; i < 3; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(c);
  const std::string culture =
      sqlite3_value_type(argv[3]) == SQLITE_NULL ? std::string("en-US") : textOf(argv[3]);
  const std::optional<std::string> locale = localeOf(culture);
  if (!locale) {
    const std::string text = encodeErrorText(SqlError(9818, {culture}).message(), false);
    return sqlite3_result_error(c, text.c_str(), static_cast<int>(text.size()));
  }
  const std::string kind = textOf(argv[1]);
  const std::string format = textOf(argv[2]);
  if (kind == "i" || kind == "n" || kind == "f") {
    Number v;
    v.kind = kind[0];
    if (v.kind == 'i') v.i = sqlite3_value_int64(argv[0]);
    if (v.kind == 'n') v.text = textOf(argv[0]);
    if (v.kind == 'f') v.f = sqlite3_value_double(argv[0]);
    return resultText(c, formatNumber(v, format, *locale));
  }
  const std::optional<When> w = parseWhen(textOf(argv[0]), kind.empty() ? 'd' : kind[0]);
  if (!w) return sqlite3_result_null(c);
  resultText(c, formatDate(*w, format, *locale, kind.empty() ? 'd' : kind[0]));
}

// t_xml_text(xml): the text of an XML fragment, tags left out and
// character references replaced by their characters.
void fnXmlText(sqlite3_context* c, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(c);
  const std::string in = textOf(argv[0]);
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    if (in[i] == '<') {
      std::size_t end = in.find('>', i);
      i = end == std::string::npos ? in.size() : end + 1;
      continue;
    }
    if (in[i] != '&') {
      out += in[i++];
      continue;
    }
    const std::size_t end = in.find(';', i);
    if (end == std::string::npos) {
      out += in[i++];
      continue;
    }
    const std::string name = in.substr(i + 1, end - i - 1);
    std::uint32_t code = xmlEntityChar(name);
    if (code == 0 && name.size() > 1 && name[0] == '#')
      code = static_cast<std::uint32_t>(name[1] == 'x' || name[1] == 'X'
                                            ? std::strtoul(name.c_str() + 2, nullptr, 16)
                                            : std::strtoul(name.c_str() + 1, nullptr, 10));
    if (code == 0 || code > 0x10FFFF) {
      out += in[i++];
      continue;
    }
    appendCodePointUtf8(out, code);
    i = end + 1;
  }
  sqlite3_result_text(c, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

}  // namespace

void registerFormatFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function_v2(db, "t_format", 4, flags, nullptr, fnFormat, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(db, "t_xml_text", 1, flags, nullptr, fnXmlText, nullptr, nullptr,
                             nullptr);
}

}  // namespace tessel::sqld::engine
