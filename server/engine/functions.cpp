#include "functions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "ast.h"
#include "collation/text_collation.h"
#include "collations.h"
#include "convert.h"
#include "datetime.h"
#include "datetime2.h"
#include "errors.h"
#include "exact.h"
#include "format.h"
#include "key_definitions.h"
#include "lexer.h"
#include "sqld/charset.h"
#include "sqlite_util.h"
#include "table_functions.h"
#include "types.h"
#include "xml_output.h"
#include "xml_path.h"

namespace tessel::sqld::engine {
namespace {

const Settings& settingsOf(sqlite3_context* c) {
  return *static_cast<const Settings*>(sqlite3_user_data(c));
}

void raise(sqlite3_context* c, const SqlError& e) {
  std::string text = encodeErrorText(e.message(), e.scope() == ErrorScope::Batch);
  sqlite3_result_error(c, text.c_str(), static_cast<int>(text.size()));
}

// Runs `body` and turns a SqlError into a SQLite function error.
template <typename F>
void guarded(sqlite3_context* c, F&& body) {
  try {
    body();
  } catch (const SqlError& e) {
    raise(c, e);
  } catch (const std::exception& e) {
    sqlite3_result_error(c, e.what(), -1);
  }
}

Stored arg(sqlite3_value** v, int i) {
  return storedFromSqlite(v[i]);
}
bool isNull(sqlite3_value** v, int i) {
  return sqlite3_value_type(v[i]) == SQLITE_NULL;
}
std::int64_t argInt(sqlite3_value** v, int i) {
  return sqlite3_value_int64(v[i]);
}
std::string argText(sqlite3_value** v, int i) {
  const unsigned char* t = sqlite3_value_text(v[i]);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<std::size_t>(sqlite3_value_bytes(v[i])))
           : std::string();
}

void resultText(sqlite3_context* c, const std::string& s) {
  sqlite3_result_text64(c, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Decodes UTF-8 into code points; a truncated sequence's bytes stand alone.
std::u32string decodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    std::size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (i + extra >= s.size()) extra = 0;
    char32_t cp = extra ? (b & (0x3F >> extra)) : b;
    for (std::size_t k = 1; k <= extra; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(cp);
    i += 1 + extra;
  }
  return out;
}

std::string encodeUtf8(const std::u32string& s);

}  // namespace

// Lower case for LIKE, CHARINDEX and LOWER: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic capitals. Comparisons under TSQL_CI go to
// ICU instead (compareCaseInsensitive).
char32_t foldCase(char32_t c) {
  if (c < 0x80) return static_cast<char32_t>(std::tolower(static_cast<int>(c)));
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

char32_t upperCase(char32_t c) {
  if (c < 0x80) return static_cast<char32_t>(std::toupper(static_cast<int>(c)));
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char32_t{1};
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

namespace {

// UTF-8 helpers: code point boundaries.
std::vector<std::size_t> charStarts(std::string_view s) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
  return starts;
}

std::string substrChars(std::string_view s, std::int64_t start0, std::int64_t count) {
  auto starts = charStarts(s);
  std::int64_t n = static_cast<std::int64_t>(starts.size());
  std::int64_t b = std::clamp<std::int64_t>(start0, 0, n);
  std::int64_t e = std::clamp<std::int64_t>(start0 + count, 0, n);
  if (e <= b) return {};
  std::size_t from = starts[b];
  std::size_t to = e < n ? starts[e] : s.size();
  return std::string(s.substr(from, to - from));
}

bool divisionByZero(sqlite3_context* c) {
  const Settings& st = settingsOf(c);
  if (st.ansiWarnings || st.arithAbort) {
    raise(c, SqlError(Message(makeMessage(8134, {})),
                      st.arithAbort ? ErrorScope::Batch : ErrorScope::Statement));
    return true;
  }
  sqlite3_result_null(c);
  return true;
}

void fnCast(sqlite3_context* c, int, sqlite3_value** v) {
  guarded(c, [&] {
    Stored x = arg(v, 0);
    if (x.isNull()) return sqlite3_result_null(c);
    TypeInfo from = decodeType(argInt(v, 1)), to = decodeType(argInt(v, 2));
    int style = static_cast<int>(argInt(v, 3));
    bool assign = argInt(v, 4) != 0;
    resultStored(c, convertValue(x, from, to, style, settingsOf(c), assign));
  });
}

// t_trycast(value, from, to, style): TRY_CAST and TRY_CONVERT, NULL where
// the value does not convert. A conversion the types never allow stays an
// error (529).
void fnTryCast(sqlite3_context* c, int, sqlite3_value** v) {
  Stored x = arg(v, 0);
  if (x.isNull()) return sqlite3_result_null(c);
  TypeInfo from = decodeType(argInt(v, 1)), to = decodeType(argInt(v, 2));
  try {
    resultStored(c, convertValue(x, from, to, static_cast<int>(argInt(v, 3)), settingsOf(c)));
  } catch (const SqlError& e) {
    if (e.message().number == 529) return raise(c, e);
    sqlite3_result_null(c);
  }
}

// t_trim(value): a value on its way into a column created with ANSI_PADDING
// off, without its trailing blanks or zero bytes.
void fnTrim(sqlite3_context* c, int, sqlite3_value** v) {
  // Most values have nothing to drop and are passed on without a copy.
  const int type = sqlite3_value_type(v[0]);
  if (type != SQLITE_TEXT && type != SQLITE_BLOB) return sqlite3_result_value(c, v[0]);
  const void* data = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(v[0]))
                                         : sqlite3_value_blob(v[0]);
  const std::string_view bytes(static_cast<const char*>(data),
                               static_cast<std::size_t>(sqlite3_value_bytes(v[0])));
  const std::size_t keep = trimmedLength(bytes, type == SQLITE_TEXT ? ' ' : '\0');
  if (keep == bytes.size()) return sqlite3_result_value(c, v[0]);
  if (type == SQLITE_TEXT)
    return sqlite3_result_text64(c, bytes.data(), keep, SQLITE_TRANSIENT, SQLITE_UTF8);
  sqlite3_result_blob64(c, bytes.data(), keep, SQLITE_TRANSIENT);
}

// SQL_VARIANT_PROPERTY(value, property): a sql_variant of the held value's
// base type, precision, scale, total bytes, collation or maximum length.
void fnVariantProperty(sqlite3_context* c, int, sqlite3_value** v) {
  guarded(c, [&] {
    TypeInfo held;
    Stored inner;
    if (!variantOfStored(arg(v, 0), held, inner)) return sqlite3_result_null(c);
    const std::string property = lower(argText(v, 1));
    const SqlType t = held.type;
    auto number = [&](std::int64_t n) {
      resultStored(c, variantStored(Stored::integer(n), makeType(SqlType::Int)));
    };
    auto scaleDigits = [&](int base) { return held.scale == 0 ? base : base + 1 + held.scale; };
    if (property == "basetype") {
      resultStored(c, variantStored(Stored::text(typeName(t)), makeType(SqlType::NVarChar, 256)));
    } else if (property == "precision") {
      std::int64_t p = 0;
      if (isDecimalType(t))
        p = held.precision;
      else if (t == SqlType::TinyInt)
        p = 3;
      else if (t == SqlType::SmallInt)
        p = 5;
      else if (t == SqlType::Int)
        p = 10;
      else if (t == SqlType::BigInt || t == SqlType::Money)
        p = 19;
      else if (t == SqlType::Bit)
        p = 1;
      else if (t == SqlType::Float)
        p = 53;
      else if (t == SqlType::Real)
        p = 24;
      else if (t == SqlType::SmallMoney)
        p = 10;
      else if (t == SqlType::DateTime)
        p = 23;
      else if (t == SqlType::SmallDateTime)
        p = 16;
      else if (t == SqlType::Date)
        p = 10;
      else if (t == SqlType::Time)
        p = scaleDigits(8);
      else if (t == SqlType::DateTime2)
        p = scaleDigits(19);
      else if (t == SqlType::DateTimeOffset)
        p = scaleDigits(26);
      number(p);
    } else if (property == "scale") {
      std::int64_t s = 0;
      if (isDecimalType(t) || t == SqlType::Time || t == SqlType::DateTime2 ||
          t == SqlType::DateTimeOffset)
        s = held.scale;
      else if (isMoneyType(t))
        s = 4;
      else if (t == SqlType::DateTime)
        s = 3;
      number(s);
    } else if (property == "maxlength") {
      number(held.length);
    } else if (property == "collation") {
      if (!isCharType(t)) return sqlite3_result_null(c);
      resultStored(c, variantStored(Stored::text(collationName(held.collation)),
                                    makeType(SqlType::NVarChar, 256)));
    } else {
      sqlite3_result_null(c);
    }
  });
}

// t_variant_key(value): a key of a sql_variant that compares byte by byte as
// SQL Server compares sql_variant values. Its first byte is the base type's
// family, higher families greater: date and time, approximate numeric,
// exact numeric, character, binary, uniqueidentifier. Within a family the
// value follows in one form for all its types, so 1 (int) = 1.0 (decimal).
std::string variantKey(const TypeInfo& held, const Stored& inner) {
  const SqlType t = held.type;
  auto bigEndian = [](std::uint64_t x) {
    std::string out(8, '\0');
    for (int i = 7; i >= 0; --i, x >>= 8)
      out[static_cast<std::size_t>(i)] = static_cast<char>(x & 0xFF);
    return out;
  };
  if (isDateType(t) || isWideDateType(t)) {
    WideDateTime w;
    if (isDateType(t))
      w = wideFromTicks(inner.i);
    else if (t == SqlType::DateTimeOffset)
      w = wideFromText(inner.s).value_or(WideDateTime{});
    else
      w = wideFromInteger(inner.i, t);
    // Values with an offset compare in UTC.
    std::int64_t units =
        w.days * kUnitsPerDay + w.units - std::int64_t{w.offsetMinutes} * 600000000;
    return "6" + bigEndian(static_cast<std::uint64_t>(units) ^ (std::uint64_t{1} << 63));
  }
  if (t == SqlType::Real || t == SqlType::Float) {
    double d = inner.kind == Stored::Kind::Real ? inner.r : static_cast<double>(inner.i);
    if (d == 0) d = 0;  // -0 = 0
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
    return "5" + bigEndian(bits);
  }
  if (isExactType(t)) {
    // Sign, then 39 integer and 38 fraction digits (nines' complement when
    // negative): every exact value of any scale in one comparable form.
    __int128 v = inner.kind == Stored::Kind::Blob ? exact::fromBytes(inner.s) : inner.i;
    int scale = storageScale(held);
    bool negative = v < 0;
    if (negative) v = -v;
    __int128 unit = exact::pow10(scale);
    std::string digits = exact::toString(v / unit, 0);
    digits.insert(0, 39 - digits.size(), '0');
    std::string fraction = exact::toString(v % unit * exact::pow10(38 - scale), 0);
    fraction.insert(0, 38 - fraction.size(), '0');
    digits += fraction;
    if (negative)
      for (char& ch : digits) ch = static_cast<char>('9' - (ch - '0'));
    return (negative ? "40" : "41") + digits;
  }
  if (isCharType(t)) {
    // As the TSQL_CI collation compares: ICU's key ignoring case, trailing
    // spaces ignored.
    std::string_view s = inner.s;
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    std::string out = "3";
    collation::AppendSortKey(s, out, collation::Level::IgnoreCase);
    return out;
  }
  if (isBinaryType(t)) return "2" + inner.s;
  return "1" + inner.s;
}

void fnVariantKey(sqlite3_context* c, int, sqlite3_value** v) {
  guarded(c, [&] {
    TypeInfo held;
    Stored inner;
    if (!variantOfStored(arg(v, 0), held, inner)) return sqlite3_result_null(c);
    std::string key = variantKey(held, inner);
    sqlite3_result_blob64(c, key.data(), key.size(), SQLITE_TRANSIENT);
  });
}

void fnIntDiv(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  std::int64_t b = argInt(v, 1);
  if (b == 0) return (void)divisionByZero(c);
  std::int64_t a = argInt(v, 0);
  if (b == -1) return sqlite3_result_int64(c, -a);
  sqlite3_result_int64(c, a / b);
}

// t_rowcount(n, kind): a TOP (0), TOP PERCENT (1), OFFSET (2) or FETCH (3)
// row count, or the error SQL Server gives for a count out of its range.
void fnRowCount(sqlite3_context* c, int, sqlite3_value** v) {
  const std::int64_t kind = argInt(v, 1);
  if (isNull(v, 0)) {
    // A NULL count is as invalid as a negative one.
    return raise(c, SqlError(kind == 2 ? 10742 : kind == 3 ? 10744 : 1014, {}));
  }
  if (kind == 1) {
    double percent = sqlite3_value_double(v[0]);
    if (percent < 0 || percent > 100) return raise(c, SqlError(1031, {}));
    return sqlite3_result_double(c, percent);
  }
  std::int64_t n = argInt(v, 0);
  if (n < 0 || (kind == 3 && n == 0))
    return raise(c, SqlError(kind == 2 ? 10742 : kind == 3 ? 10744 : 1014, {}));
  sqlite3_result_int64(c, n);
}

// The integer type of `width` bytes: its name and range.
struct IntRange {
  const char* type;
  std::int64_t lo, hi;
};
IntRange intRange(std::int64_t width) {
  switch (width) {
    case 1:
      return {"tinyint", 0, 255};
    case 2:
      return {"smallint", INT16_MIN, INT16_MAX};
    case 4:
      return {"int", INT32_MIN, INT32_MAX};
    default:
      return {"bigint", INT64_MIN, INT64_MAX};
  }
}

void intOverflow(sqlite3_context* c, const IntRange& range) {
  const Settings& st = settingsOf(c);
  raise(c, SqlError(Message(makeMessage(8115, {"expression", range.type})),
                    st.arithAbort ? ErrorScope::Batch : ErrorScope::Statement));
}

// Integer +, - and * (operator 0, 1, 2) in the result type of `width` bytes:
// a result outside that type is error 8115, never a wider or float value.
void fnIntArith(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  std::int64_t a = argInt(v, 0), b = argInt(v, 1), r = 0;
  std::int64_t op = argInt(v, 2);
  IntRange range = intRange(argInt(v, 3));
  bool over = op == 0   ? __builtin_add_overflow(a, b, &r)
              : op == 1 ? __builtin_sub_overflow(a, b, &r)
                        : __builtin_mul_overflow(a, b, &r);
  if (over || r < range.lo || r > range.hi) return intOverflow(c, range);
  sqlite3_result_int64(c, r);
}

// A run of integer terms added and subtracted left to right: the total so
// far, the least and greatest partial totals, and whether a NULL ended it
// (after a NULL nothing is added or checked).
struct IntRun {
  bool null = false;
  bool any = false;  // lo and hi hold a partial total
  __int128 sum = 0, lo = 0, hi = 0;

  void partial(__int128 lowest, __int128 highest) {
    lo = any ? std::min(lo, lowest) : lowest;
    hi = any ? std::max(hi, highest) : highest;
    any = true;
  }
  void add(__int128 v) {
    if (null) return;
    sum += v;
    partial(sum, sum);
  }
  void add(const IntRun& r) {
    if (null) return;
    if (r.any) partial(sum + r.lo, sum + r.hi);
    sum += r.sum;
    null = r.null;
  }
};

// t_iadd(width, signs, term, ...): integer + and - over any number of terms,
// as SQL Server evaluates them one after the other: every partial total is
// checked against the result type of `width` bytes (error 8115). `signs` has
// one '+' or '-' per term. A BLOB term is the state of a run returned by a
// call with width 0, so that a long chain needs only a few nested calls.
void fnIntRun(sqlite3_context* c, int n, sqlite3_value** v) {
  std::int64_t width = argInt(v, 0);
  std::string signs = argText(v, 1);
  IntRun run;
  for (int i = 2; i < n; ++i) {
    bool minus = static_cast<std::size_t>(i - 2) < signs.size() && signs[i - 2] == '-';
    switch (sqlite3_value_type(v[i])) {
      case SQLITE_NULL:
        run.null = true;
        break;
      case SQLITE_BLOB: {
        IntRun part;
        if (sqlite3_value_bytes(v[i]) != static_cast<int>(sizeof part))
          return sqlite3_result_error(c, "t_iadd: bad partial run", -1);
        std::memcpy(&part, sqlite3_value_blob(v[i]), sizeof part);
        run.add(part);
        break;
      }
      default: {
        __int128 term = argInt(v, i);
        run.add(minus ? -term : term);
      }
    }
  }
  if (width == 0) return sqlite3_result_blob(c, &run, sizeof run, SQLITE_TRANSIENT);
  IntRange range = intRange(width);
  if (run.any && (run.lo < range.lo || run.hi > range.hi)) return intOverflow(c, range);
  if (run.null) return sqlite3_result_null(c);
  sqlite3_result_int64(c, static_cast<std::int64_t>(run.sum));
}

// Bitwise exclusive or, which SQLite has no operator for.
void fnIntXor(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  sqlite3_result_int64(c, argInt(v, 0) ^ argInt(v, 1));
}

void fnIntMod(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  std::int64_t b = argInt(v, 1);
  if (b == 0) return (void)divisionByZero(c);
  if (b == -1) return sqlite3_result_int64(c, 0);
  sqlite3_result_int64(c, argInt(v, 0) % b);
}

void fnFloatDiv(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  double b = sqlite3_value_double(v[1]);
  if (b == 0) return (void)divisionByZero(c);
  sqlite3_result_double(c, sqlite3_value_double(v[0]) / b);
}

// An exact operand: an INTEGER, or a BLOB for the wide decimals.
__int128 argExact(sqlite3_value** v, int i) {
  switch (sqlite3_value_type(v[i])) {
    case SQLITE_BLOB:
      return exact::fromBytes(
          std::string_view(static_cast<const char*>(sqlite3_value_blob(v[i])),
                           static_cast<std::size_t>(sqlite3_value_bytes(v[i]))));
    case SQLITE_FLOAT:
      return static_cast<__int128>(std::llround(sqlite3_value_double(v[i])));
    default:
      return sqlite3_value_int64(v[i]);
  }
}

[[noreturn]] void exactOverflow(const TypeInfo& t) {
  throw SqlError(8115, {"expression", isDecimalType(t.type) ? "numeric" : typeName(t.type)});
}

// An unscaled value of type `t` in its storage form; 8115 if it does not fit.
void resultExact(sqlite3_context* c, __int128 value, const TypeInfo& t) {
  if (!exact::fits(value, t)) exactOverflow(t);
  resultStored(c, storedExact(value, t));
}

// Exact arithmetic: t_xop(op, a, sa, b, sb, rs, type) with op 0..4 for
// + - * / %, a and b unscaled at scales sa and sb, the result at scale rs in
// its storage form for `type`. Decimal quotients are truncated to the
// result's scale (t_xop); t_xdiv, for money and AVG, rounds.
void exactArith(sqlite3_context* c, exact::Op op, sqlite3_value** v, bool truncate = false) {
  guarded(c, [&] {
    __int128 a = argExact(v, 0), b = argExact(v, 2);
    int sa = static_cast<int>(argInt(v, 1)), sb = static_cast<int>(argInt(v, 3));
    int rs = static_cast<int>(argInt(v, 4));
    TypeInfo to = decodeType(argInt(v, 5));
    if ((op == exact::Op::Divide || op == exact::Op::Modulo) && b == 0)
      return (void)divisionByZero(c);
    __int128 r;
    if (!exact::apply(op, a, sa, b, sb, rs, r, truncate)) exactOverflow(to);
    resultExact(c, r, to);
  });
}

void fnExactOp(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1) || isNull(v, 3)) return sqlite3_result_null(c);
  exactArith(c, static_cast<exact::Op>(argInt(v, 0)), v + 1, true);
}

