// The OUTPUT clause of INSERT, UPDATE and DELETE.
//
// A row-level SQLite trigger, made for the statement only, copies the new
// and old values of each row the statement changes into a temporary table.
// After the statement the clause's SELECT reads that table as inserted and
// deleted; its rows go to the client, or with INTO into the table named.

#include <sqlite3.h>

#include "errors.h"
#include "lexer.h"
#include "session.h"
#include "types.h"

namespace tessel::sqld::engine {

std::int64_t SqliteSession::withOutput(const OutputClause* output, const TableInfo& target,
                                       int events, Frame& f,
                                       const std::function<std::int64_t()>& statement,
                                       const BoundMerge* merge) {
  const bool mergeAction = merge != nullptr;
  if (!output) return statement();
  // Rows sent to the client would come before the triggers' own results.
  if (!output->into)
    for (const auto& t : target.triggers)
      if ((t.events & events) && !t.disabled) throw SqlError(334, {target.name});
  // Named by trigger nesting: a trigger's own statement with OUTPUT gets a
  // table of its own.
  const std::string table = "_tessel_output" + std::to_string(triggerTables_.size());
  static constexpr std::pair<int, const char*> kEvents[] = {
      {kTriggerInsert, "INSERT"}, {kTriggerUpdate, "UPDATE"}, {kTriggerDelete, "DELETE"}};
  auto triggerName = [&](const char* when) { return table + "_" + lower(when); };
  std::string dropSql;
  for (const auto& [event, when] : kEvents)
    dropSql += "DROP TRIGGER IF EXISTS temp." + quoteName(triggerName(when)) + "; ";
  struct Drop {
    sqlite3* db;
    std::string sql;
    ~Drop() { sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }
  } drop{db_.get(), dropSql + "DROP TABLE IF EXISTS temp." + quoteName(table)};
  std::string columns =
      mergeAction ? ", action " + storageDeclaration(makeType(SqlType::NVarChar, 20)) + ", rid"
                  : "";
  for (std::size_t i = 0; i < target.columns.size(); ++i) {
    const std::string k = std::to_string(i + 1);
    const std::string type = storageDeclaration(target.columns[i].type);
    columns += ", i" + k + " " + type + ", d" + k + " " + type;
  }
  // The row each kind of change copies: new values, old values.
  auto rowValues = [&](int event, const char* when) {
    std::string values = mergeAction ? std::string(", '") + when + "', " +
                                           (event == kTriggerDelete ? "OLD" : "NEW") + ".rowid"
                                     : std::string();
    for (const auto& c : target.columns) {
      const std::string name = quoteName(c.name);
      values += std::string(", ") + (event == kTriggerDelete ? "NULL" : "NEW." + name) + ", " +
                (event == kTriggerInsert ? "NULL" : "OLD." + name);
    }
    return values;
  };
  // Bound before the statement runs, so that a name the clause cannot bind
  // fails the statement before it changes anything; bound afresh each time,
  // as the rows' table is named by nesting.
  const bool inserted = (events & (kTriggerInsert | kTriggerUpdate)) != 0;
  const bool deleted = (events & (kTriggerDelete | kTriggerUpdate)) != 0;
  const void* key = output->into ? static_cast<const void*>(output->into.get()) : output;
  boundCache_.erase(key);
  struct Forget {
    std::map<const void*, BoundStatement>& cache;
    const void* key;
    ~Forget() { cache.erase(key); }
  } forget{boundCache_, key};
  const BoundStatement& b = bound(key, [&](Binder& binder) {
    binder.readChangedRows(target, table, inserted, deleted, merge);
    return output->into ? binder.bindInsert(*output->into) : binder.bindSelect(*output->select);
  });

  execSql(db_.get(), drop.sql);
  execSql(db_.get(),
          "CREATE TEMP TABLE " + quoteName(table) + " (seq INTEGER PRIMARY KEY" + columns + ")");
  for (const auto& [event, when] : kEvents)
    if (events & event)
      execSql(db_.get(), "CREATE TEMP TRIGGER " + quoteName(triggerName(when)) + " AFTER " + when +
                             " ON " + target.qualifiedName() + " BEGIN INSERT INTO " +
                             quoteName(table) + " VALUES (NULL" + rowValues(event, when) +
                             "); END");
  const std::int64_t n = statement();
  for (const auto& [event, when] : kEvents)
    if (events & event) execSql(db_.get(), "DROP TRIGGER temp." + quoteName(triggerName(when)));
  if (output->into) {
    insertRows(*output->into, f);
  } else {
    sqlite3_stmt* stmt = statementFor(b.sql);
    StatementUse use{stmt};
    bindParams(stmt, b, f);
    out_->metadata(b.columns);
    streamRows(stmt, b);
  }
  return n;
}

}  // namespace tessel::sqld::engine
