// The catalog's lookup, and the argument helpers entries share.

#include "builtin.h"

#include <unordered_map>

#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {

const Function* find(std::string_view name) {
  static const auto* const index = [] {
    auto* map = new std::unordered_map<std::string_view, const Function*>;
    for (auto family :
         {aggregateFunctions(), stringFunctions(), mathFunctions(), datetimeFunctions(),
          logicalFunctions(), jsonFunctions(), conversionFunctions(), systemFunctions(),
          metadataFunctions(), windowFunctions(), datePartsFunctions(), formatFunctions()})
      for (const Function& f : family) map->emplace(f.name, &f);
    return map;
  }();
  auto it = index->find(name);
  return it == index->end() ? nullptr : it->second;
}

namespace {
bool within(std::span<const Function> family, const Function& f) {
  return &f >= family.data() && &f < family.data() + family.size();
}
}  // namespace

bool isAggregate(const Function& f) {
  return within(aggregateFunctions(), f);
}

bool needsWindow(const Function& f) {
  return within(windowFunctions(), f);
}

bool takesWindow(const Function& f) {
  return needsWindow(f) || (isAggregate(f) && f.name != "STRING_AGG");
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