void fnExactDiv(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 2)) return sqlite3_result_null(c);
  exactArith(c, exact::Op::Divide, v);
}

void fnExactMul(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 2)) return sqlite3_result_null(c);
  exactArith(c, exact::Op::Multiply, v);
}

// t_xcmp(a, sa, b, sb): -1, 0 or 1 for exact values of different scales.
void fnExactCompare(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 2)) return sqlite3_result_null(c);
  sqlite3_result_int(c, exact::compare(argExact(v, 0), static_cast<int>(argInt(v, 1)),
                                       argExact(v, 2), static_cast<int>(argInt(v, 3))));
}

// t_xnarrow(x, from, to): an exact value brought to scale `to` as an
// INTEGER, or as the nearest REAL when it is past 64 bits.
void fnExactNarrow(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  __int128 x = argExact(v, 0), r;
  int from = static_cast<int>(argInt(v, 1)), to = static_cast<int>(argInt(v, 2));
  if (exact::rescale(x, from, to, r) && r >= INT64_MIN && r <= INT64_MAX)
    return sqlite3_result_int64(c, static_cast<std::int64_t>(r));
  sqlite3_result_double(c, x < 0 ? -1e300 : 1e300);
}

// t_xunary(op, x, type): 0 negates, 1 is ABS, 2 is SIGN (at the scale of type).
void fnExactUnary(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1)) return sqlite3_result_null(c);
  guarded(c, [&] {
    __int128 x = argExact(v, 1);
    TypeInfo t = decodeType(argInt(v, 2));
    switch (argInt(v, 0)) {
      case 0:
        return resultExact(c, -x, t);
      case 1:
        return resultExact(c, x < 0 ? -x : x, t);
      default:
        return resultExact(c, ((x > 0) - (x < 0)) * exact::pow10(storageScale(t)), t);
    }
  });
}

