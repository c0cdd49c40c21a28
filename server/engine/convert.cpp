#include "convert.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>

#include "collations.h"
#include "datetime.h"
#include "datetime2.h"
#include "errors.h"
#include "exact.h"
#include "lexer.h"
#include "sqld/charset.h"
#include "types.h"
#include "xml_text.h"

namespace tessel::sqld::engine {
namespace {

using K = Stored::Kind;

std::string trimmed(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string int128ToString(__int128 v) {
  if (v == 0) return "0";
  bool neg = v < 0;
  unsigned __int128 u =
      neg ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
  std::string out;
  while (u) {
    out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
    u /= 10;
  }
  return neg ? "-" + out : out;
}

// "123.4500" from unscaled 1234500 and scale 4.
std::string scaledToString(__int128 v, int scale) {
  return exact::toString(v, scale);
}

[[noreturn]] void overflow(const TypeInfo& from, const TypeInfo& to) {
  std::string target = isDecimalType(to.type) ? "numeric" : typeName(to.type);
  std::string source = isCharType(from.type) ? "expression" : typeName(from.type);
  if (isDecimalType(from.type)) source = "numeric";
  throw SqlError(8115, {source, target});
}

// Parses "[-]123[.45]" (and for money "$1,234.5"); nothing if malformed.
// Digits past the 38 a value holds are rounded off after the point; before
// it they set `tooLarge`.
bool parseDecimalText(std::string_view text, bool money, __int128& unscaled, int& scale,
                      bool* tooLarge = nullptr) {
  std::string t = trimmed(text);
  std::size_t i = 0;
  bool neg = false;
  // Money text may have blanks after its sign and currency symbol ("- $ 1.5").
  auto blanks = [&] {
    while (money && i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  };
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  blanks();
  if (money && i < t.size() && t[i] == '$') ++i;
  blanks();
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  blanks();
  unscaled = 0;
  scale = 0;
  bool digits = false, dot = false, full = false, roundUp = false, large = false;
  const __int128 kFull = exact::pow10(37);
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits = true;
      if (full || unscaled >= kFull) {
        if (dot) {
          if (!full) roundUp = c >= '5';
          full = true;
        } else {
          large = true;
        }
        continue;
      }
      unscaled = unscaled * 10 + (c - '0');
      if (dot) ++scale;
    } else if (c == '.' && !dot) {
      dot = true;
    } else if (c == ',' && money && !dot) {
      continue;
    } else {
      return false;
    }
  }
  if (!digits && !dot) return false;
  if (large) {
    if (!tooLarge) return false;
    *tooLarge = true;
  }
  if (roundUp) ++unscaled;
  if (neg) unscaled = -unscaled;
  return true;
}

// Exact value of a numeric source as (unscaled, scale); false for float.
bool exactOf(const Stored& v, const TypeInfo& from, __int128& u, int& scale) {
  if (!isExactType(from.type)) return false;
  if (v.kind == K::Int) {
    u = v.i;
  } else if (v.kind == K::Blob && isDecimalType(from.type)) {
    u = exact::fromBytes(v.s);
  } else {
    return false;
  }
  scale = storageScale(from);
  return true;
}

double doubleOf(const Stored& v, const TypeInfo& from) {
  if (v.kind == K::Real) return v.r;
  if (v.kind == K::Int) {
    if (isDateType(from.type)) return static_cast<double>(v.i) / kTicksPerDay;
    return static_cast<double>(v.i) / static_cast<double>(pow10(storageScale(from)));
  }
  __int128 u;
  int scale;
  if (exactOf(v, from, u, scale)) return std::strtod(exact::toString(u, scale).c_str(), nullptr);
  return std::strtod(v.s.c_str(), nullptr);
}

std::string formatFloat(double d, const TypeInfo& from, int style) {
  char buf[64];
  if (style == 1) {
    std::snprintf(buf, sizeof buf, "%.7e", d);
  } else if (style == 2) {
    std::snprintf(buf, sizeof buf, "%.15e", d);
  } else {
    std::snprintf(buf, sizeof buf, "%.*g", from.type == SqlType::Real ? 6 : 6, d);
  }
  std::string s = buf;
  // Exponents carry three digits, as in 1.23457e+006.
  std::size_t e = s.find('e');
  if (e != std::string::npos && e + 2 < s.size()) {
    std::string digits = s.substr(e + 2);
    while (digits.size() < 3) digits.insert(0, "0");
    s = s.substr(0, e + 2) + digits;
  }
  return s;
}

std::string formatMoney(std::int64_t v, int style) {
  if (style == 2) return scaledToString(v, 4);
  // Styles 0 and 1 show two decimals, rounded.
  __int128 cents =
      v >= 0 ? (static_cast<__int128>(v) + 50) / 100 : (static_cast<__int128>(v) - 50) / 100;
  std::string s = scaledToString(static_cast<std::int64_t>(cents), 2);
  if (style == 1) {
    bool neg = s[0] == '-';
    std::string digits = s.substr(neg ? 1 : 0);
    std::size_t dot = digits.find('.');
    std::string ip = digits.substr(0, dot), frac = digits.substr(dot);
    std::string grouped;
    for (std::size_t i = 0; i < ip.size(); ++i) {
      if (i && (ip.size() - i) % 3 == 0) grouped += ',';
      grouped += ip[i];
    }
    s = (neg ? "-" : "") + grouped + frac;
  }
  return s;
}

std::string bytesOfInteger(std::int64_t v, int width) {
  std::string out(width, '\0');
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
  return out;
}

// Characters of a UTF-8 string (code points).
std::size_t utf8Length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// The byte offset of the first `chars` code points.
std::size_t utf8Prefix(std::string_view s, std::size_t chars) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (n == chars) return i;
      ++n;
    }
  }
  return s.size();
}

