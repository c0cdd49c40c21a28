// The functions that choose between their arguments: ISNULL, COALESCE,
// NULLIF. The result type is the first argument's (ISNULL) or the one the
// arguments meet in by precedence (COALESCE).

#include <optional>
#include <vector>

#include "builtin.h"
#include "errors.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

Typed isNull(Call& c) {
  Typed a = c.arg(0), b = c.arg(1);
  TypeInfo t = a.nullLiteral ? b.type : a.type;
  Typed r = make("coalesce(" + a.sql + "," + c.convert(b, t) + ")", t);
  r.isAggregate = a.isAggregate || b.isAggregate;
  r.type.nullable = b.type.nullable;
  return r;
}

Typed coalesce(Call& c) {
  if (c.size() < 2) throw SqlError(174, {"coalesce", "2"});
  std::vector<Typed> xs;
  std::optional<TypeInfo> t;
  for (std::size_t i = 0; i < c.size(); ++i) {
    xs.push_back(c.arg(i));
    if (!xs.back().nullLiteral) t = t ? commonType(*t, xs.back().type) : xs.back().type;
  }
  TypeInfo rt = t.value_or(makeType(SqlType::Int));
  std::string sql = "coalesce(";
  for (std::size_t i = 0; i < xs.size(); ++i) sql += (i ? "," : "") + c.convert(xs[i], rt);
  return make(sql + ")", rt);
}

Typed nullIf(Call& c) {
  Typed a = c.arg(0), b = c.arg(1);
  Typed cmp = c.compare("=", a, b);
  return make("(CASE WHEN " + cmp.sql + " THEN NULL ELSE " + a.sql + " END)", a.type);
}

constexpr Function kFunctions[] = {
    {"COALESCE", 0, kVariadic, coalesce},
    {"ISNULL", 2, 2, isNull},
    {"NULLIF", 2, 2, nullIf},
};

}  // namespace

std::span<const Function> logicalFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
