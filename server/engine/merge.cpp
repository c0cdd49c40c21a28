// Executing MERGE. The source rows are staged in a temporary table with the
// clause that acts on each; then one UPDATE, one DELETE and one INSERT
// apply the clauses, each with its triggers, all under one savepoint so
// that the statement changes everything or nothing.

#include <sqlite3.h>

#include "errors.h"
#include "lexer.h"
#include "session.h"

namespace tessel::sqld::engine {
namespace {

// The Done a MERGE sends counts its rows as an UPDATE's does.
constexpr std::uint16_t kCmdMerge = 0xC5;

}  // namespace

void SqliteSession::execMerge(const MergeStmt& s, Frame& f) {
  // Named by trigger nesting: a trigger's own MERGE stages its rows apart.
  const std::string stage = "_tessel_merge" + std::to_string(triggerTables_.size());
  BoundMerge m = [&] {
    Binder binder(*this);
    return binder.bindMerge(s, stage);
  }();
  checkWritable(m.target);
  const InsertStmt* insert =
      m.insertClause ? s.clauses[static_cast<std::size_t>(m.insertClause - 1)].insert.get()
                     : nullptr;
  // The INSERT clause binds before anything changes, over the staged rows.
  struct Forget {
    std::map<const void*, BoundStatement>& cache;
    const void* key;
    ~Forget() {
      if (key) cache.erase(key);
    }
  } forget{boundCache_, insert};
  if (insert) {
    boundCache_.erase(insert);
    bound(insert, [&](Binder& binder) { return binder.bindMergeInsert(s, m, *insert, stage); });
  }
  auto run = [&](const std::string& sql, const char* verb) {
    BoundStatement b;
    b.sql = sql;
    b.params = m.params;
    sqlite3_stmt* stmt = statementFor(sql);
    StatementUse use{stmt};
    bindParams(stmt, b, f);
    return stepToEnd(stmt, &b, verb);
  };

  struct Drop {
    sqlite3* db;
    std::string sql;
    ~Drop() { sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }
  } drop{db_.get(), "DROP TABLE IF EXISTS temp." + quoteName(stage)};
  execSql(db_.get(), drop.sql);
  execSql(db_.get(), m.createStage);

  const bool outermost = sqlite3_get_autocommit(db_.get());
  execSql(db_.get(), "SAVEPOINT tessel_merge");
  std::int64_t n = 0;
  try {
    run(m.stageSql, "MERGE");
    if (!m.bySourceSql.empty()) run(m.bySourceSql, "MERGE");
    if (!m.duplicateSql.empty()) {
      bool duplicate = false;
      querySql(db_.get(), m.duplicateSql, {}, [&](sqlite3_stmt*) { duplicate = true; });
      if (duplicate) throw SqlError(8672, {});
    }
    const int events = (m.updateSql.empty() ? 0 : kTriggerUpdate) |
                       (m.deleteSql.empty() ? 0 : kTriggerDelete) | (insert ? kTriggerInsert : 0);
    n = withOutput(
        s.output.get(), *m.target, events, f,
        [&] {
          std::int64_t changed = 0;
          if (!m.updateSql.empty())
            changed += withTriggers(
                m.target, kTriggerUpdate, m.updatedColumns, f,
                [&] { return run(m.updateSql, "MERGE"); }, &s);
          if (!m.deleteSql.empty())
            changed += withTriggers(
                m.target, kTriggerDelete, {}, f, [&] { return run(m.deleteSql, "MERGE"); }, &s);
          if (insert)
            changed += withTriggers(
                m.target, kTriggerInsert, {}, f, [&] { return insertRows(*insert, f); }, insert);
          return changed;
        },
        &m);
    // A ROLLBACK in a trigger has ended the transaction the savepoint was in.
    if (!sqlite3_get_autocommit(db_.get())) releaseSavepoint("tessel_merge", outermost);
  } catch (...) {
    sqlite3_exec(db_.get(), "ROLLBACK TO tessel_merge; RELEASE tessel_merge", nullptr, nullptr,
                 nullptr);
    throw;
  }
  rowCount_ = n;
  statementDone(doneKind(f), kCmdMerge, true, static_cast<std::uint64_t>(n));
}

}  // namespace tessel::sqld::engine