// The longest prefix of at most `bytes` bytes that ends between characters.
std::size_t utf8BytePrefix(std::string_view s, std::size_t bytes) {
  if (bytes >= s.size()) return s.size();
  while (bytes > 0 && (static_cast<unsigned char>(s[bytes]) & 0xC0) == 0x80) --bytes;
  return bytes;
}

// The parts of a stored date, time, datetime2 or datetimeoffset.
WideDateTime wideOf(const Stored& v, const TypeInfo& from) {
  if (v.kind == K::Text) return wideFromText(v.s).value_or(WideDateTime{});
  return wideFromInteger(v.i, from.type);
}

Stored storedWide(const WideDateTime& w, const TypeInfo& to) {
  if (to.type == SqlType::DateTimeOffset) return Stored::text(storedWideText(w, to));
  return Stored::integer(integerFromWide(w, to.type));
}

std::string fitText(std::string s, const TypeInfo& to, const Settings& settings, bool assignment) {
  if (isLargeType(to.type)) return s;
  std::size_t limit = static_cast<std::size_t>(charLength(to));
  // char(n) and varchar(n) of a UTF-8 collation hold n bytes, and never
  // part of a character; so do those of a double-byte code page, where a
  // character takes one byte or two.
  const int page = isUnicodeType(to.type) ? 0 : collationCodePage(to.collation);
  const bool utf8 = page == kUtf8CodePage, doubleByte = isDoubleByteCodePage(page);
  std::size_t len = utf8 ? s.size() : doubleByte ? codePageLength(s, page) : utf8Length(s);
  if (len > limit) {
    std::size_t cut = utf8 ? utf8BytePrefix(s, limit) : utf8Prefix(s, limit);
    if (doubleByte) cut = codePagePrefix(s, page, limit, len);
    if (assignment && settings.ansiWarnings && s.find_first_not_of(' ', cut) != std::string::npos)
      throw SqlError(8152, {});
    s.resize(cut);
    if (!doubleByte) len = utf8 ? cut : limit;
  }
  if (isFixedLengthType(to.type) && len < limit) s.append(limit - len, ' ');
  return s;
}

std::string fitBytes(std::string s, const TypeInfo& to, const Settings& settings, bool assignment) {
  if (isLargeType(to.type)) return s;
  std::size_t limit = static_cast<std::size_t>(to.length);
  if (s.size() > limit) {
    if (assignment && settings.ansiWarnings) throw SqlError(8152, {});
    s.resize(limit);
  }
  if (to.type == SqlType::Binary && s.size() < limit) s.append(limit - s.size(), '\0');
  return s;
}

