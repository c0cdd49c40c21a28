// The aggregates: COUNT, COUNT_BIG, SUM, AVG, MIN, MAX, STRING_AGG. Decimal sums and
// averages keep 38 digits in 128 bits (t_xsum, t_xdiv); integer averages
// divide as integers. With an OVER clause each SQLite aggregate a
// translation calls runs over the window (Call::window()).

#include <algorithm>
#include <vector>

#include "builtin.h"
#include "collations.h"
#include "errors.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

Typed aggregate(std::string sql, TypeInfo type) {
  Typed r = make(std::move(sql), type);
  r.isAggregate = true;
  return r;
}

std::string distinct(const Call& c) {
  return c.expr().distinct ? "DISTINCT " : "";
}

Typed count(Call& c) {
  TypeInfo t = makeType(c.name() == "COUNT" ? SqlType::Int : SqlType::BigInt);
  t.nullable = false;
  if (c.expr().star || c.size() == 0) return aggregate("count(*)" + c.window(), t);
  return aggregate("count(" + distinct(c) + c.arg(0).sql + ")" + c.window(), t);
}

Typed minMax(Call& c) {
  Typed x = c.arg(0);
  TypeInfo t = x.type;
  t.nullable = true;
  return aggregate(lower(c.name()) + "(" + distinct(c) + x.sql +
                       (isCharType(x.type.type) ? collateClause(x.type.collation) : "") + ")" +
                       c.window(),
                   t);
}

Typed sum(Call& c) {
  Typed x = c.arg(0);
  const TypeInfo& t = x.type;
  std::string d = distinct(c);
  const std::string& w = c.window();
  TypeInfo r;
  if (isIntegerType(t.type)) {
    r = makeType(t.type == SqlType::BigInt ? SqlType::BigInt : SqlType::Int);
  } else if (isDecimalType(t.type)) {
    // 38 digits, summed in 128 bits.
    return aggregate("t_xsum(" + d + x.sql + ")" + w, makeType(SqlType::Decimal, 0, 38, t.scale));
  } else if (isMoneyType(t.type)) {
    r = makeType(SqlType::Money, 0, 19, 4);
  } else if (t.type == SqlType::Real || t.type == SqlType::Float) {
    r = makeType(SqlType::Float);
  } else {
    throw SqlError(8117, {typeName(t.type), "sum"});
  }
  return aggregate("sum(" + d + x.sql + ")" + w, r);
}

Typed avg(Call& c) {
  Typed x = c.arg(0);
  const TypeInfo& t = x.type;
  std::string d = distinct(c);
  const std::string& w = c.window();
  if (isIntegerType(t.type))
    return aggregate("t_idiv(sum(" + d + x.sql + ")" + w + ",count(" + d + x.sql + ")" + w + ")",
                     makeType(t.type == SqlType::BigInt ? SqlType::BigInt : SqlType::Int));
  if (isDecimalType(t.type)) {
    int s = std::max<int>(6, t.scale);
    TypeInfo r = makeType(SqlType::Decimal, 0, 38, static_cast<std::uint8_t>(s));
    return aggregate("t_xdiv(t_xsum(" + d + x.sql + ")" + w + "," + std::to_string(t.scale) +
                         ",count(" + d + x.sql + ")" + w + ",0," + std::to_string(s) + "," +
                         std::to_string(encodeType(r)) + ")",
                     r);
  }
  if (isMoneyType(t.type)) {
    TypeInfo r = makeType(SqlType::Money, 0, 19, 4);
    return aggregate("t_xdiv(sum(" + d + x.sql + ")" + w + ",4,count(" + d + x.sql + ")" + w +
                         ",0,4," + std::to_string(encodeType(r)) + ")",
                     r);
  }
  if (t.type == SqlType::Real || t.type == SqlType::Float)
    return aggregate("avg(" + d + x.sql + ")" + w, makeType(SqlType::Float));
  throw SqlError(8117, {typeName(t.type), "avg"});
}

// STRING_AGG(value, separator) [WITHIN GROUP (ORDER BY ...)]: nvarchar(4000)
// or varchar(8000) (error 9829 past 8000 bytes), max for a max value;
// values of other types join as nvarchar.
Typed stringAgg(Call& c) {
  const std::vector<bool>& order = c.expr().withinGroup;
  if (c.size() != 2 + order.size()) throw SqlError(174, {"string_agg", "2"});
  Typed x = c.arg(0);
  bool ascii = x.type.type == SqlType::VarChar || x.type.type == SqlType::Char ||
               x.type.type == SqlType::Text;
  TypeInfo t = makeType(ascii ? SqlType::VarChar : SqlType::NVarChar, 8000);
  bool max = isMaxType(x.type) || isLargeType(x.type.type);
  if (max) t.length = ascii ? kMaxLength : kMaxLength - 1;
  std::string value = x.nullLiteral || isCharType(x.type.type) ? x.sql : c.convert(x, t);
  std::string directions;
  for (bool descending : order) directions += descending ? 'd' : 'a';
  std::string sql = "t_string_agg(" + value + "," + c.text(1).sql + ",'" + directions + "'," +
                    (max     ? "0"
                     : ascii ? "8000"
                             : "4000");
  for (std::size_t i = 2; i < c.size(); ++i) sql += "," + c.arg(i).sql;
  return aggregate(sql + ")", t);
}

constexpr Function kFunctions[] = {
    {"COUNT", 0, 1, count},
    {"COUNT_BIG", 0, 1, count},
    {"SUM", 1, 1, sum},
    {"AVG", 1, 1, avg},
    {"MIN", 1, 1, minMax},
    {"MAX", 1, 1, minMax},
    {"STRING_AGG", 2, kVariadic, stringAgg},
};

}  // namespace

std::span<const Function> aggregateFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