// SUM over exact values of one scale, held in 128 bits: t_xsum(x). SQLite
// aligns aggregate state to 8 bytes only, so the total is kept as bytes. As
// a window function it also takes rows leaving the frame back out.
struct ExactSum {
  unsigned char total[sizeof(__int128)];
  std::int64_t rows;  // values summed (not NULL)
  bool overflowed;
};

__int128 sumTotal(const ExactSum& acc) {
  __int128 v;
  std::memcpy(&v, acc.total, sizeof v);
  return v;
}

void exactSumStep(sqlite3_context* c, int, sqlite3_value** v) {
  auto* acc = static_cast<ExactSum*>(sqlite3_aggregate_context(c, sizeof(ExactSum)));
  if (!acc || isNull(v, 0)) return;
  __int128 total = sumTotal(*acc);
  if (__builtin_add_overflow(total, argExact(v, 0), &total)) acc->overflowed = true;
  std::memcpy(acc->total, &total, sizeof total);
  ++acc->rows;
}

void exactSumInverse(sqlite3_context* c, int, sqlite3_value** v) {
  auto* acc = static_cast<ExactSum*>(sqlite3_aggregate_context(c, sizeof(ExactSum)));
  if (!acc || isNull(v, 0)) return;
  __int128 total = sumTotal(*acc);
  if (__builtin_sub_overflow(total, argExact(v, 0), &total)) acc->overflowed = true;
  std::memcpy(acc->total, &total, sizeof total);
  --acc->rows;
}