Stored toText(const Stored& v, const TypeInfo& from, const TypeInfo& to, int style,
              const Settings& settings, bool assignment) {
  std::string s;
  __int128 u;
  int scale;
  if (isWideDateType(from.type)) {
    s = formatWideStyled(wideOf(v, from), from, style);
  } else if (isDecimalType(from.type) && exactOf(v, from, u, scale)) {
    s = scaledToString(u, scale);
  } else if (v.kind == K::Blob) {
    // Bytes read as characters of the target: UCS-2 for the Unicode types,
    // code page 1252 for char and varchar.
    s = isUnicodeType(to.type)
            ? ucs2leToUtf8(std::span(reinterpret_cast<const std::uint8_t*>(v.s.data()), v.s.size()))
            : codePageToUtf8(v.s, collationCodePage(to.collation));
  } else if (v.kind == K::Text) {
    // char and varchar hold what their code page has: from Unicode, or from
    // the code page of another collation, the rest becomes '?'.
    const int page = collationCodePage(to.collation);
    const bool narrowed =
        !isUnicodeType(to.type) && (isUnicodeType(from.type) || from.type == SqlType::Xml ||
                                    (isCharType(to.type) && isCharType(from.type) &&
                                     collationCodePage(from.collation) != page));
    s = narrowed ? utf8WithinCodePage(v.s, page) : v.s;
  } else if (isDateType(from.type)) {
    s = formatDateTime(v.i, style);
  } else if (isMoneyType(from.type)) {
    s = formatMoney(v.i, style);
  } else if (v.kind == K::Real) {
    s = formatFloat(v.r, from, style);
  } else {
    s = std::to_string(v.i);
  }
  if (!isCharType(from.type) && !isBinaryType(from.type) && !isLargeType(to.type) &&
      from.type != SqlType::UniqueIdentifier &&
      utf8Length(s) > static_cast<std::size_t>(charLength(to))) {
    // A number that does not fit its character target shows as '*'.
    if (isNumericType(from.type)) return Stored::text(fitText("*", to, settings, false));
  }
  return Stored::text(fitText(std::move(s), to, settings, assignment));
}

std::int64_t checkIntRange(__int128 v, const TypeInfo& from, const TypeInfo& to) {
  __int128 lo, hi;
  switch (to.type) {
    case SqlType::TinyInt:
      lo = 0;
      hi = 255;
      break;
    case SqlType::SmallInt:
      lo = -32768;
      hi = 32767;
      break;
    case SqlType::Int:
      lo = -2147483648LL;
      hi = 2147483647LL;
      break;
    default:
      lo = std::numeric_limits<std::int64_t>::min();
      hi = std::numeric_limits<std::int64_t>::max();
      break;
  }
  if (v < lo || v > hi) {
    if (isCharType(from.type)) throw SqlError(248, {});
    if (isIntegerType(from.type)) throw SqlError(220, {typeName(to.type), int128ToString(v)});
    overflow(from, to);
  }
  return static_cast<std::int64_t>(v);
}

Stored toInteger(const Stored& v, const TypeInfo& from, const TypeInfo& to) {
  __int128 u;
  int scale;
  if (to.type == SqlType::Bit) {
    if (v.kind == K::Text) {
      std::string t = trimmed(v.s);
      if (iequals(t, "true")) return Stored::integer(1);
      if (iequals(t, "false")) return Stored::integer(0);
      __int128 x;
      int sc;
      if (!parseDecimalText(t, false, x, sc))
        throw SqlError(245, {typeName(from.type), v.s, "bit"});
      return Stored::integer(x != 0);
    }
    if (v.kind == K::Real) return Stored::integer(v.r != 0);
    if (exactOf(v, from, u, scale)) return Stored::integer(u != 0);
    return Stored::integer(v.i != 0);
  }
  if (v.kind == K::Text) {
    std::string t = trimmed(v.s);
    // Empty or blank text is 0 as an integer, as SQL Server converts it.
    if (t.empty()) return Stored::integer(0);
    __int128 x;
    int sc;
    bool ok = parseDecimalText(t, false, x, sc) && sc == 0 && t.find('.') == std::string::npos;
    if (!ok) throw SqlError(245, {typeName(from.type), v.s, typeName(to.type)});
    return Stored::integer(checkIntRange(x, from, to));
  }
  if (v.kind == K::Blob && !isDecimalType(from.type)) {
    __int128 x = 0;
    std::size_t width = static_cast<std::size_t>(to.length);
    std::string_view b = v.s;
    if (b.size() > width) b = b.substr(b.size() - width);
    for (unsigned char c : b) x = (x << 8) | c;
    // Sign-extend from the target width.
    if (b.size() == width && width < 16 && (static_cast<unsigned char>(b[0]) & 0x80) &&
        to.type != SqlType::TinyInt)
      x -= static_cast<__int128>(1) << (8 * width);
    return Stored::integer(static_cast<std::int64_t>(x));
  }
  if (isDateType(from.type)) {
    // Whole days, rounding at noon.
    std::int64_t days = v.i >= 0 ? (v.i + kTicksPerDay / 2) / kTicksPerDay
                                 : -((-v.i + kTicksPerDay / 2) / kTicksPerDay);
    return Stored::integer(checkIntRange(days, from, to));
  }
  if (exactOf(v, from, u, scale)) {
    __int128 p = pow10(scale);
    __int128 q = u / p;
    if (isMoneyType(from.type)) {
      __int128 r = u % p;
      if (r * 2 >= p) ++q;
      if (r * 2 <= -p) --q;
    }
    return Stored::integer(checkIntRange(q, from, to));
  }
  double d = doubleOf(v, from);
  if (!(d > -9.3e18 && d < 9.3e18)) overflow(from, to);
  return Stored::integer(checkIntRange(static_cast<__int128>(std::trunc(d)), from, to));
}

