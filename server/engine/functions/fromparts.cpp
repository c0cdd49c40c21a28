// The FROMPARTS constructors of the date and time types: DATETIMEFROMPARTS,
// DATETIME2FROMPARTS, SMALLDATETIMEFROMPARTS, TIMEFROMPARTS and
// DATETIMEOFFSETFROMPARTS (DATEFROMPARTS lives with the date functions).
// Each writes its parts as ISO text and converts that to the type: NULL
// when a part is NULL, error 289 when the parts make no such value. The
// precision argument of the wide types is an integer constant 0 to 7.

#include "builtin.h"
#include "errors.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

std::string between(const std::string& x, long low, long high) {
  return x + " BETWEEN " + std::to_string(low) + " AND " + std::to_string(high);
}

// The day exists (SQLite rolls a day past the month's end over, so the text
// must survive a round trip).
std::string dateValid(const std::string& y, const std::string& m, const std::string& d,
                      int firstYear) {
  std::string text = "printf('%04d-%02d-%02d'," + y + "," + m + "," + d + ")";
  return between(y, firstYear, 9999) + " AND " + between(m, 1, 12) + " AND " + between(d, 1, 31) +
         " AND date(" + text + ", '+0 days') = " + text;
}

std::string timeValid(const std::string& h, const std::string& mi, const std::string& s) {
  return between(h, 0, 23) + " AND " + between(mi, 0, 59) + " AND " + between(s, 0, 59);
}

int precisionArg(Call& c, std::size_t i, const char* type) {
  const Expr& e = c.argExpr(i);
  const auto* p =
      e.kind == ExprKind::Literal ? std::get_if<std::int64_t>(&e.value.data()) : nullptr;
  if (!p || *p < 0 || *p > 7) throw SqlError(10760, {type});
  return static_cast<int>(*p);
}

// Fractions of a second at `precision` digits, as seven digits.
std::string fractions(const std::string& f, int precision) {
  long scale = 1;
  for (int i = precision; i < 7; ++i) scale *= 10;
  return "(" + f + ") * " + std::to_string(scale);
}

long limit(int precision) {
  long n = 1;
  for (int i = 0; i < precision; ++i) n *= 10;
  return n - 1;
}

// The value from its text when the parts are valid. The conversion sees
// only valid text, as SQLite may run it ahead of the CASE.
Typed build(Call& c, const std::vector<std::string>& parts, const std::string& valid,
            const std::string& text, TypeInfo type, const char* name) {
  std::string nulls;
  for (const std::string& p : parts) nulls += (nulls.empty() ? "" : " OR ") + p + " IS NULL";
  std::string value = c.convert(
      make("(CASE WHEN " + valid + " THEN " + text + " END)", makeType(SqlType::VarChar, 40)),
      type);
  return make("(CASE WHEN " + nulls + " THEN NULL WHEN " + valid + " THEN " + value +
                  " ELSE t_error(289, '" + name + "') END)",
              type);
}

std::vector<std::string> integers(Call& c, std::size_t n) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < n; ++i) out.push_back(c.integer(i));
  return out;
}

// DATETIMEFROMPARTS(year, month, day, hour, minute, seconds, milliseconds).
Typed datetimeFromParts(Call& c) {
  auto p = integers(c, 7);
  std::string valid = "(" + dateValid(p[0], p[1], p[2], 1753) + " AND " +
                      timeValid(p[3], p[4], p[5]) + " AND " + between(p[6], 0, 999) + ")";
  std::string text = "printf('%04d-%02d-%02d %02d:%02d:%02d.%03d'," + p[0] + "," + p[1] + "," +
                     p[2] + "," + p[3] + "," + p[4] + "," + p[5] + "," + p[6] + ")";
  return build(c, p, valid, text, makeType(SqlType::DateTime), "datetime");
}