void exactSumFinal(sqlite3_context* c) {
  auto* acc = static_cast<ExactSum*>(sqlite3_aggregate_context(c, 0));
  if (!acc || acc->rows == 0) return sqlite3_result_null(c);
  guarded(c, [&] {
    TypeInfo t = makeType(SqlType::Decimal, 0, 38, 0);
    __int128 total = sumTotal(*acc);
    if (acc->overflowed || !exact::fits(total, t)) exactOverflow(t);
    resultStored(c, Stored::blob(exact::toBytes(total)));
  });
}

// t_string_agg(value, separator, order, limit, key ...): STRING_AGG. The
// values are joined in the order of their keys (`order` has a letter a or d
// per key), NULLs left out; NULL when there are none. Past `limit`
// characters (0: none) the result is error 9829.
struct StringAggRow {
  struct Free {
    void operator()(sqlite3_value* v) const { sqlite3_value_free(v); }
  };
  std::string value, separator;
  std::vector<std::unique_ptr<sqlite3_value, Free>> keys;
};
struct StringAgg {
  std::vector<StringAggRow> rows;
  std::string order;
  std::int64_t limit = 0;
};

// SQLite's order of values: NULL, numbers, text (as TSQL_CI orders it), blobs.
int compareKeys(sqlite3_value* a, sqlite3_value* b) {
  auto rank = [](sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
      case SQLITE_NULL:
        return 0;
      case SQLITE_INTEGER:
      case SQLITE_FLOAT:
        return 1;
      case SQLITE_TEXT:
        return 2;
      default:
        return 3;
    }
  };
  int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  switch (ra) {
    case 1:
      if (sqlite3_value_type(a) == SQLITE_INTEGER && sqlite3_value_type(b) == SQLITE_INTEGER) {
        auto x = sqlite3_value_int64(a), y = sqlite3_value_int64(b);
        return (x > y) - (x < y);
      } else {
        double x = sqlite3_value_double(a), y = sqlite3_value_double(b);
        return (x > y) - (x < y);
      }
    case 2: {
      std::string_view x(reinterpret_cast<const char*>(sqlite3_value_text(a)),
                         sqlite3_value_bytes(a));
      std::string_view y(reinterpret_cast<const char*>(sqlite3_value_text(b)),
                         sqlite3_value_bytes(b));
      return compareCaseInsensitive(x, y);
    }
    case 3: {
      std::string_view x(static_cast<const char*>(sqlite3_value_blob(a)), sqlite3_value_bytes(a));
      std::string_view y(static_cast<const char*>(sqlite3_value_blob(b)), sqlite3_value_bytes(b));
      return x.compare(y);
    }
    default:
      return 0;
  }
}

void stringAggStep(sqlite3_context* c, int n, sqlite3_value** v) {
  auto** slot = static_cast<StringAgg**>(sqlite3_aggregate_context(c, sizeof(StringAgg*)));
  if (!slot) return sqlite3_result_error_nomem(c);
  if (!*slot) *slot = new StringAgg;
  StringAgg& acc = **slot;
  acc.order = argText(v, 2);
  acc.limit = argInt(v, 3);
  if (isNull(v, 0)) return;
  StringAggRow row{argText(v, 0), isNull(v, 1) ? std::string() : argText(v, 1), {}};
  for (int i = 4; i < n; ++i) row.keys.emplace_back(sqlite3_value_dup(v[i]));
  acc.rows.push_back(std::move(row));
}

void stringAggFinal(sqlite3_context* c) {
  auto** slot = static_cast<StringAgg**>(sqlite3_aggregate_context(c, 0));
  std::unique_ptr<StringAgg> acc(slot ? *slot : nullptr);
  if (slot) *slot = nullptr;
  if (!acc || acc->rows.empty()) return sqlite3_result_null(c);
  std::stable_sort(acc->rows.begin(), acc->rows.end(),
                   [&](const StringAggRow& x, const StringAggRow& y) {
                     for (std::size_t k = 0; k < x.keys.size() && k < y.keys.size(); ++k) {
                       int r = compareKeys(x.keys[k].get(), y.keys[k].get());
                       if (k < acc->order.size() && acc->order[k] == 'd') r = -r;
                       if (r != 0) return r < 0;
                     }
                     return false;
                   });
  std::string out = acc->rows[0].value;
  for (std::size_t i = 1; i < acc->rows.size(); ++i)
    out += acc->rows[i].separator + acc->rows[i].value;
  if (acc->limit > 0 && static_cast<std::int64_t>(charStarts(out).size()) > acc->limit)
    return raise(c, SqlError(9829, {}));
  resultText(c, out);
}

// t_concat(a, b, ...): + on strings or binary values, any number of them (a
// long chain groups into few calls). A NULL counts as empty unless
// CONCAT_NULL_YIELDS_NULL is on.
void fnConcat(sqlite3_context* c, int n, sqlite3_value** v) {
  bool blob = false;
  for (int i = 0; i < n; ++i) {
    if (isNull(v, i) && settingsOf(c).concatNullYieldsNull) return sqlite3_result_null(c);
    blob = blob || sqlite3_value_type(v[i]) == SQLITE_BLOB;
  }
  std::string out;
  for (int i = 0; i < n; ++i) out += blob ? arg(v, i).s : argText(v, i);
  if (blob) return sqlite3_result_blob64(c, out.data(), out.size(), SQLITE_TRANSIENT);
  resultText(c, out);
}

void fnLike(sqlite3_context* c, int n, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  int escape = -1;
  if (n == 3 && !isNull(v, 2)) {
    std::string e = argText(v, 2);
    if (!e.empty()) escape = static_cast<unsigned char>(e[0]);
  }
  sqlite3_result_int(c, likeMatch(argText(v, 0), argText(v, 1), escape));
}

std::string rtrimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void fnLen(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB)
    return sqlite3_result_int64(c, sqlite3_value_bytes(v[0]));
  sqlite3_result_int64(c, static_cast<std::int64_t>(charStarts(rtrimmed(argText(v, 0))).size()));
}

