// The catalog's lookup, and the argument helpers entries share.

#include "builtin.h"

#include <unordered_map>

#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {

const Function* find(std::string_view name) {
  static const auto* const index = [] {
    auto* map = new std::unordered_map<std::string_view, const Function*>;
    for (auto family : {aggregateFunctions(), stringFunctions(), mathFunctions(),
                        datetimeFunctions(), logicalFunctions(), jsonFunctions(),
                        conversionFunctions(), systemFunctions(), metadataFunctions()})
      for (const Function& f : family) map->emplace(f.name, &f);
    return map;
  }();
  auto it = index->find(name);
  return it == index->end() ? nullptr : it->second;
}

Typed Call::text(std::size_t i) {
  Typed a = arg(i);
  if (!isCharType(a.type.type) && !isBinaryType(a.type.type) && !a.nullLiteral)
    a.sql = convert(a, makeType(SqlType::VarChar, 8000));
  return a;
}

std::string Call::integer(std::size_t i) {
  Typed a = arg(i);
  if (!isIntegerType(a.type.type) && !a.nullLiteral) a.sql = convert(a, makeType(SqlType::Int));
  return a.sql;
}

std::string Call::datetime(std::size_t i) {
  Typed a = arg(i);
  if (!isDateType(a.type.type) && !a.nullLiteral) a.sql = convert(a, makeType(SqlType::DateTime));
  return a.sql;
}

std::string Call::db() {
  return quoteName(binder_.ctx_.schemaFor("")) + ".";
}

}  // namespace tessel::sqld::engine::builtin
