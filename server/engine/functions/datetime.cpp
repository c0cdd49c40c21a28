// The date and time functions. datetime and smalldatetime values go to the
// t_date* SQLite functions; date, time, datetime2 and datetimeoffset (any
// year from 0001, to 100 ns) go to the t_wdate* ones with their type, as do
// datetime values when the part asked for needs more than their precision.

#include "datetime.h"
#include "builtin.h"
#include "datetime2.h"
#include "errors.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

TypeInfo intType() {
  return makeType(SqlType::Int);
}
TypeInfo wide7() {
  return makeType(SqlType::DateTime2, 0, 0, 7);
}

std::string datePartName(const Expr& e) {
  if (e.kind == ExprKind::Literal)
    if (auto* s = std::get_if<std::string>(&e.value.data())) return *s;
  if (e.kind == ExprKind::Column && e.names.size() == 1) return e.names[0];
  throw SqlError(155, {"?", "datepart"});
}

// The name SQL Server reports a date part code by (error 9810).
const char* datePartLongName(int code) {
  static constexpr const char* kNames[] = {"year",       "quarter",  "month",       "dayofyear",
                                           "day",        "week",     "weekday",     "hour",
                                           "minute",     "second",   "millisecond", "microsecond",
                                           "nanosecond", "tzoffset", "iso_week"};
  return code >= 0 && code < 15 ? kNames[code] : "";
}

SqlError unsupported(int code, const char* function, const TypeInfo& t) {
  return SqlError(9810, {datePartLongName(code), function, typeName(t.type)});
}

std::string wideSql(const Typed& a) {
  return a.sql + "," + std::to_string(encodeType(a.type));
}

Typed asWide(Call& c, Typed a) {
  if (!isWideDateType(a.type.type)) {
    a.sql = c.convert(a, wide7());
    a.type = wide7();
  }
  return a;
}

Typed now(Call& c) {
  const std::string& fn = c.name();
  if (fn == "GETUTCDATE") return make("t_now(1)", makeType(SqlType::DateTime));
  if (fn == "SYSDATETIME") return make("t_now2(0)", wide7());
  if (fn == "SYSUTCDATETIME") return make("t_now2(1)", wide7());
  if (fn == "SYSDATETIMEOFFSET")
    return make("t_now2(2)", makeType(SqlType::DateTimeOffset, 0, 0, 7));
  return make("t_now(0)", makeType(SqlType::DateTime));
}

Typed dateAdd(Call& c) {
  std::string part = datePartName(c.argExpr(0));
  auto code = normalizeDatePart(part);
  Typed d = c.arg(2);
  if (code && (*code == 13 || *code == 14)) throw SqlError(155, {part, "dateadd"});
  if (isWideDateType(d.type.type)) {
    if (code && !wideHasPart(d.type.type, *code)) throw unsupported(*code, "dateadd", d.type);
    return make("t_wdateadd(" + sqlLiteral(Stored::text(part)) + "," + c.integer(1) + "," +
                    wideSql(d) + ")",
                d.type);
  }
  TypeInfo t = isDateType(d.type.type) ? d.type : makeType(SqlType::DateTime);
  if (code && *code >= 11) throw unsupported(*code, "dateadd", t);
  return make("t_dateadd(" + sqlLiteral(Stored::text(part)) + "," + c.integer(1) + "," +
                  c.datetime(2) + "," + (t.type == SqlType::SmallDateTime ? "1" : "0") + ")",
              t);
}

Typed dateDiff(Call& c) {
  std::string part = datePartName(c.argExpr(0));
  auto code = normalizeDatePart(part);
  if (code && (*code == 13 || *code == 14)) throw SqlError(155, {part, "datediff"});
  Typed a = c.arg(1), b = c.arg(2);
  if (isWideDateType(a.type.type) || isWideDateType(b.type.type) || (code && *code >= 11))
    return make("t_wdatediff(" + sqlLiteral(Stored::text(part)) + "," + wideSql(asWide(c, a)) +
                    "," + wideSql(asWide(c, b)) + ")",
                intType());
  return make("t_datediff(" + sqlLiteral(Stored::text(part)) + "," + c.datetime(1) + "," +
                  c.datetime(2) + ")",
              intType());
}