// An exact value of a float: its 17 significant digits, rounded to `scale`.
bool exactOfDouble(double d, int scale, __int128& out) {
  if (!std::isfinite(d)) return false;
  if (d == 0) {
    out = 0;
    return true;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.16e", d);
  std::string_view text = buf;
  std::size_t e = text.find('e');
  __int128 mantissa = 0;
  for (char c : text.substr(0, e))
    if (c >= '0' && c <= '9') mantissa = mantissa * 10 + (c - '0');
  if (text[0] == '-') mantissa = -mantissa;
  int exponent = std::atoi(buf + e + 1);
  // mantissa * 10^(exponent - 16)
  int fromScale = 16 - exponent;
  if (fromScale - scale > 60) {
    out = 0;
    return true;
  }
  return exact::rescale(mantissa, fromScale, scale, out);
}

Stored toExact(const Stored& v, const TypeInfo& from, const TypeInfo& to) {
  int toScale = storageScale(to);
  __int128 result = 0, u;
  int scale;
  bool ok;
  if (v.kind == K::Text) {
    bool tooLarge = false;
    if (!parseDecimalText(v.s, isMoneyType(to.type), u, scale, &tooLarge)) {
      if (isMoneyType(to.type)) throw SqlError(235, {typeName(from.type)});
      throw SqlError(8114,
                     {typeName(from.type), isDecimalType(to.type) ? "numeric" : typeName(to.type)});
    }
    ok = !tooLarge && exact::rescale(u, scale, toScale, result);
  } else if (v.kind == K::Blob && !isDecimalType(from.type) && isDecimalType(to.type) &&
             v.s.size() >= 4 && v.s.size() <= 19 && static_cast<std::uint8_t>(v.s[0]) >= 1 &&
             static_cast<std::uint8_t>(v.s[0]) <= 38 &&
             static_cast<std::uint8_t>(v.s[1]) <= static_cast<std::uint8_t>(v.s[0])) {
    // The layout a decimal converts to binary as (see toBinary).
    unsigned __int128 mag = 0;
    for (std::size_t i = v.s.size(); i-- > 3;) mag = (mag << 8) | static_cast<std::uint8_t>(v.s[i]);
    u = static_cast<__int128>(mag);
    if (v.s[2] == 0) u = -u;
    ok = (mag >> 127) == 0 && exact::rescale(u, static_cast<std::uint8_t>(v.s[1]), toScale, result);
  } else if (v.kind == K::Blob && !isDecimalType(from.type)) {
    Stored i = toInteger(v, from, makeType(SqlType::BigInt));
    ok = exact::rescale(i.i, 0, toScale, result);
  } else if (exactOf(v, from, u, scale)) {
    ok = exact::rescale(u, scale, toScale, result);
  } else {
    ok = exactOfDouble(doubleOf(v, from), toScale, result);
  }
  // Digits left of the point must fit the precision.
  if (!ok || !exact::fits(result, to)) overflow(from, to);
  return storedExact(result, to);
}

Stored toFloat(const Stored& v, const TypeInfo& from, const TypeInfo& to) {
  if (v.kind == K::Text) {
    std::string t = trimmed(v.s);
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    if (t.empty() || *end) throw SqlError(8114, {typeName(from.type), typeName(to.type)});
    return Stored::real(to.type == SqlType::Real ? static_cast<float>(d) : d);
  }
  double d = doubleOf(v, from);
  return Stored::real(to.type == SqlType::Real ? static_cast<float>(d) : d);
}

Stored toWide(const Stored& v, const TypeInfo& from, const TypeInfo& to, const Settings& st) {
  WideDateTime w;
  if (isWideDateType(from.type)) {
    w = wideOf(v, from);
    if (from.type == SqlType::Time && to.type != SqlType::Time)
      w.days = static_cast<std::int32_t>(kDaysTo1900);
  } else if (isCharType(from.type) && v.kind == K::Text) {
    auto parsed = parseWideDateTime(v.s, st.dateOrder);
    if (!parsed) throw SqlError(241, {});
    w = *parsed;
  } else if (isDateType(from.type)) {
    w = wideFromTicks(v.i);
  } else {
    throw SqlError(529, {typeName(from.type), typeName(to.type)});
  }
  auto fitted = fitWide(w, to);
  if (!fitted) throw SqlError(242, {});
  return storedWide(*fitted, to);
}

Stored toDate(const Stored& v, const TypeInfo& from, const TypeInfo& to, const Settings& st) {
  std::int64_t ticks;
  if (isWideDateType(from.type)) {
    WideDateTime w = wideOf(v, from);
    if (from.type == SqlType::Time) w.days = static_cast<std::int32_t>(kDaysTo1900);
    ticks = ticksFromWide(w);
  } else if (v.kind == K::Text) {
    // A date before 1753 is a date, out of datetime's range (242).
    auto parsed = parseDateTime(v.s, st.dateOrder, 1);
    if (!parsed) throw SqlError(241, {});
    ticks = *parsed;
    if (to.type == SqlType::SmallDateTime && !inSmallDateTimeRange(toSmallDateTime(ticks)))
      throw SqlError(242, {});
  } else if (isDateType(from.type)) {
    ticks = v.i;
  } else if (v.kind == K::Real || isDecimalType(from.type) || isMoneyType(from.type)) {
    ticks = static_cast<std::int64_t>(std::llround(doubleOf(v, from) * kTicksPerDay));
  } else if (v.kind == K::Int) {
    ticks = v.i * kTicksPerDay;
  } else {
    throw SqlError(529, {typeName(from.type), typeName(to.type)});
  }
  if (to.type == SqlType::SmallDateTime) {
    ticks = toSmallDateTime(ticks);
    if (!inSmallDateTimeRange(ticks)) throw SqlError(242, {});
  } else if (!inDateTimeRange(ticks)) {
    throw SqlError(242, {});
  }
  return Stored::integer(ticks);
}

Stored toBinary(const Stored& v, const TypeInfo& from, const TypeInfo& to, const Settings& st,
                bool assignment) {
  std::string bytes;
  __int128 u;
  int scale;
  if (isDecimalType(from.type) && exactOf(v, from, u, scale)) {
    // Precision, scale, sign (1 for positive) and the magnitude little-endian
    // in 4, 8, 12 or 16 bytes, as SQL Server lays a decimal out.
    bytes.push_back(static_cast<char>(from.precision));
    bytes.push_back(static_cast<char>(from.scale));
    bytes.push_back(u < 0 ? 0 : 1);
    auto mag = u < 0 ? -static_cast<unsigned __int128>(u) : static_cast<unsigned __int128>(u);
    for (int i = 1; i < decimalLength(from.precision); ++i, mag >>= 8)
      bytes.push_back(static_cast<char>(static_cast<std::uint8_t>(mag)));
  } else if (v.kind == K::Text && from.type == SqlType::Xml) {
    // UTF-16 behind its byte-order mark, which converting back reads.
    bytes = "\xFF\xFE" + utf8ToUcs2le(v.s);
  } else if (v.kind == K::Text && isCharType(from.type)) {
    // Characters become the bytes SQL Server holds them as.
    bytes = isUnicodeType(from.type) ? utf8ToUcs2le(v.s)
                                     : utf8ToCodePage(v.s, collationCodePage(from.collation));
  } else if (v.kind == K::Text || v.kind == K::Blob) {
    bytes = v.s;
    if (from.type == SqlType::UniqueIdentifier) {
      GuidValue g;
      if (guidFromText(v.s, g)) bytes.assign(g.bytes.begin(), g.bytes.end());
    }
  } else if (v.kind == K::Int) {
    int width = isIntegerType(from.type) ? std::max(1, makeType(from.type).length) : 8;
    bytes = bytesOfInteger(v.i, width);
  } else {
    std::int64_t raw;
    static_assert(sizeof raw == sizeof v.r);
    std::memcpy(&raw, &v.r, sizeof raw);
    bytes = bytesOfInteger(raw, 8);
  }
  // Numbers converted to a shorter binary keep their low-order bytes.
  if (!isCharType(from.type) && !isBinaryType(from.type) && !isDecimalType(from.type) &&
      !isLargeType(to.type) && bytes.size() > static_cast<std::size_t>(to.length))
    bytes = bytes.substr(bytes.size() - to.length);
  return Stored::blob(fitBytes(std::move(bytes), to, st, assignment));
}

Stored toGuid(const Stored& v, const TypeInfo& from) {
  if (v.kind == K::Blob) {
    if (v.s.size() < 16) throw SqlError(8169, {});
    GuidValue g;
    std::copy(v.s.begin(), v.s.begin() + 16, g.bytes.begin());
    return Stored::text(guidToText(g));
  }
  if (v.kind != K::Text) throw SqlError(529, {typeName(from.type), "uniqueidentifier"});
  std::string t = trimmed(v.s);
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  GuidValue g;
  if (!guidFromText(t, g)) throw SqlError(8169, {});
  return Stored::text(guidToText(g));
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::int64_t pow10(int n) {
  static constexpr std::int64_t kPow[] = {1,
                                          10,
                                          100,
                                          1000,
                                          10000,
                                          100000,
                                          1000000,
                                          10000000,
                                          100000000,
                                          1000000000,
                                          10000000000,
                                          100000000000,
                                          1000000000000,
                                          10000000000000,
                                          100000000000000,
                                          1000000000000000,
                                          10000000000000000,
                                          100000000000000000,
                                          1000000000000000000};
  return kPow[std::clamp(n, 0, 18)];
}

std::int64_t rescale(__int128 v, int fromScale, int toScale, const TypeInfo& target) {
  __int128 r;
  if (!exact::rescale(v, fromScale, toScale, r) || r > std::numeric_limits<std::int64_t>::max() ||
      r < std::numeric_limits<std::int64_t>::min())
    throw SqlError(8115,
                   {"expression", isDecimalType(target.type) ? "numeric" : typeName(target.type)});
  return static_cast<std::int64_t>(r);
}

Stored storedExact(__int128 v, const TypeInfo& type) {
  if (exact::isWide(type)) return Stored::blob(exact::toBytes(v));
  if (v > std::numeric_limits<std::int64_t>::max() || v < std::numeric_limits<std::int64_t>::min())
    throw SqlError(8115,
                   {"expression", isDecimalType(type.type) ? "numeric" : typeName(type.type)});
  return Stored::integer(static_cast<std::int64_t>(v));
}

bool exactOfStored(const Stored& v, const TypeInfo& type, __int128& unscaled, int& scale) {
  return exactOf(v, type, unscaled, scale);
}

Stored convertValue(const Stored& v, const TypeInfo& from, const TypeInfo& to, int style,
                    const Settings& settings, bool assignment) {
  if (v.isNull()) return v;
  if (from.type == SqlType::Variant) {
    if (to.type == SqlType::Variant) return v;
    TypeInfo held;
    Stored inner;
    if (!variantOfStored(v, held, inner)) return Stored::null();
    return convertValue(inner, held, to, style, settings, assignment);
  }
  if (to.type == SqlType::Variant) {
    // text, ntext, image, xml and the (max) types do not fit in a sql_variant.
    if (isLargeType(from.type) || isMaxType(from) || from.type == SqlType::Xml)
      throw SqlError(206, {typeName(from.type), "sql_variant"});
    return variantStored(v, from);
  }
  SqlType t = to.type;
  if (t == SqlType::Xml) {
    // Text is parsed and kept as the xml type writes it; the binder lets
    // only character and binary values here.
    if (from.type == SqlType::Xml) return v;
    if (v.kind == K::Blob) return Stored::text(xmlFromBytes(v.s));
    return Stored::text(xmlFromText(v.s));
  }
  if (isCharType(t)) return toText(v, from, to, style, settings, assignment);
  if (isBinaryType(t)) return toBinary(v, from, to, settings, assignment);
  if (isIntegerType(t)) return toInteger(v, from, to);
  if (isDecimalType(t) || isMoneyType(t)) return toExact(v, from, to);
  if (t == SqlType::Real || t == SqlType::Float) return toFloat(v, from, to);
  if (isDateType(t)) return toDate(v, from, to, settings);
  if (isWideDateType(t)) return toWide(v, from, to, settings);
  if (t == SqlType::UniqueIdentifier) return toGuid(v, from);
  return v;
}

Stored storedFromValue(const Value& v, const TypeInfo& type) {
  if (type.type == SqlType::Variant) {
    if (v.isNull() || !v.variantType) return Stored::null();
    return variantStored(storedFromValue(v, *v.variantType), *v.variantType);
  }
  if (isDecimalType(type.type)) {
    // Whatever the value's own form, a decimal stores as its type says.
    static const Settings defaults;
    if (auto* i = std::get_if<std::int64_t>(&v.data()))
      return convertValue(Stored::integer(*i), makeType(SqlType::BigInt), type, 0, defaults);
    if (auto* d = std::get_if<double>(&v.data()))
      return convertValue(Stored::real(*d), makeType(SqlType::Float), type, 0, defaults);
    if (auto* m = std::get_if<MoneyValue>(&v.data()))
      return convertValue(Stored::integer(m->tenThousandths), makeType(SqlType::Money), type, 0,
                          defaults);
  }
  return std::visit(
      [&](const auto& x) -> Stored {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return Stored::null();
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return Stored::integer(x);
        } else if constexpr (std::is_same_v<T, double>) {
          return Stored::real(x);
        } else if constexpr (std::is_same_v<T, DecimalValue>) {
          __int128 r;
          if (!exact::rescale(x.unscaled, x.scale, storageScale(type), r))
            throw SqlError(
                8115, {"expression", isDecimalType(type.type) ? "numeric" : typeName(type.type)});
          return storedExact(r, type);
        } else if constexpr (std::is_same_v<T, MoneyValue>) {
          return Stored::integer(x.tenThousandths);
        } else if constexpr (std::is_same_v<T, DateTimeValue>) {
          return Stored::integer(static_cast<std::int64_t>(x.days) * kTicksPerDay + x.ticks);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return Stored::text(x);
        } else if constexpr (std::is_same_v<T, BytesValue>) {
          return Stored::blob(x.bytes);
        } else if constexpr (std::is_same_v<T, DateTime2Value>) {
          if (isWideDateType(type.type)) return storedWide(x, type);
          return Stored::integer(ticksFromWide(x));
        } else {
          return Stored::text(guidToText(x));
        }
      },
      v.data());
}

Value valueFromStored(const Stored& v, const TypeInfo& type) {
  if (v.isNull()) return Value();
  SqlType t = type.type;
  if (t == SqlType::Variant) {
    TypeInfo held;
    Stored inner;
    if (!variantOfStored(v, held, inner)) return Value();
    Value out = valueFromStored(inner, held);
    out.variantType = held;
    return out;
  }
  static const Settings defaults;
  if (isCharType(t) || t == SqlType::Xml) {
    if (v.kind == K::Text || v.kind == K::Blob) return Value(v.s);
    return Value(storedToText(v, type));
  }
  if (isBinaryType(t)) {
    if (v.kind == K::Blob || v.kind == K::Text) return Value(BytesValue{v.s});
    return Value(BytesValue{bytesOfInteger(v.i, 8)});
  }
  if (isWideDateType(t)) return Value(wideOf(v, type));
  if (t == SqlType::UniqueIdentifier) {
    GuidValue g;
    if (v.kind == K::Text && guidFromText(v.s, g)) return Value(g);
    if (v.kind == K::Blob && v.s.size() == 16) {
      std::copy(v.s.begin(), v.s.end(), g.bytes.begin());
      return Value(g);
    }
    return Value();
  }
  if (t == SqlType::Real || t == SqlType::Float) {
    if (v.kind == K::Real) return Value(v.r);
    if (v.kind == K::Int) return Value(static_cast<double>(v.i));
    return Value(std::strtod(v.s.c_str(), nullptr));
  }
  if (isDecimalType(t) && v.kind == K::Blob)
    return Value(DecimalValue{exact::fromBytes(v.s), type.precision, type.scale});
  std::int64_t i;
  if (v.kind == K::Int) {
    i = v.i;
  } else if (v.kind == K::Real) {
    i = static_cast<std::int64_t>(std::llround(v.r));
  } else {
    i = convertValue(v, makeType(SqlType::VarChar, 8000), type, 0, defaults).i;
  }
  if (isDecimalType(t)) return Value(DecimalValue{i, type.precision, type.scale});
  if (isMoneyType(t)) return Value(MoneyValue{i});
  if (isDateType(t)) {
    std::int64_t days = i >= 0 ? i / kTicksPerDay : -((-i + kTicksPerDay - 1) / kTicksPerDay);
    return Value(DateTimeValue{static_cast<std::int32_t>(days),
                               static_cast<std::uint32_t>(i - days * kTicksPerDay)});
  }
  return Value(i);
}

std::string storedToText(const Stored& v, const TypeInfo& type) {
  if (v.isNull()) return {};
  if (type.type == SqlType::Variant) {
    TypeInfo held;
    Stored inner;
    return variantOfStored(v, held, inner) ? storedToText(inner, held) : std::string();
  }
  if ((v.kind == K::Text || v.kind == K::Blob) && !isWideDateType(type.type) &&
      !isDecimalType(type.type))
    return v.s;
  static const Settings defaults;
  TypeInfo target = makeType(SqlType::VarChar, 8000);
  return toText(v, type, target, 0, defaults, false).s;
}

Stored variantStored(const Stored& v, const TypeInfo& held) {
  if (v.isNull()) return v;
  std::string out;
  auto put = [&](std::uint64_t x) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((x >> (8 * i)) & 0xFF));
  };
  TypeInfo t = held;
  t.nullable = true;
  put(static_cast<std::uint64_t>(encodeType(t)));
  out.push_back(static_cast<char>(v.kind));
  switch (v.kind) {
    case K::Int:
      put(static_cast<std::uint64_t>(v.i));
      break;
    case K::Real: {
      std::uint64_t bits = 0;
      std::memcpy(&bits, &v.r, sizeof bits);
      put(bits);
      break;
    }
    default:
      out += v.s;
      break;
  }
  return Stored::blob(std::move(out));
}

