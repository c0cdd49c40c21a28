// Each database's default collation. The file keeps it in a one-row table of
// its own, so that the database takes it along wherever the file goes; the
// engine reads every file's at start and keeps them in memory, where
// sys.databases, DATABASEPROPERTYEX and USE find them. A file without the
// table (one written before databases had collations of their own) has the
// server's.

#include <sqlite3.h>

#include "collation/sql_collation.h"
#include "collations.h"
#include "convert.h"
#include "ddl.h"
#include "engine_state.h"
#include "errors.h"
#include "functions.h"
#include "lexer.h"
#include "session.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

SqliteDb openFile(const std::string& path, int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  SqliteDb db(raw);
  if (rc != SQLITE_OK) throwLastError(raw, rc);
  static const Settings settings;
  registerFunctions(db.get(), &settings);
  sqlite3_busy_timeout(db.get(), 10000);
  return db;
}

// The collation the file keeps, or nothing (the server's).
std::optional<collation::SqlCollation> storedCollation(sqlite3* db) {
  bool kept = false;
  querySql(db, "SELECT 1 FROM sqlite_master WHERE name = '_tessel_collation'", {},
           [&](sqlite3_stmt*) { kept = true; });
  if (!kept) return std::nullopt;
  std::string name;
  querySql(db, "SELECT name FROM _tessel_collation", {}, [&](sqlite3_stmt* s) {
    if (const auto* text = sqlite3_column_text(s, 0)) name = reinterpret_cast<const char*>(text);
  });
  if (name.empty()) return std::nullopt;
  auto found = collation::FindCollation(name);
  if (!found) throw std::runtime_error("its collation " + name + " is unknown");
  return found;
}

void storeCollation(sqlite3* db, std::uint16_t id) {
  execSql(db, "BEGIN IMMEDIATE");
  try {
    execSql(db,
            "CREATE TABLE IF NOT EXISTS _tessel_collation(name TEXT NOT NULL); "
            "DELETE FROM _tessel_collation;");
    execSql(db, "INSERT INTO _tessel_collation(name) VALUES (?)",
            {Stored::text(collation::CollationById(id)->Name)});
    execSql(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void databaseCollation(sqlite3_context* c, int, sqlite3_value** v) {
  const auto* engine = static_cast<const EngineState*>(sqlite3_user_data(c));
  const auto* name = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
  if (!name || !validDatabaseName(name) || !engine->exists(name)) return sqlite3_result_null(c);
  const Stored text = Stored::text(collationName(engine->collationOf(name)));
  resultStored(
      c, sqlite3_value_int(v[1]) ? variantStored(text, makeType(SqlType::NVarChar, 256)) : text);
}

bool systemDatabase(const std::string& key) {
  return key == "master" || key == "tempdb" || key == "model" || key == "msdb";
}

}  // namespace

void registerDatabaseCollations(sqlite3* db, const EngineState& engine) {
  sqlite3_create_function_v2(db, "t_database_collation", 2, SQLITE_UTF8,
                             const_cast<EngineState*>(&engine), databaseCollation, nullptr, nullptr,
                             nullptr);
}

void EngineState::loadCollations() {
  for (const std::string& name : names_) {
    if (name == "tempdb") continue;
    try {
      SqliteDb db = openFile(pathFor(name), SQLITE_OPEN_READONLY);
      if (auto c = storedCollation(db.get()); c && c->Id != 0) collations_[name] = c->Id;
    } catch (const std::exception& e) {
      warn(pathFor(name) + ": the server's collation stands for the database's: " + e.what());
    }
  }
}

void EngineState::keepCollation(sqlite3* db, const std::string& name, std::uint16_t collation) {
  if (collation == 0 && !collations_.count(lower(name))) return;
  storeCollation(db, collation);
  if (collation == 0)
    collations_.erase(lower(name));
  else
    collations_[lower(name)] = collation;
}

std::uint16_t EngineState::collationOf(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const auto found = collations_.find(lower(name));
  return found == collations_.end() ? 0 : found->second;
}

void EngineState::alterCollation(const std::string& name, std::uint16_t collation,
                                 std::int32_t spid, const std::vector<std::string>& dependents) {
  const std::string key = lower(name);
  std::lock_guard lock(mutex_);
  if (!validDatabaseName(name) || !names_.count(key)) throw SqlError(911, {name});
  if (systemDatabase(key)) throw SqlError(3708, {"alter", name});
  // Other sessions compiled their statements under the old collation.
  for (const auto& [other, entry] : sessions_)
    if (other != spid && entry.database == key) throw SqlError(5030, {});
  const auto current = collations_.find(key);
  if ((current == collations_.end() ? 0 : current->second) == collation) return;
  if (!dependents.empty()) throw SqlError(5075, {"object", dependents.front()});
  SqliteDb db = openFile(pathFor(key), SQLITE_OPEN_READWRITE);
  keepCollation(db.get(), key, collation);
}

std::uint16_t Ddl::tableCollation(const std::string& database, const std::string& name) const {
  if (name.rfind('#', 0) == 0) return 0;
  return database.empty() ? s_.currentCollation_ : s_.engine_.collationOf(database);
}

std::uint16_t Ddl::databaseCollationId(const std::string& name) {
  if (name.empty()) return 0;
  // A database's collation is a name; it has no database to inherit from.
  if (iequals(name, "DATABASE_DEFAULT")) throw SqlError(448, {name});
  return collationId(name);
}

// The schema-bound objects of a database whose meaning may rest on its
// collation: CHECK constraints and computed columns, whose expressions bind
// their literals under it.
static std::vector<std::string> collationDependents(sqlite3* db, const std::string& schema) {
  std::vector<std::string> names;
  const std::string q = quoteName(schema);
  querySql(db,
           "SELECT name FROM " + q +
               ".sysobjects WHERE xtype = 'C' UNION ALL SELECT o.name || "
               "'.' || c.name FROM " +
               q + ".syscolumns c JOIN " + q +
               ".sysobjects o ON o.id = c.id WHERE c.iscomputed = 1 AND o.xtype = 'U'",
           {}, [&](sqlite3_stmt* s) {
             names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
           });
  return names;
}

void Ddl::alterDatabase(const CreateDatabaseStmt& c) {
  const std::string name = iequals(c.name, "CURRENT") ? s_.currentDb_ : c.name;
  const std::uint16_t collation = databaseCollationId(c.collation);
  // The file is written on a connection of its own, outside the session's
  // transaction.
  if (s_.tranCount_ > 0) throw SqlError(226, {"ALTER DATABASE"});
  if (!validDatabaseName(name) || !s_.engine_.exists(name)) throw SqlError(911, {name});
  const std::string schema = s_.schemaFor(name);
  try {
    s_.engine_.alterCollation(name, collation, s_.login_.spid,
                              collationDependents(s_.db_.get(), schema));
  } catch (const SqlError& e) {
    const std::int32_t why = e.message().number;
    if (why != 5030 && why != 5075) throw;
    raisePair(e.message(), SqlError(5072, {name, collationName(collation)}));
  }
  if (lower(name) != s_.currentDb_) return;
  const std::uint16_t old = std::exchange(s_.currentCollation_, collation);
  s_.boundCache_.clear();
  if (old != collation) s_.out_->collationChanged(collation, old);
}

}  // namespace tessel::sqld::engine
