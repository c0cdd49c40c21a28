// SQLite collations made from collation/sql_collation.h on demand: each
// session connection gets the ones its statements and tables name.

#include "collations.h"

#include <sqlite3.h>

#include "collation/sql_collation.h"
#include "convert.h"
#include "errors.h"
#include "functions.h"
#include "lexer.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

int compareUnder(void* arg, int na, const void* a, int nb, const void* b) {
  const auto* c = static_cast<const collation::SqlCollation*>(arg);
  return collation::CompareUnder(*c, std::string_view(static_cast<const char*>(a), na),
                                 std::string_view(static_cast<const char*>(b), nb));
}

void destroy(void* arg) {
  delete static_cast<collation::SqlCollation*>(arg);
}

// SQLite asks for a collation it does not have: a table's column or a
// statement names it. Names that are not collations stay unknown to SQLite,
// which reports them; the binder has refused them before.
void needed(void*, sqlite3* db, int, const char* name) {
  auto found = collation::FindCollation(name);
  if (!found) return;
  auto* c = new collation::SqlCollation(std::move(*found));
  sqlite3_create_collation_v2(db, name, SQLITE_UTF8, c, compareUnder, destroy);
}

// t_like_under(pattern, text, escape, collation id): LIKE under a named
// collation.
void likeUnder(sqlite3_context* c, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL || sqlite3_value_type(v[1]) == SQLITE_NULL)
    return sqlite3_result_null(c);
  const auto text = [&](int i) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v[i]));
    return std::string(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(v[i])));
  };
  int escape = -1;
  if (sqlite3_value_type(v[2]) != SQLITE_NULL) {
    const std::string e = text(2);
    if (!e.empty()) escape = static_cast<unsigned char>(e[0]);
  }
  const auto found = collation::CollationById(static_cast<std::uint16_t>(sqlite3_value_int(v[3])));
  if (!found) return sqlite3_result_null(c);
  const CharacterOrder order = [&](std::string_view a, std::string_view b) {
    return collation::CompareUnder(*found, a, b);
  };
  const bool exact = found->Order != collation::SortOrder::Dictionary;
  sqlite3_result_int(c, likeMatch(text(0), text(1), escape, exact ? nullptr : &order, exact));
}

// t_collationproperty(name, property): COLLATIONPROPERTY's sql_variant int,
// NULL for a name that is no collation or a property it does not have.
void collationProperty(sqlite3_context* c, int, sqlite3_value** v) {
  const auto* name = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
  const auto* property = reinterpret_cast<const char*>(sqlite3_value_text(v[1]));
  if (!name || !property) return sqlite3_result_null(c);
  const auto found = collation::FindCollation(name);
  if (!found) return sqlite3_result_null(c);
  std::int64_t value = 0;
  if (iequals(property, "CodePage"))
    value = found->CodePage;
  else if (iequals(property, "LCID"))
    value = found->Lcid;
  else if (iequals(property, "ComparisonStyle"))
    value = found->ComparisonStyle();
  else if (iequals(property, "Version"))
    value = found->Version;
  else
    return sqlite3_result_null(c);
  resultStored(c, variantStored(Stored::integer(value), makeType(SqlType::Int)));
}

}  // namespace

std::uint16_t collationId(std::string_view name) {
  // DATABASE_DEFAULT passes the name check; its collation is the current
  // database's, which the binder and CREATE TABLE put in its place.
  if (iequals(name, "DATABASE_DEFAULT")) return 0;
  auto found = collation::FindCollation(name);
  if (!found) throw SqlError(448, {std::string(name)});
  return found->Id;
}

std::string collationName(std::uint16_t id) {
  auto found = collation::CollationById(id);
  return found ? found->Name : "SQL_Latin1_General_CP1_CI_AS";
}

int collationCodePage(std::uint16_t id) {
  auto found = collation::CollationById(id);
  return found ? found->CodePage : 1252;
}

std::string collateClause(std::uint16_t id) {
  return id == 0 ? " COLLATE TSQL_CI" : " COLLATE " + collationName(id);
}

std::uint16_t resolveCollation(const Typed& a, const Typed& b, const char* operation) {
  if (!isCharType(a.type.type)) return b.type.collation;
  if (!isCharType(b.type.type)) return a.type.collation;
  if (a.collationLabel != b.collationLabel)
    return a.collationLabel > b.collationLabel ? a.type.collation : b.type.collation;
  if (a.type.collation != b.type.collation && a.collationLabel != Typed::CollationLabel::Default)
    throw SqlError(468,
                   {collationName(b.type.collation), collationName(a.type.collation), operation});
  return a.type.collation;
}

void combineCollation(Typed& result, const Typed& a, const Typed& b) {
  result.type.collation = resolveCollation(a, b, "concatenation");
  result.collationLabel = std::max(isCharType(a.type.type) ? a.collationLabel : b.collationLabel,
                                   isCharType(b.type.type) ? b.collationLabel : a.collationLabel);
}

void foldCollation(Typed& into, const Typed& next) {
  if (next.nullLiteral || !isCharType(next.type.type)) return;
  const bool holdsText = !into.nullLiteral && isCharType(into.type.type);
  if (holdsText && next.collationLabel <= into.collationLabel) return;
  if (!holdsText) {
    into.type.type = next.type.type;
    into.nullLiteral = false;
  }
  into.type.collation = next.type.collation;
  into.collationLabel = next.collationLabel;
}

const char* comparisonOperation(std::string_view op) {
  if (op == "=") return "equal to";
  if (op == "<>" || op == "!=") return "not equal to";
  if (op == "<") return "less than";
  if (op == ">") return "greater than";
  if (op == "<=") return "less than or equal to";
  if (op == ">=") return "greater than or equal to";
  return "equal to";
}

void registerCollations(sqlite3* db) {
  sqlite3_collation_needed(db, nullptr, needed);
  sqlite3_create_function_v2(db, "t_like_under", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                             likeUnder, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "t_collationproperty", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                             nullptr, collationProperty, nullptr, nullptr, nullptr);
}

}  // namespace tessel::sqld::engine
