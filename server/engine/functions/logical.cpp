// The functions that choose between their arguments: ISNULL, COALESCE,
// NULLIF, IIF, CHOOSE. The result type is the first argument's (ISNULL) or the one the
// arguments meet in by precedence (COALESCE).

#include <optional>
#include <utility>
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

// IIF and CHOOSE are CASE expressions: the result meets the value
// arguments' types by precedence, and one of them must be other than NULL.
Typed choice(Call& c, const std::vector<std::pair<std::string, Typed>>& branches,
             const std::optional<Typed>& otherwise) {
  std::optional<TypeInfo> t;
  auto meet = [&](const Typed& x) {
    if (!x.nullLiteral) t = t ? commonType(*t, x.type) : x.type;
  };
  for (const auto& b : branches) meet(b.second);
  if (otherwise) meet(*otherwise);
  if (!t) throw SqlError(8133, {});
  std::string sql = "(CASE";
  bool aggregate = false;
  for (const auto& b : branches) {
    sql += " WHEN " + b.first + " THEN " + c.convert(b.second, *t);
    aggregate = aggregate || b.second.isAggregate;
  }
  if (otherwise) sql += " ELSE " + c.convert(*otherwise, *t);
  Typed r = make(sql + " END)", *t);
  r.isAggregate = aggregate;
  return r;
}

Typed iif(Call& c) {
  Typed cond = c.arg(0);
  return choice(c, {{cond.sql, c.arg(1)}}, c.arg(2));
}

// CHOOSE(index, v1, v2 ...): the index-th value, NULL past either end.
Typed choose(Call& c) {
  std::string index = c.integer(0);
  std::vector<std::pair<std::string, Typed>> branches;
  for (std::size_t i = 1; i < c.size(); ++i)
    branches.emplace_back(index + " = " + std::to_string(i), c.arg(i));
  return choice(c, branches, std::nullopt);
}

constexpr Function kFunctions[] = {
    {"CHOOSE", 2, kVariadic, choose},
    {"COALESCE", 0, kVariadic, coalesce},
    {"IIF", 3, 3, iif},
    {"ISNULL", 2, 2, isNull},
    {"NULLIF", 2, 2, nullIf},
};

}  // namespace

std::span<const Function> logicalFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