bool variantOfStored(const Stored& v, TypeInfo& held, Stored& inner) {
  if (v.kind != K::Blob || v.s.size() < 9) return false;
  auto get = [&](std::size_t at) {
    std::uint64_t x = 0;
    for (int i = 0; i < 8; ++i)
      x |= static_cast<std::uint64_t>(static_cast<unsigned char>(v.s[at + i])) << (8 * i);
    return x;
  };
  held = decodeType(static_cast<std::int64_t>(get(0)));
  if (held.type > SqlType::DateTimeOffset) return false;
  auto kind = static_cast<K>(v.s[8]);
  switch (kind) {
    case K::Int:
    case K::Real:
      if (v.s.size() != 17) return false;
      if (kind == K::Int) {
        inner = Stored::integer(static_cast<std::int64_t>(get(9)));
      } else {
        std::uint64_t bits = get(9);
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        inner = Stored::real(d);
      }
      return true;
    case K::Text:
      inner = Stored::text(v.s.substr(9));
      return true;
    case K::Blob:
      inner = Stored::blob(v.s.substr(9));
      return true;
    default:
      return false;
  }
}

std::size_t trimmedLength(std::string_view bytes, char pad) {
  std::size_t keep = bytes.size();
  while (keep > 1 && bytes[keep - 1] == pad) --keep;
  return keep;
}