// SMALLDATETIMEFROMPARTS(year, month, day, hour, minute): 1900-01-01 to
// 2079-06-06.
Typed smalldatetimeFromParts(Call& c) {
  auto p = integers(c, 5);
  std::string text = "printf('%04d-%02d-%02d %02d:%02d:00'," + p[0] + "," + p[1] + "," + p[2] +
                     "," + p[3] + "," + p[4] + ")";
  std::string valid = "(" + dateValid(p[0], p[1], p[2], 1900) + " AND " +
                      timeValid(p[3], p[4], "0") + " AND " + text + " <= '2079-06-06 23:59:00')";
  return build(c, p, valid, text, makeType(SqlType::SmallDateTime), "smalldatetime");
}

// DATETIME2FROMPARTS(year, month, day, hour, minute, seconds, fractions, precision).
Typed datetime2FromParts(Call& c) {
  int precision = precisionArg(c, 7, "datetime2");
  auto p = integers(c, 7);
  std::string valid = "(" + dateValid(p[0], p[1], p[2], 1) + " AND " + timeValid(p[3], p[4], p[5]) +
                      " AND " + between(p[6], 0, limit(precision)) + ")";
  std::string text = "printf('%04d-%02d-%02d %02d:%02d:%02d.%07d'," + p[0] + "," + p[1] + "," +
                     p[2] + "," + p[3] + "," + p[4] + "," + p[5] + "," +
                     fractions(p[6], precision) + ")";
  return build(c, p, valid, text,
               makeType(SqlType::DateTime2, 0, 0, static_cast<std::uint8_t>(precision)),
               "datetime2");
}

// TIMEFROMPARTS(hour, minute, seconds, fractions, precision).
Typed timeFromParts(Call& c) {
  int precision = precisionArg(c, 4, "time");
  auto p = integers(c, 4);
  std::string valid =
      "(" + timeValid(p[0], p[1], p[2]) + " AND " + between(p[3], 0, limit(precision)) + ")";
  std::string text = "printf('%02d:%02d:%02d.%07d'," + p[0] + "," + p[1] + "," + p[2] + "," +
                     fractions(p[3], precision) + ")";
  return build(c, p, valid, text,
               makeType(SqlType::Time, 0, 0, static_cast<std::uint8_t>(precision)), "time");
}

// DATETIMEOFFSETFROMPARTS(year, month, day, hour, minute, seconds,
// fractions, hour_offset, minute_offset, precision): the offset's parts
// share a sign and stay within 14 hours.
Typed datetimeoffsetFromParts(Call& c) {
  int precision = precisionArg(c, 9, "datetimeoffset");
  auto p = integers(c, 9);
  const std::string &oh = p[7], &om = p[8];
  std::string valid = "(" + dateValid(p[0], p[1], p[2], 1) + " AND " + timeValid(p[3], p[4], p[5]) +
                      " AND " + between(p[6], 0, limit(precision)) + " AND " +
                      between(oh, -14, 14) + " AND " + between(om, -59, 59) + " AND " + oh + " * " +
                      om + " >= 0 AND abs(" + oh + " * 60 + " + om + ") <= 840)";
  std::string text = "printf('%04d-%02d-%02d %02d:%02d:%02d.%07d %s%02d:%02d'," + p[0] + "," +
                     p[1] + "," + p[2] + "," + p[3] + "," + p[4] + "," + p[5] + "," +
                     fractions(p[6], precision) + ",(CASE WHEN " + oh + " < 0 OR " + om +
                     " < 0 THEN '-' ELSE '+' END),abs(" + oh + "),abs(" + om + "))";
  return build(c, p, valid, text,
               makeType(SqlType::DateTimeOffset, 0, 0, static_cast<std::uint8_t>(precision)),
               "datetimeoffset");
}

constexpr Function kFunctions[] = {
    {"DATETIMEFROMPARTS", 7, 7, datetimeFromParts},
    {"DATETIME2FROMPARTS", 8, 8, datetime2FromParts},
    {"SMALLDATETIMEFROMPARTS", 5, 5, smalldatetimeFromParts},
    {"TIMEFROMPARTS", 5, 5, timeFromParts},
    {"DATETIMEOFFSETFROMPARTS", 10, 10, datetimeoffsetFromParts},
};

}  // namespace

std::span<const Function> datePartsFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