void fnDataLength(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  // 1: UCS-2, two bytes a unit; 2: UTF-8 as it is; 0: a byte a character;
  // a double-byte code page's number: a byte or two a character.
  const std::int64_t encoding = argInt(v, 1);
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB || encoding == 2)
    return sqlite3_result_int64(c, sqlite3_value_bytes(v[0]));
  std::string t = argText(v, 0);
  if (encoding > 2)
    return sqlite3_result_int64(
        c, static_cast<std::int64_t>(codePageLength(t, static_cast<int>(encoding))));
  std::int64_t chars = static_cast<std::int64_t>(charStarts(t).size());
  sqlite3_result_int64(c, encoding == 1 ? chars * 2 : chars);
}

void fnSubstring(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1) || isNull(v, 2)) return sqlite3_result_null(c);
  std::int64_t start = argInt(v, 1), len = argInt(v, 2);
  if (len < 0) {
    sqlite3_result_error(c, "Invalid length parameter passed to the substring function.", -1);
    return;
  }
  // Positions before 1 eat into the length, as SQL Server counts them.
  std::int64_t from = start - 1;
  std::int64_t count = len;
  if (from < 0) {
    count += from;
    from = 0;
  }
  if (count < 0) count = 0;
  if (sqlite3_value_type(v[0]) == SQLITE_BLOB) {
    std::string b = arg(v, 0).s;
    std::string out = from < static_cast<std::int64_t>(b.size()) ? b.substr(from, count) : "";
    return sqlite3_result_blob64(c, out.data(), out.size(), SQLITE_TRANSIENT);
  }
  resultText(c, substrChars(argText(v, 0), from, count));
}

void fnLeft(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  resultText(c, substrChars(argText(v, 0), 0, std::max<std::int64_t>(0, argInt(v, 1))));
}

void fnRight(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  std::string s = argText(v, 0);
  std::int64_t n = static_cast<std::int64_t>(charStarts(s).size());
  std::int64_t k = std::clamp<std::int64_t>(argInt(v, 1), 0, n);
  resultText(c, substrChars(s, n - k, k));
}

void fnLtrim(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  std::string s = argText(v, 0);
  std::size_t i = s.find_first_not_of(' ');
  resultText(c, i == std::string::npos ? std::string() : s.substr(i));
}

void fnRtrim(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  resultText(c, rtrimmed(argText(v, 0)));
}

// Finds `needle` in `hay` from character `from` on, ignoring case.
std::size_t findFolded(const std::u32string& hay, const std::u32string& needle, std::size_t from) {
  if (needle.empty()) return std::u32string::npos;
  for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() && foldCase(hay[i + k]) == foldCase(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::u32string::npos;
}

void fnCharIndex(sqlite3_context* c, int n, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  std::u32string needle = decodeUtf8(argText(v, 0)), hay = decodeUtf8(argText(v, 1));
  std::int64_t start = n == 3 && !isNull(v, 2) ? argInt(v, 2) : 1;
  std::size_t from = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
  std::size_t pos = findFolded(hay, needle, from);
  sqlite3_result_int64(c, pos == std::u32string::npos ? 0 : static_cast<std::int64_t>(pos + 1));
}

void fnReplace(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1) || isNull(v, 2)) return sqlite3_result_null(c);
  std::u32string s = decodeUtf8(argText(v, 0)), find = decodeUtf8(argText(v, 1));
  std::u32string repl = decodeUtf8(argText(v, 2));
  if (find.empty()) return resultText(c, argText(v, 0));
  std::u32string out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t hit = findFolded(s, find, pos);
    if (hit == std::u32string::npos) break;
    out += s.substr(pos, hit - pos);
    out += repl;
    pos = hit + find.size();
  }
  out += s.substr(pos);
  resultText(c, encodeUtf8(out));
}

void fnStr(sqlite3_context* c, int n, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  double x = sqlite3_value_double(v[0]);
  std::int64_t len = n >= 2 ? argInt(v, 1) : 10;
  std::int64_t dec = n >= 3 ? argInt(v, 2) : 0;
  if (len <= 0 || len > 8000) return sqlite3_result_null(c);
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(std::clamp<std::int64_t>(dec, 0, 16)), x);
  std::string s = buf;
  if (static_cast<std::int64_t>(s.size()) > len) {
    // Fewer decimals if that fits, otherwise asterisks.
    std::size_t dot = s.find('.');
    std::string whole = dot == std::string::npos ? s : s.substr(0, dot);
    if (static_cast<std::int64_t>(whole.size()) > len) {
      s.assign(static_cast<std::size_t>(len), '*');
    } else {
      int keep = static_cast<int>(len - static_cast<std::int64_t>(whole.size()) - 1);
      std::snprintf(buf, sizeof buf, "%.*f", std::max(0, keep), x);
      s = buf;
      if (static_cast<std::int64_t>(s.size()) > len) s.assign(static_cast<std::size_t>(len), '*');
    }
  }
  if (static_cast<std::int64_t>(s.size()) < len)
    s.insert(0, static_cast<std::size_t>(len) - s.size(), ' ');
  resultText(c, s);
}

void fnSpace(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || argInt(v, 0) < 0) return sqlite3_result_null(c);
  resultText(
      c, std::string(static_cast<std::size_t>(std::min<std::int64_t>(argInt(v, 0), 8000)), ' '));
}

void fnReplicate(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1) || argInt(v, 1) < 0) return sqlite3_result_null(c);
  std::string s = argText(v, 0), out;
  std::int64_t n = argInt(v, 1);
  auto limit = static_cast<std::size_t>(argInt(v, 2));  // characters
  std::size_t chars = 0, each = 0;
  for (unsigned char ch : s)
    if ((ch & 0xC0) != 0x80) ++each;
  if (each == 0) return resultText(c, out);
  for (std::int64_t i = 0; i < n && chars < limit; ++i, chars += each) out += s;
  if (chars > limit) out.resize(charStarts(out)[limit]);
  resultText(c, out);
}

void fnReverse(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  std::string s = argText(v, 0), out;
  auto starts = charStarts(s);
  for (std::size_t i = starts.size(); i-- > 0;) {
    std::size_t end = i + 1 < starts.size() ? starts[i + 1] : s.size();
    out += s.substr(starts[i], end - starts[i]);
  }
  resultText(c, out);
}

// t_translate(s, from, to): each character of `from` in s becomes the
// one at its place in `to` (the first place when it repeats).
void fnTranslate(sqlite3_context* c, int, sqlite3_value** v) {
  guarded(c, [&] {
    if (isNull(v, 0) || isNull(v, 1) || isNull(v, 2)) return sqlite3_result_null(c);
    std::u32string s = decodeUtf8(argText(v, 0));
    std::u32string from = decodeUtf8(argText(v, 1)), to = decodeUtf8(argText(v, 2));
    if (from.size() != to.size()) throw SqlError(9828, {});
    for (char32_t& ch : s) {
      std::size_t at = from.find(ch);
      if (at != std::u32string::npos) ch = to[at];
    }
    resultText(c, encodeUtf8(s));
  });
}

void fnStuff(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1) || isNull(v, 2)) return sqlite3_result_null(c);
  std::string s = argText(v, 0);
  std::int64_t start = argInt(v, 1), len = argInt(v, 2);
  std::int64_t n = static_cast<std::int64_t>(charStarts(s).size());
  if (start < 1 || start > n || len < 0) return sqlite3_result_null(c);
  std::string ins = isNull(v, 3) ? std::string() : argText(v, 3);
  resultText(c, substrChars(s, 0, start - 1) + ins + substrChars(s, start - 1 + len, n));
}