Stored trimTrailing(Stored v) {
  if (v.kind != K::Text && v.kind != K::Blob) return v;
  v.s.resize(trimmedLength(v.s, v.kind == K::Text ? ' ' : '\0'));
  return v;
}

std::int64_t encodeType(const TypeInfo& t) {
  return static_cast<std::int64_t>(t.type) | (static_cast<std::int64_t>(t.precision) << 8) |
         (static_cast<std::int64_t>(t.scale) << 16) |
         (static_cast<std::int64_t>(static_cast<std::uint32_t>(t.length)) << 24) |
         // The collation's family, which fixes the code page of char and varchar:
         // seven bits, below the sign.
         (static_cast<std::int64_t>(t.collation / 64 & 0x7F) << 56) |
         // Text has no scale: its place keeps the collation's style.
         (isCharType(t.type) ? static_cast<std::int64_t>(t.collation % 64) << 16 : 0);
}

TypeInfo decodeType(std::int64_t code) {
  TypeInfo t;
  t.type = static_cast<SqlType>(code & 0xFF);
  t.precision = static_cast<std::uint8_t>((code >> 8) & 0xFF);
  t.scale = static_cast<std::uint8_t>((code >> 16) & 0xFF);
  t.length = static_cast<std::int32_t>((code >> 24) & 0xFFFFFFFF);
  t.collation = static_cast<std::uint16_t>(((code >> 56) & 0x7F) * 64);
  if (isCharType(t.type)) {
    t.collation = static_cast<std::uint16_t>(t.collation + t.scale % 64);
    t.scale = 0;
  }
  return t;
}

bool guidFromText(std::string_view text, GuidValue& out) {
  if (text.size() != 36) return false;
  std::uint8_t raw[16];
  int n = 0;
  for (std::size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    raw[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
    i += 2;
  }
  // The first three groups travel little-endian.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) out.bytes[i] = raw[kOrder[i]];
  return true;
}

std::string guidToText(const GuidValue& g) {
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    std::uint8_t b = g.bytes[kOrder[i]];
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace tessel::sqld::engine
