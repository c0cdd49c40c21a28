#pragma once

// SQL Server's named collations in the engine: looking a name up (error 448),
// the COLLATE clause SQLite compares a value's collation by, which of two
// values' collations an operation follows (error 468), and the SQLite
// collations themselves, registered when a statement first names one.

#include <cstdint>
#include <string>
#include <string_view>

#include "binder.h"

struct sqlite3;

namespace tessel::sqld::engine {

class EngineState;

// The id of the collation `name` stands for; error 448 for an unknown name.
std::uint16_t collationId(std::string_view name);
// SQL Server's name of a collation id.
std::string collationName(std::uint16_t id);
// The code page char, varchar and text values of the collation hold.
int collationCodePage(std::uint16_t id);

// " COLLATE x" for SQLite: TSQL_CI for the server's default, otherwise the
// collation's own name, which SQLite asks registerCollations' hook for.
std::string collateClause(std::uint16_t id);

// The collation an operation on a and b follows: an explicit one over an
// implicit one over the default; two different ones of the same strength
// are error 468, naming `operation` ("equal to", "like" ...).
std::uint16_t resolveCollation(const Typed& a, const Typed& b, const char* operation);
// The same with the result's label, for an operation whose result is text.
void combineCollation(Typed& result, const Typed& a, const Typed& b);
// Folds one more of several values that become one (CASE's results, a
// compound query's parts) into `into`: the most firmly held collation wins,
// an explicit over an implicit over the default; at equal strength the
// first value's stays.
void foldCollation(Typed& into, const Typed& next);
// "equal to", "less than" ... for a comparison operator.
const char* comparisonOperation(std::string_view op);

// Lets SQLite find every named collation on `db` when a statement uses it.
void registerCollations(sqlite3* db);
// t_database_collation(name, variant) on a session's connection: the
// collation of database `name` as sysname (variant 0) or sql_variant (1);
// NULL for no such database. `engine` outlives the connection.
void registerDatabaseCollations(sqlite3* db, const EngineState& engine);

}  // namespace tessel::sqld::engine