void fnAscii(sqlite3_context* c, int, sqlite3_value** v) {
  std::string s = argText(v, 0);
  if (isNull(v, 0) || s.empty()) return sqlite3_result_null(c);
  // The code-page byte of the first character (ASCII('é') is 233).
  std::string first = utf8ToCp1252(s.substr(0, 4));
  sqlite3_result_int(c, static_cast<unsigned char>(first[0]));
}

std::string utf8Of(std::uint32_t cp) {
  std::string out;
  appendCodePointUtf8(out, cp);
  return out;
}

void fnChar(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  std::int64_t n = argInt(v, 0);
  if (n < 0 || n > 255) return sqlite3_result_null(c);
  // A byte of code page 1252 (CHAR(128) is the euro sign).
  resultText(c, cp1252ToUtf8(std::string(1, static_cast<char>(n))));
}

void fnUnicode(sqlite3_context* c, int, sqlite3_value** v) {
  std::string s = argText(v, 0);
  if (isNull(v, 0) || s.empty()) return sqlite3_result_null(c);
  unsigned char b = static_cast<unsigned char>(s[0]);
  std::uint32_t cp = b;
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (extra) cp = b & (0x3F >> extra);
  for (int i = 1; i <= extra && i < static_cast<int>(s.size()); ++i)
    cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  sqlite3_result_int64(c, cp);
}

void fnNChar(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || argInt(v, 0) < 0 || argInt(v, 0) > 0x10FFFF) return sqlite3_result_null(c);
  resultText(c, utf8Of(static_cast<std::uint32_t>(argInt(v, 0))));
}

// ROUND(x, n [, truncate]) on an exact value of scale s:
// t_xround(x, s, n, trunc, type), the result in x's type.
void fnExactRound(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 2)) return sqlite3_result_null(c);
  guarded(c, [&] {
    __int128 x = argExact(v, 0);
    int s = static_cast<int>(argInt(v, 1));
    std::int64_t n = argInt(v, 2);
    bool truncate = argInt(v, 3) != 0;
    TypeInfo t = decodeType(argInt(v, 4));
    std::int64_t drop = s - n;
    if (drop <= 0) return resultExact(c, x, t);
    if (drop > 38) return resultExact(c, 0, t);
    __int128 q, out;
    exact::rescale(x, static_cast<int>(drop), 0, q, truncate);
    if (!exact::rescale(q, 0, static_cast<int>(drop), out)) exactOverflow(t);
    resultExact(c, out, t);
  });
}

void fnFloatRound(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0) || isNull(v, 1)) return sqlite3_result_null(c);
  double x = sqlite3_value_double(v[0]);
  std::int64_t n = argInt(v, 1);
  bool truncate = argInt(v, 2) != 0;
  double p = std::pow(10.0, static_cast<double>(n));
  double y = x * p;
  y = truncate ? std::trunc(y) : std::round(y);
  sqlite3_result_double(c, y / p);
}

// FLOOR and CEILING of an exact value with scale s: t_xfloor(x, s, ceiling,
// type), the whole number in the storage form of `type`.
void fnExactFloor(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  guarded(c, [&] {
    __int128 x = argExact(v, 0), p = exact::pow10(static_cast<int>(argInt(v, 1)));
    bool ceiling = argInt(v, 2) != 0;
    __int128 q = x / p;
    if (x % p != 0) {
      if (ceiling && x > 0) ++q;
      if (!ceiling && x < 0) --q;
    }
    resultExact(c, q * exact::pow10(storageScale(decodeType(argInt(v, 3)))),
                decodeType(argInt(v, 3)));
  });
}

std::optional<int> partArg(sqlite3_context* c, sqlite3_value** v) {
  auto part = normalizeDatePart(argText(v, 0));
  if (!part) {
    std::string text = encodeErrorText(makeMessage(155, {argText(v, 0), "datepart"}), true);
    sqlite3_result_error(c, text.c_str(), -1);
  }
  return part;
}

void fnDateAdd(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1) || isNull(v, 2)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  auto r = dateAdd(*part, argInt(v, 1), argInt(v, 2));
  if (!r || !inDateTimeRange(*r)) {
    std::string text = encodeErrorText(makeMessage(517, {"datetime"}), true);
    return sqlite3_result_error(c, text.c_str(), -1);
  }
  bool small = argInt(v, 3) != 0;
  sqlite3_result_int64(c, small ? toSmallDateTime(*r) : *r);
}

void fnDateDiff(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1) || isNull(v, 2)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  sqlite3_result_int64(c, dateDiff(*part, argInt(v, 1), argInt(v, 2)));
}

void fnDatePart(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  sqlite3_result_int64(c, datePart(*part, argInt(v, 1), settingsOf(c).dateFirst));
}

void fnDateName(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  resultText(c, dateName(*part, argInt(v, 1), settingsOf(c).dateFirst));
}

// The date and time types: t_wdatepart(part, value, type),
// t_wdatename(part, value, type), t_wdateadd(part, n, value, type) and
// t_wdatediff(part, a, type a, b, type b); `type` decodes the storage form.
WideDateTime argWide(sqlite3_value** v, int i, const TypeInfo& type) {
  if (type.type == SqlType::DateTimeOffset)
    return wideFromText(argText(v, i)).value_or(WideDateTime{});
  return wideFromInteger(argInt(v, i), type.type);
}

void fnWideDatePart(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  WideDateTime w = argWide(v, 1, decodeType(argInt(v, 2)));
  sqlite3_result_int64(c, widePart(*part, w, settingsOf(c).dateFirst));
}

void fnWideDateName(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  WideDateTime w = argWide(v, 1, decodeType(argInt(v, 2)));
  resultText(c, wideName(*part, w, settingsOf(c).dateFirst));
}

void fnWideDateAdd(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1) || isNull(v, 2)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  TypeInfo type = decodeType(argInt(v, 3));
  auto r = wideAdd(*part, argInt(v, 1), argWide(v, 2, type), type.type);
  if (r) r = fitWide(*r, type);
  if (!r) {
    std::string text = encodeErrorText(makeMessage(517, {typeName(type.type)}), true);
    return sqlite3_result_error(c, text.c_str(), -1);
  }
  if (type.type == SqlType::DateTimeOffset) return resultText(c, storedWideText(*r, type));
  sqlite3_result_int64(c, integerFromWide(*r, type.type));
}

void fnWideDateDiff(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 1) || isNull(v, 3)) return sqlite3_result_null(c);
  auto part = partArg(c, v);
  if (!part) return;
  auto r = wideDiff(*part, argWide(v, 1, decodeType(argInt(v, 2))),
                    argWide(v, 3, decodeType(argInt(v, 4))));
  if (!r) {
    std::string text = encodeErrorText(makeMessage(535, {}), true);
    return sqlite3_result_error(c, text.c_str(), -1);
  }
  sqlite3_result_int64(c, *r);
}

void fnNow(sqlite3_context* c, int, sqlite3_value** v) {
  sqlite3_result_int64(c, nowTicks(argInt(v, 0) != 0));
}

// 0: local datetime2, 1: UTC datetime2, 2: local datetimeoffset.
void fnNow2(sqlite3_context* c, int, sqlite3_value** v) {
  std::int64_t kind = argInt(v, 0);
  WideDateTime now = nowWide(kind == 1);
  if (kind == 2) {
    resultText(c, storedWideText(now, makeType(SqlType::DateTimeOffset, 0, 0, 7)));
  } else {
    sqlite3_result_int64(c, integerFromWide(now, SqlType::DateTime2));
  }
}

