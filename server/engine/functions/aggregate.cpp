// The aggregates: COUNT, COUNT_BIG, SUM, AVG, MIN, MAX. Decimal sums and
// averages keep 38 digits in 128 bits (t_xsum, t_xdiv); integer averages
// divide as integers.

#include <algorithm>

#include "builtin.h"
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
  if (c.expr().star || c.size() == 0) return aggregate("count(*)", t);
  return aggregate("count(" + distinct(c) + c.arg(0).sql + ")", t);
}

Typed minMax(Call& c) {
  Typed x = c.arg(0);
  TypeInfo t = x.type;
  t.nullable = true;
  return aggregate(lower(c.name()) + "(" + distinct(c) + x.sql +
                       (isCharType(x.type.type) ? " COLLATE TSQL_CI" : "") + ")",
                   t);
}

Typed sum(Call& c) {
  Typed x = c.arg(0);
  const TypeInfo& t = x.type;
  std::string d = distinct(c);
  TypeInfo r;
  if (isIntegerType(t.type)) {
    r = makeType(t.type == SqlType::BigInt ? SqlType::BigInt : SqlType::Int);
  } else if (isDecimalType(t.type)) {
    // 38 digits, summed in 128 bits.
    return aggregate("t_xsum(" + d + x.sql + ")", makeType(SqlType::Decimal, 0, 38, t.scale));
  } else if (isMoneyType(t.type)) {
    r = makeType(SqlType::Money, 0, 19, 4);
  } else if (t.type == SqlType::Real || t.type == SqlType::Float) {
    r = makeType(SqlType::Float);
  } else {
    throw SqlError(8117, {typeName(t.type), "sum"});
  }
  return aggregate("sum(" + d + x.sql + ")", r);
}

Typed avg(Call& c) {
  Typed x = c.arg(0);
  const TypeInfo& t = x.type;
  std::string d = distinct(c);
  if (isIntegerType(t.type))
    return aggregate("t_idiv(sum(" + d + x.sql + "),count(" + d + x.sql + "))",
                     makeType(t.type == SqlType::BigInt ? SqlType::BigInt : SqlType::Int));
  if (isDecimalType(t.type)) {
    int s = std::max<int>(6, t.scale);
    TypeInfo r = makeType(SqlType::Decimal, 0, 38, static_cast<std::uint8_t>(s));
    return aggregate("t_xdiv(t_xsum(" + d + x.sql + ")," + std::to_string(t.scale) + ",count(" + d +
                         x.sql + "),0," + std::to_string(s) + "," + std::to_string(encodeType(r)) +
                         ")",
                     r);
  }
  if (isMoneyType(t.type)) {
    TypeInfo r = makeType(SqlType::Money, 0, 19, 4);
    return aggregate("t_xdiv(sum(" + d + x.sql + "),4,count(" + d + x.sql + "),0,4," +
                         std::to_string(encodeType(r)) + ")",
                     r);
  }
  if (t.type == SqlType::Real || t.type == SqlType::Float)
    return aggregate("avg(" + d + x.sql + ")", makeType(SqlType::Float));
  throw SqlError(8117, {typeName(t.type), "avg"});
}

constexpr Function kFunctions[] = {
    {"COUNT", 0, 1, count}, {"COUNT_BIG", 0, 1, count}, {"SUM", 1, 1, sum},
    {"AVG", 1, 1, avg},     {"MIN", 1, 1, minMax},      {"MAX", 1, 1, minMax},
};

}  // namespace

std::span<const Function> aggregateFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
