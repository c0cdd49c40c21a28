// The mathematical functions. Exact types keep their type through ABS,
// SIGN, ROUND, FLOOR and CEILING (decimal and money in their scaled storage
// form, wide ones through t_x*); the others work in float.

#include "builtin.h"
#include "exact.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

TypeInfo floatType() {
  return makeType(SqlType::Float);
}

Typed absSign(Call& c) {
  Typed x = c.arg(0);
  bool abs = c.name() == "ABS";
  if (exact::isWide(x.type))
    return make("t_xunary(" + std::string(abs ? "1," : "2,") + x.sql + "," +
                    std::to_string(encodeType(x.type)) + ")",
                x.type);
  if (!abs && isExactType(x.type.type))
    return make("(sign(" + x.sql + ")*" + std::to_string(pow10(storageScale(x.type))) + ")",
                x.type);
  return make(lower(c.name()) + "(" + x.sql + ")", x.type);
}

Typed round(Call& c) {
  Typed x = c.arg(0);
  std::string trunc = c.size() == 3 ? c.integer(2) : "0";
  if (isExactType(x.type.type) && !isIntegerType(x.type.type))
    return make("t_xround(" + x.sql + "," + std::to_string(storageScale(x.type)) + "," +
                    c.integer(1) + "," + trunc + "," + std::to_string(encodeType(x.type)) + ")",
                x.type);
  if (isIntegerType(x.type.type))
    return make("t_xround(" + x.sql + ",0," + c.integer(1) + "," + trunc + "," +
                    std::to_string(encodeType(x.type)) + ")",
                x.type);
  return make("t_fround(" + c.convert(x, floatType()) + "," + c.integer(1) + "," + trunc + ")",
              floatType());
}

Typed floorCeiling(Call& c) {
  Typed x = c.arg(0);
  bool ceiling = c.name() == "CEILING";
  if (isIntegerType(x.type.type)) return x;
  if (isExactType(x.type.type)) {
    TypeInfo t =
        isMoneyType(x.type.type) ? x.type : makeType(SqlType::Decimal, 0, x.type.precision, 0);
    return make("t_xfloor(" + x.sql + "," + std::to_string(storageScale(x.type)) + "," +
                    (ceiling ? "1" : "0") + "," + std::to_string(encodeType(t)) + ")",
                t);
  }
  return make(std::string(ceiling ? "ceil(" : "floor(") + c.convert(x, floatType()) + ")",
              floatType());
}

Typed power(Call& c) {
  Typed x = c.arg(0);
  std::string p = "pow(" + c.convert(x, floatType()) + "," + c.convert(c.arg(1), floatType()) + ")";
  if (isIntegerType(x.type.type)) return make("CAST(" + p + " AS INTEGER)", x.type);
  return make(p, floatType());
}

// SQRT, EXP, LOG ...: SQLite's math function of the float value.
Typed floatFunction(Call& c) {
  std::string x = c.convert(c.arg(0), floatType());
  const std::string& fn = c.name();
  if (fn == "SQUARE") return make("(" + x + "*" + x + ")", floatType());
  std::string f = fn == "LOG" ? "ln" : fn == "LOG10" ? "log10" : lower(fn);
  return make(f + "(" + x + ")", floatType());
}

Typed pi(Call&) {
  return make("pi()", floatType());
}

Typed rand(Call& c) {
  if (c.size() == 0) return make("t_rand()", floatType());
  return make("t_rand(" + c.integer(0) + ")", floatType());
}

Typed isNumeric(Call& c) {
  return make("t_isnumeric(" + c.arg(0).sql + ")", makeType(SqlType::Int));
}

constexpr Function kFunctions[] = {
    {"ABS", 1, 1, absSign},
    {"ACOS", 1, 1, floatFunction},
    {"ASIN", 1, 1, floatFunction},
    {"ATAN", 1, 1, floatFunction},
    {"CEILING", 1, 1, floorCeiling},
    {"COS", 1, 1, floatFunction},
    {"DEGREES", 1, 1, floatFunction},
    {"EXP", 1, 1, floatFunction},
    {"FLOOR", 1, 1, floorCeiling},
    {"ISNUMERIC", 1, 1, isNumeric},
    {"LOG", 1, 1, floatFunction},
    {"LOG10", 1, 1, floatFunction},
    {"PI", 0, 0, pi},
    {"POWER", 2, 2, power},
    {"RADIANS", 1, 1, floatFunction},
    {"RAND", 0, 1, rand},
    {"ROUND", 2, 3, round},
    {"SIGN", 1, 1, absSign},
    {"SIN", 1, 1, floatFunction},
    {"SQRT", 1, 1, floatFunction},
    {"SQUARE", 1, 1, floatFunction},
    {"TAN", 1, 1, floatFunction},
};

}  // namespace

std::span<const Function> mathFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