std::mt19937_64& rng() {
  thread_local std::mt19937_64 gen{std::random_device{}()};
  return gen;
}

void fnNewId(sqlite3_context* c, int, sqlite3_value**) {
  GuidValue g;
  for (auto& b : g.bytes) b = static_cast<std::uint8_t>(rng()());
  g.bytes[7] = static_cast<std::uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4
  g.bytes[8] = static_cast<std::uint8_t>((g.bytes[8] & 0x3F) | 0x80);
  resultText(c, guidToText(g));
}

void fnRand(sqlite3_context* c, int n, sqlite3_value** v) {
  if (n == 1 && !isNull(v, 0)) rng().seed(static_cast<std::uint64_t>(argInt(v, 0)));
  sqlite3_result_double(c, std::uniform_real_distribution<double>(0, 1)(rng()));
}

void fnIsNumeric(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_int(c, 0);
  if (sqlite3_value_type(v[0]) != SQLITE_TEXT) return sqlite3_result_int(c, 1);
  std::string t = argText(v, 0);
  Settings st;
  try {
    convertValue(Stored::text(t), makeType(SqlType::VarChar, 8000),
                 makeType(SqlType::Money, 0, 19, 4), 0, st);
    return sqlite3_result_int(c, 1);
  } catch (const SqlError&) {
  }
  try {
    convertValue(Stored::text(t), makeType(SqlType::VarChar, 8000), makeType(SqlType::Float), 0,
                 st);
    return sqlite3_result_int(c, 1);
  } catch (const SqlError&) {
  }
  sqlite3_result_int(c, 0);
}

void fnIsDate(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_int(c, 0);
  if (sqlite3_value_type(v[0]) != SQLITE_TEXT) return sqlite3_result_int(c, 0);
  auto t = parseDateTime(argText(v, 0), settingsOf(c).dateOrder);
  sqlite3_result_int(c, t && inDateTimeRange(*t) ? 1 : 0);
}

// A text pointer: object id (4), column id (2), two zero bytes, row id (8).
void fnTextPtr(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 2)) return sqlite3_result_null(c);
  std::string p(16, '\0');
  std::uint32_t obj = static_cast<std::uint32_t>(argInt(v, 0));
  std::uint16_t col = static_cast<std::uint16_t>(argInt(v, 1));
  std::uint64_t row = static_cast<std::uint64_t>(argInt(v, 2));
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(obj >> (8 * i));
  for (int i = 0; i < 2; ++i) p[4 + i] = static_cast<char>(col >> (8 * i));
  for (int i = 0; i < 8; ++i) p[8 + i] = static_cast<char>(row >> (8 * i));
  sqlite3_result_blob(c, p.data(), 16, SQLITE_TRANSIENT);
}

// t_error(number, arg...) raises a SQL Server error from generated SQL.
void fnError(sqlite3_context* c, int n, sqlite3_value** v) {
  std::vector<std::string> args;
  for (int i = 1; i < n; ++i) args.push_back(argText(v, i));
  std::vector<std::string_view> views(args.begin(), args.end());
  Message m;
  switch (views.size()) {
    case 0:
      m = makeMessage(static_cast<std::int32_t>(argInt(v, 0)), {});
      break;
    case 1:
      m = makeMessage(static_cast<std::int32_t>(argInt(v, 0)), {views[0]});
      break;
    default:
      m = makeMessage(static_cast<std::int32_t>(argInt(v, 0)), {views[0], views[1]});
      break;
  }
  std::string text = encodeErrorText(m, errorDef(m.number).scope == ErrorScope::Batch);
  sqlite3_result_error(c, text.c_str(), -1);
}

std::string encodeUtf8(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) out += utf8Of(static_cast<std::uint32_t>(c));
  return out;
}

void fnUpper(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  std::u32string s = decodeUtf8(argText(v, 0));
  for (char32_t& ch : s) ch = upperCase(ch);
  resultText(c, encodeUtf8(s));
}

void fnLower(sqlite3_context* c, int, sqlite3_value** v) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  std::u32string s = decodeUtf8(argText(v, 0));
  for (char32_t& ch : s) ch = foldCase(ch);
  resultText(c, encodeUtf8(s));
}

// Parts of a multi-part name: t_objname('db.dbo.[t]') is 't', t_objdb the
// database ('tempdb..#t' -> 'tempdb') and t_objschema the schema, empty
// when the name has none.
void namePart(sqlite3_context* c, sqlite3_value** v, std::size_t fromEnd) {
  if (isNull(v, 0)) return sqlite3_result_null(c);
  const Name parts = splitName(argText(v, 0));
  resultText(c, parts.size() > fromEnd ? parts[parts.size() - 1 - fromEnd] : std::string());
}
void fnObjName(sqlite3_context* c, int, sqlite3_value** v) {
  namePart(c, v, 0);
}
void fnObjSchema(sqlite3_context* c, int, sqlite3_value** v) {
  namePart(c, v, 1);
}
void fnObjDb(sqlite3_context* c, int, sqlite3_value** v) {
  namePart(c, v, 2);
}

int collateCi(void*, int n1, const void* p1, int n2, const void* p2) {
  return compareCaseInsensitive(
      std::string_view(static_cast<const char*>(p1), static_cast<std::size_t>(n1)),
      std::string_view(static_cast<const char*>(p2), static_cast<std::size_t>(n2)));
}

struct FunctionDef {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

constexpr FunctionDef kFunctions[] = {
    {"t_cast", 5, fnCast, true},
    {"t_trim", 1, fnTrim, true},
    {"t_variant_property", 2, fnVariantProperty, true},
    {"t_variant_key", 1, fnVariantKey, true},
    {"t_idiv", 2, fnIntDiv, true},
    {"t_rowcount", 2, fnRowCount, true},
    {"t_imod", 2, fnIntMod, true},
    {"t_iarith", 4, fnIntArith, true},
    {"t_iadd", -1, fnIntRun, true},
    {"t_ixor", 2, fnIntXor, true},
    {"t_fdiv", 2, fnFloatDiv, true},
    {"t_xdiv", 6, fnExactDiv, true},
    {"t_xmul", 6, fnExactMul, true},
    {"t_xop", 7, fnExactOp, true},
    {"t_xcmp", 4, fnExactCompare, true},
    {"t_xunary", 3, fnExactUnary, true},
    {"t_xnarrow", 3, fnExactNarrow, true},
    {"t_concat", -1, fnConcat, true},
    {"like", 2, fnLike, true},
    {"like", 3, fnLike, true},
    {"t_len", 1, fnLen, true},
    {"t_datalength", 2, fnDataLength, true},
    {"t_substring", 3, fnSubstring, true},
    {"t_left", 2, fnLeft, true},
    {"t_right", 2, fnRight, true},
    {"t_ltrim", 1, fnLtrim, true},
    {"t_rtrim", 1, fnRtrim, true},
    {"t_charindex", 2, fnCharIndex, true},
    {"t_charindex", 3, fnCharIndex, true},
    {"t_replace", 3, fnReplace, true},
    {"t_str", 1, fnStr, true},
    {"t_str", 2, fnStr, true},
    {"t_str", 3, fnStr, true},
    {"t_space", 1, fnSpace, true},
    {"t_replicate", 3, fnReplicate, true},
    {"t_reverse", 1, fnReverse, true},
    {"t_translate", 3, fnTranslate, true},
    {"t_trycast", 4, fnTryCast, true},
    {"t_stuff", 4, fnStuff, true},
    {"t_ascii", 1, fnAscii, true},
    {"t_char", 1, fnChar, true},
    {"t_unicode", 1, fnUnicode, true},
    {"t_nchar", 1, fnNChar, true},
    {"t_xround", 5, fnExactRound, true},
    {"t_fround", 3, fnFloatRound, true},
    {"t_xfloor", 4, fnExactFloor, true},
    {"t_dateadd", 4, fnDateAdd, true},
    {"t_datediff", 3, fnDateDiff, true},
    {"t_datepart", 2, fnDatePart, true},
    {"t_datename", 2, fnDateName, true},
    {"t_wdatepart", 3, fnWideDatePart, true},
    {"t_wdatename", 3, fnWideDateName, true},
    {"t_wdateadd", 4, fnWideDateAdd, true},
    {"t_wdatediff", 5, fnWideDateDiff, true},
    {"t_now", 1, fnNow, false},
    {"t_now2", 1, fnNow2, false},
    {"t_newid", 0, fnNewId, false},
    {"t_rand", 0, fnRand, false},
    {"t_rand", 1, fnRand, false},
    {"t_isnumeric", 1, fnIsNumeric, true},
    {"t_isdate", 1, fnIsDate, true},
    {"t_textptr", 3, fnTextPtr, true},
    {"t_error", -1, fnError, false},
    {"t_objname", 1, fnObjName, true},
    {"t_objdb", 1, fnObjDb, true},
    {"t_objschema", 1, fnObjSchema, true},
    {"t_upper", 1, fnUpper, true},
    {"t_lower", 1, fnLower, true},
};

}  // namespace

