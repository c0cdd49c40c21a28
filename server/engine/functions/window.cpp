// The window functions, which only run over a window (OVER): the ranking
// functions ROW_NUMBER, RANK, DENSE_RANK and NTILE (bigint), LAG and LEAD,
// FIRST_VALUE and LAST_VALUE (their value's type), PERCENT_RANK and
// CUME_DIST (float). Each translates to SQLite's function of the same name;
// the binder has checked where the call stands and rendered its window.

#include "builtin.h"
#include "errors.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

// 4112 for a function whose result depends on the order of the rows.
void needOrder(const Call& c) {
  if (c.over()->orderBy.empty()) throw SqlError(4112, {c.name()});
}

// 10752 for a function that takes the whole partition, not a frame.
void noFrame(const Call& c) {
  if (!c.over()->frameUnit.empty()) throw SqlError(10752, {c.name()});
}

Typed nullable(std::string sql, SqlType type) {
  TypeInfo t = makeType(type);
  t.nullable = true;
  return make(std::move(sql), t);
}

Typed ranking(Call& c) {
  needOrder(c);
  noFrame(c);
  return nullable(lower(c.name()) + "()" + c.window(), SqlType::BigInt);
}

Typed distribution(Call& c) {
  needOrder(c);
  noFrame(c);
  return nullable(lower(c.name()) + "()" + c.window(), SqlType::Float);
}

Typed ntile(Call& c) {
  needOrder(c);
  noFrame(c);
  return nullable("ntile(" + c.integer(0) + ")" + c.window(), SqlType::BigInt);
}

// A value of another row keeps its type; a column's origin does not follow it.
Typed rowValue(const Typed& x, std::string sql) {
  Typed r = make(std::move(sql), x.type);
  r.type.nullable = true;
  r.collationLabel = x.collationLabel;
  r.unpadded = x.unpadded;
  return r;
}

// LAG and LEAD (value [, offset [, default]]): the default takes the
// value's type. A negative offset is an error (SQLite would count it the
// other way).
Typed offsetValue(Call& c) {
  needOrder(c);
  noFrame(c);
  Typed x = c.arg(0);
  std::string sql = lower(c.name()) + "(" + x.sql;
  if (c.size() > 1) {
    std::string offset = c.integer(1);
    sql += ",(CASE WHEN " + offset + " < 0 THEN t_error(8730) ELSE " + offset + " END)";
  }
  if (c.size() > 2) {
    Typed d = c.arg(2);
    sql += "," + (d.nullLiteral ? std::string("NULL") : c.convert(d, x.type));
  }
  return rowValue(x, sql + ")" + c.window());
}

Typed frameValue(Call& c) {
  needOrder(c);
  Typed x = c.arg(0);
  return rowValue(x, lower(c.name()) + "(" + x.sql + ")" + c.window());
}

constexpr Function kFunctions[] = {
    {"ROW_NUMBER", 0, 0, ranking},        {"RANK", 0, 0, ranking},
    {"DENSE_RANK", 0, 0, ranking},        {"NTILE", 1, 1, ntile},
    {"LAG", 1, 3, offsetValue},           {"LEAD", 1, 3, offsetValue},
    {"FIRST_VALUE", 1, 1, frameValue},    {"LAST_VALUE", 1, 1, frameValue},
    {"PERCENT_RANK", 0, 0, distribution}, {"CUME_DIST", 0, 0, distribution},
};

}  // namespace

std::span<const Function> windowFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