Typed datePart(Call& c) {
  std::string part = datePartName(c.argExpr(0));
  auto code = normalizeDatePart(part);
  Typed d = c.arg(1);
  bool wide = isWideDateType(d.type.type);
  bool name = c.name() == "DATENAME";
  const char* function = name ? "datename" : "datepart";
  if (wide && code && !wideHasPart(d.type.type, *code)) throw unsupported(*code, function, d.type);
  if (!wide && code && *code == 13 && isDateType(d.type.type))
    throw unsupported(*code, function, d.type);
  if (wide || (code && *code >= 11)) {
    std::string call = "(" + sqlLiteral(Stored::text(part)) + "," + wideSql(asWide(c, d)) + ")";
    if (name) return make("t_wdatename" + call, makeType(SqlType::NVarChar, 60));
    return make("t_wdatepart" + call, intType());
  }
  if (name)
    return make("t_datename(" + sqlLiteral(Stored::text(part)) + "," + c.datetime(1) + ")",
                makeType(SqlType::NVarChar, 60));
  return make("t_datepart(" + sqlLiteral(Stored::text(part)) + "," + c.datetime(1) + ")",
              intType());
}

// YEAR, MONTH, DAY. A time is on the base day, 1900-01-01.
Typed dayPart(Call& c) {
  Typed d = c.arg(0);
  if (isWideDateType(d.type.type))
    return make("t_wdatepart('" + lower(c.name()) + "'," + wideSql(d) + ")", intType());
  return make("t_datepart('" + lower(c.name()) + "'," + c.datetime(0) + ")", intType());
}

Typed isDate(Call& c) {
  return make("t_isdate(" + c.text(0).sql + ")", intType());
}

// DATEFROMPARTS(year, month, day): NULL when a part is NULL, error 289 for
// a day that does not exist.
Typed dateFromParts(Call& c) {
  std::string y = c.integer(0), m = c.integer(1), d = c.integer(2);
  std::string text = "printf('%04d-%02d-%02d'," + y + "," + m + "," + d + ")";
  TypeInfo date = makeType(SqlType::Date);
  std::string valid = "(" + y + " BETWEEN 1 AND 9999 AND " + m + " BETWEEN 1 AND 12 AND " + d +
                      " BETWEEN 1 AND 31 AND date(" + text + ", '+0 days') = " + text + ")";
  // SQLite rolls a day past the month's end over into the next month once a
  // modifier applies. The conversion sees only valid text, as SQLite may run
  // it ahead of the CASE.
  std::string value = c.convert(
      make("(CASE WHEN " + valid + " THEN " + text + " END)", makeType(SqlType::VarChar, 10)),
      date);
  return make("(CASE WHEN " + y + " IS NULL OR " + m + " IS NULL OR " + d +
                  " IS NULL THEN NULL WHEN " + valid + " THEN " + value +
                  " ELSE t_error(289, 'date') END)",
              date);
}

// EOMONTH(date [, months]): the last day of the month, as a date.
Typed endOfMonth(Call& c) {
  TypeInfo date = makeType(SqlType::Date);
  Typed d = c.arg(0);
  if (d.type.type != SqlType::Date) d = make(c.convert(d, date), date);
  std::string enc = std::to_string(encodeType(date));
  std::string month = d.sql;
  if (c.size() == 2) month = "t_wdateadd('month'," + c.integer(1) + "," + d.sql + "," + enc + ")";
  std::string first =
      "t_wdateadd('day',1-t_wdatepart('day'," + month + "," + enc + ")," + month + "," + enc + ")";
  return make("t_wdateadd('day',-1,t_wdateadd('month',1," + first + "," + enc + ")," + enc + ")",
              date);
}

constexpr Function kFunctions[] = {
    {"CURRENT_TIMESTAMP", 0, 0, now}, {"DATEADD", 3, 3, dateAdd},
    {"DATEDIFF", 3, 3, dateDiff},     {"DATENAME", 2, 2, datePart},
    {"DATEPART", 2, 2, datePart},     {"DAY", 1, 1, dayPart},
    {"EOMONTH", 1, 2, endOfMonth},    {"GETDATE", 0, 0, now},
    {"GETUTCDATE", 0, 0, now},        {"ISDATE", 1, 1, isDate},
    {"MONTH", 1, 1, dayPart},         {"SYSDATETIME", 0, 0, now},
    {"SYSDATETIMEOFFSET", 0, 0, now}, {"SYSUTCDATETIME", 0, 0, now},
    {"YEAR", 1, 1, dayPart},          {"DATEFROMPARTS", 3, 3, dateFromParts},
};

}  // namespace

std::span<const Function> datetimeFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