int compareCaseInsensitive(std::string_view a, std::string_view b) {
  while (!a.empty() && a.back() == ' ') a.remove_suffix(1);
  while (!b.empty() && b.back() == ' ') b.remove_suffix(1);
  // Texts of printable ASCII take the library's byte loop, others ICU.
  return collation::Compare(a, b, collation::Level::IgnoreCase);
}

bool likeMatch(std::string_view pattern, std::string_view text, int escape,
               const CharacterOrder* order, bool exact) {
  // Under another collation than the default, characters match as it
  // compares them (a case-sensitive one tells 'a' from 'A').
  const auto same = [&](char32_t a, char32_t b) {
    if (exact) return a == b;
    if (!order) return foldCase(a) == foldCase(b);
    return a == b ||
           (*order)(encodeUtf8(std::u32string(1, a)), encodeUtf8(std::u32string(1, b))) == 0;
  };
  const auto compare = [&](const std::string& a, const std::string& b) {
    if (exact) return a.compare(b);
    return order ? (*order)(a, b) : compareCaseInsensitive(a, b);
  };
  // Works on characters, so that _ matches one character however encoded.
  std::u32string p = decodeUtf8(pattern), t = decodeUtf8(text);
  std::size_t pi = 0, ti = 0;
  std::size_t starP = std::u32string::npos, starT = 0;
  auto matchOne = [&](std::size_t& pj, char32_t ch) -> bool {
    char32_t pc = p[pj];
    if (escape >= 0 && pc == static_cast<char32_t>(escape) && pj + 1 < p.size()) {
      pj += 2;
      return same(p[pj - 1], ch);
    }
    if (pc == U'_') {
      ++pj;
      return true;
    }
    if (pc == U'[') {
      std::size_t close = p.find(U']', pj + 2);
      if (close != std::u32string::npos) {
        std::u32string set = p.substr(pj + 1, close - pj - 1);
        pj = close + 1;
        bool negate = !set.empty() && set[0] == U'^';
        if (negate) set.erase(0, 1);
        bool hit = false;
        for (std::size_t k = 0; k < set.size(); ++k) {
          if (k + 2 < set.size() && set[k + 1] == U'-') {
            // A range runs in the collation's order: [a-z] takes é.
            const std::string at = encodeUtf8(std::u32string(1, ch));
            if (compare(encodeUtf8(std::u32string(1, set[k])), at) <= 0 &&
                compare(at, encodeUtf8(std::u32string(1, set[k + 2]))) <= 0)
              hit = true;
            k += 2;
          } else if (same(set[k], ch)) {
            hit = true;
          }
        }
        return hit != negate;
      }
    }
    ++pj;
    return same(pc, ch);
  };
  while (ti < t.size()) {
    if (pi < p.size() && p[pi] == U'%' && escape != '%') {
      starP = ++pi;
      starT = ti;
      continue;
    }
    if (pi < p.size()) {
      std::size_t pj = pi;
      if (matchOne(pj, t[ti])) {
        pi = pj;
        ++ti;
        continue;
      }
    }
    if (starP == std::u32string::npos) return false;
    pi = starP;
    ti = ++starT;
  }
  while (pi < p.size() && p[pi] == U'%') ++pi;
  return pi == p.size();
}

// A file keeps in PRAGMA user_version the collation version its TSQL_CI
// indexes were built under; files of servers that compared by case-folded
// code points hold 0.
void markCollationVersion(sqlite3* db) {
  execSql(db, "PRAGMA user_version = " + std::to_string(collation::Version()));
}

void reindexIfCollationChanged(sqlite3* db) {
  std::int64_t stored = 0;
  querySql(db, "PRAGMA user_version", {},
           [&](sqlite3_stmt* s) { stored = sqlite3_column_int64(s, 0); });
  if (stored == collation::Version()) return;
  execSql(db, "BEGIN IMMEDIATE");
  try {
    // Every index: the named collations come from the same ICU.
    execSql(db, "REINDEX");
    markCollationVersion(db);
    execSql(db, "COMMIT");
  } catch (...) {
    // Texts a unique index held apart may be the same text now; the file
    // keeps its old version and is tried again at the next start.
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void registerFunctions(sqlite3* db, const Settings* settings) {
  for (const auto& f : kFunctions) {
    int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function_v2(db, f.name, f.args, flags, const_cast<Settings*>(settings), f.fn,
                               nullptr, nullptr, nullptr);
    // Computed columns call these under another name that SQLite takes for
    // deterministic (it allows no other in a table's definition): the
    // current time and RAND() hold for a statement, and an error is an error.
    const std::string_view name = f.name;
    if (name == "t_now" || name == "t_now2" || name == "t_rand" || name == "t_error")
      sqlite3_create_function_v2(db, (std::string(name) + "_computed").c_str(), f.args,
                                 SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                 const_cast<Settings*>(settings), f.fn, nullptr, nullptr, nullptr);
  }
  // The final step leaves the state as it is, so it serves as the window
  // function's current value too.
  sqlite3_create_window_function(db, "t_xsum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                 exactSumStep, exactSumFinal, exactSumFinal, exactSumInverse,
                                 nullptr);
  sqlite3_create_function_v2(db, "t_string_agg", -1, SQLITE_UTF8, nullptr, nullptr, stringAggStep,
                             stringAggFinal, nullptr);
  registerTableFunctions(db);
  registerKeyFunctions(db);
  registerFormatFunctions(db);
  registerXmlOutputFunctions(db);
  registerXmlMethodFunctions(db);
  sqlite3_create_collation_v2(db, "TSQL_CI", SQLITE_UTF8, nullptr, collateCi, nullptr);
  registerCollations(db);
}

}  // namespace tessel::sqld::engine
