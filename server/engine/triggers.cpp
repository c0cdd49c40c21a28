// DML triggers.
//
// Design notes
//  1. A statement on a table with triggers for its event runs with capture
//     tables: two temporary tables with the table's columns that become the
//     trigger's inserted and deleted tables. Row-level SQLite triggers,
//     created for the statement only, copy each new and old row into them;
//     they are dropped again before the T-SQL triggers run, so the triggers'
//     own statements are not captured. The capture tables are named by how
//     deep statements firing triggers nest, so a trigger's statements that
//     fire triggers of their own get tables of their own.
//  2. INSTEAD OF INSERT binds the INSERT against the capture table itself
//     (the target is redirected), so constraints of the real table do not
//     apply and views take INSERTs too. INSTEAD OF UPDATE and DELETE of a
//     table run the statement inside a savepoint that is rolled back once
//     the rows are captured; of a view, the statement is redirected to a
//     temporary copy of the view's rows, whose changes are captured and
//     which is dropped before the trigger runs. A view without such a
//     trigger (or with it disabled) takes no INSERT, UPDATE or DELETE.
//  3. A statement that starts outside a transaction runs with its triggers
//     in one (@@TRANCOUNT is 1 in the trigger); the client is not told of it.
//     A trigger that ends the transaction (ROLLBACK) ends the batch with
//     error 3609 after it finishes. Triggers run with XACT_ABORT on, so an
//     error in one rolls the transaction back and ends the batch.
//  4. Triggers nest up to 32 levels; a trigger does not fire again while it
//     is running, directly or through another trigger.

#include <sqlite3.h>

#include <algorithm>

#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

constexpr int kMaxTriggerNesting = 32;

std::string captureName(std::size_t depth, char kind) {
  return "_tessel_trigger" + std::to_string(depth) + "_" + kind;
}

// A capture table for `table`'s rows: its columns with their storage, no
// constraints.
std::shared_ptr<TableInfo> captureInfo(const TableInfo& table, const std::string& name) {
  auto info = std::make_shared<TableInfo>();
  info->name = name;
  info->schema = "temp";
  info->database = "tempdb";
  info->xtype = "U";
  info->columns = table.columns;
  for (auto& c : info->columns) c.identity = false;
  return info;
}

std::string createSql(const TableInfo& info) {
  std::string sql = "CREATE TEMP TABLE IF NOT EXISTS " + quoteName(info.name) + " (";
  for (std::size_t i = 0; i < info.columns.size(); ++i)
    sql += (i ? ", " : "") + quoteName(info.columns[i].name) + " " +
           storageDeclaration(info.columns[i].type);
  return sql + ")";
}

// Copies `prefix` (NEW or OLD) of every column into a capture table.
std::string captureInsert(const TableInfo& table, const std::string& into, const char* prefix) {
  std::string values;
  for (std::size_t i = 0; i < table.columns.size(); ++i)
    values += (i ? ", " : "") + std::string(prefix) + "." + quoteName(table.columns[i].name);
  return "INSERT INTO " + quoteName(into) + " VALUES (" + values + ");";
}

// COLUMNS_UPDATED(): a bit for each column the statement sets, by column
// ordinal, the first column the low bit of the first byte. An INSERT sets
// every column; a DELETE none.
std::string columnsUpdatedMask(const TableInfo& table, int event,
                               const std::set<std::string>& updated) {
  std::string bytes((table.columns.size() + 7) / 8, '\0');
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnInfo& c = table.columns[i];
    if (event == kTriggerDelete || (event == kTriggerUpdate && !updated.count(lower(c.name))))
      continue;
    std::size_t bit = c.colid > 0 ? static_cast<std::size_t>(c.colid - 1) : i;
    if (bit / 8 < bytes.size()) bytes[bit / 8] = static_cast<char>(bytes[bit / 8] | 1 << (bit % 8));
  }
  return bytes;
}

}  // namespace

std::int64_t SqliteSession::withTriggers(const std::shared_ptr<const TableInfo>& table, int event,
                                         std::set<std::string> updated, Frame& f,
                                         const std::function<std::int64_t()>& statement,
                                         const void* node) {
  if (!table || table->triggers.empty()) return statement();
  std::vector<const TriggerInfo*> fire;
  const TriggerInfo* instead = nullptr;
  for (const auto& t : table->triggers) {
    if (!(t.events & event) || t.disabled) continue;
    if (std::find(runningTriggers_.begin(), runningTriggers_.end(), t.id) != runningTriggers_.end())
      continue;
    if (t.insteadOf)
      instead = &t;
    else
      fire.push_back(&t);
  }
  // The statements an INSTEAD OF trigger runs fire the AFTER triggers.
  if (instead) fire = {instead};
  if (fire.empty() || (table->xtype == "V" && !instead)) return statement();
  if (triggerTables_.size() / 2 >= kMaxTriggerNesting)
    throw SqlError(217, {std::to_string(kMaxTriggerNesting)});

  // The capture tables, made before any transaction this statement opens so
  // that a ROLLBACK in a trigger keeps them.
  const std::size_t depth = triggerTables_.size() / 2;
  std::vector<std::string> captures;
  struct Cleanup {
    SqliteSession& s;
    std::vector<std::string>& captures;
    std::size_t tables;
    std::string viewCopy;
    void dropCaptures() {
      if (!captures.empty()) s.dropCaptureTriggers();
      captures.clear();
    }
    void dropViewCopy() {
      if (!viewCopy.empty())
        sqlite3_exec(s.db_.get(), ("DROP TABLE IF EXISTS temp." + quoteName(viewCopy)).c_str(),
                     nullptr, nullptr, nullptr);
      viewCopy.clear();
    }
    ~Cleanup() {
      // A ROLLBACK may have brought back capture triggers dropped inside
      // the transaction.
      s.dropCaptureTriggers();
      dropViewCopy();
      s.redirect_.reset();
      while (s.triggerTables_.size() > tables) {
        sqlite3_exec(
            s.db_.get(),
            ("DROP TABLE IF EXISTS temp." + quoteName(s.triggerTables_.back().info->name)).c_str(),
            nullptr, nullptr, nullptr);
        s.triggerTables_.pop_back();
      }
    }
  } cleanup{*this, captures, triggerTables_.size(), {}};
  auto inserted = captureInfo(*table, captureName(depth, 'i'));
  auto deleted = captureInfo(*table, captureName(depth, 'd'));
  for (const auto& info : {inserted, deleted}) {
    execSql(db_.get(), "DROP TABLE IF EXISTS temp." + quoteName(info->name));
    std::string create = createSql(*info);
    execSql(db_.get(), create);
    triggerTables_.push_back({info, create});
  }
  auto run = [&](const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw translate(sqlite3_extended_errcode(db_.get()), sqlite3_errmsg(db_.get()), nullptr,
                      "UPDATE");
  };

  bool redirect = instead && event == kTriggerInsert;
  // INSTEAD OF UPDATE or DELETE on a view: the statement runs on a copy of
  // the view's rows, and the copy's changed rows are the trigger's.
  std::shared_ptr<const TableInfo> viewCopy;
  if (instead && !redirect && table->xtype == "V") {
    viewCopy = copyViewRows(*table, captureName(depth, 'v'), f);
    cleanup.viewCopy = viewCopy->name;
  }
  if (!redirect) {
    // Row-level triggers copy the statement's rows.
    const TableInfo& changed = viewCopy ? *viewCopy : *table;
    std::string on = " ON " + changed.qualifiedName() + " BEGIN ";
    auto create = [&](const char* when, const std::string& body) {
      std::string name =
          "_tessel_capture" + std::to_string(depth) + "_" + std::to_string(captures.size());
      execSql(db_.get(),
              "CREATE TEMP TRIGGER " + quoteName(name) + " AFTER " + when + on + body + " END");
      captures.push_back(name);
    };
    if (event == kTriggerInsert) create("INSERT", captureInsert(*table, inserted->name, "NEW"));
    if (event == kTriggerUpdate)
      create("UPDATE", captureInsert(*table, deleted->name, "OLD") +
                           captureInsert(*table, inserted->name, "NEW"));
    if (event == kTriggerDelete) create("DELETE", captureInsert(*table, deleted->name, "OLD"));
  }

  const bool ownTran = tranCount_ == 0;
  // Outside a transaction the statement and its triggers get one; a bulk
  // load's savepoint may already hold one open.
  const bool begin = ownTran && sqlite3_get_autocommit(db_.get());
  if (ownTran) {
    if (begin) run("BEGIN");
    tranCount_ = 1;
    statementTran_ = true;
  }
  std::int64_t n = 0;
  try {
    if (redirect || viewCopy) {
      // The statement names `table`; it binds against the capture table
      // (INSERT) or the copy of the view instead.
      redirect_ = Redirect{table->id, table->schema, redirect ? inserted : viewCopy};
      boundCache_.erase(node);
      n = statement();
      boundCache_.erase(node);
      redirect_.reset();
      cleanup.dropCaptures();
      cleanup.dropViewCopy();
    } else if (instead) {
      // The rows the statement would change, without changing them.
      run("SAVEPOINT tessel_instead");
      try {
        n = statement();
      } catch (...) {
        sqlite3_exec(db_.get(), "ROLLBACK TO tessel_instead; RELEASE tessel_instead", nullptr,
                     nullptr, nullptr);
        throw;
      }
      cleanup.dropCaptures();
      rollbackKeepingTables([&] { run("ROLLBACK TO tessel_instead; RELEASE tessel_instead"); });
    } else {
      n = statement();
    }
    cleanup.dropCaptures();
    auto tables = std::make_shared<TriggerTables>();
    tables->inserted = inserted;
    tables->deleted = deleted;
    tables->updated = std::move(updated);
    tables->allUpdated = event == kTriggerInsert;
    tables->columnsUpdated = columnsUpdatedMask(*table, event, tables->updated);
    for (const TriggerInfo* t : fire) {
      // @@ROWCOUNT starts as the statement's count in each trigger.
      rowCount_ = n;
      runTrigger(*table, *t, tables, f);
      if (tranCount_ == 0) break;
    }
  } catch (...) {
    redirect_.reset();
    if (ownTran && tranCount_ > 0) {
      if (begin) rollbackKeepingTables([&] { run("ROLLBACK"); });
      tranCount_ = 0;
      savepoints_.clear();
      doomed_ = false;
    }
    statementTran_ = false;
    throw;
  }
  if (tranCount_ == 0) {
    // A trigger ended the transaction.
    statementTran_ = false;
    throw SqlError(3609, {});
  }
  if (ownTran) {
    if (begin && tranCount_ == 1) {
      try {
        commitSqlite("COMMIT");
      } catch (const SqliteFailure& e) {
        noteAutoRollback();
        statementTran_ = false;
        throw translate(e.code(), e.what(), nullptr, "COMMIT");
      }
      savepoints_.clear();
    }
    --tranCount_;
    statementTran_ = false;
  }
  rowCount_ = n;
  return n;
}

const TriggerInfo* SqliteSession::insteadOfTrigger(const TableInfo& table, int event) const {
  for (const auto& t : table.triggers)
    if (t.insteadOf && (t.events & event) && !t.disabled &&
        std::find(runningTriggers_.begin(), runningTriggers_.end(), t.id) == runningTriggers_.end())
      return &t;
  return nullptr;
}

std::shared_ptr<const TableInfo> SqliteSession::copyViewRows(const TableInfo& view,
                                                             const std::string& name, Frame& f) {
  auto copy = captureInfo(view, name);
  execSql(db_.get(), "DROP TABLE IF EXISTS temp." + quoteName(name));
  execSql(db_.get(), createSql(*copy));
  // SELECT * FROM the view, bound as any query of it.
  SelectStmt select;
  select.items.emplace_back();
  select.items.back().expr = std::make_unique<Expr>();
  select.items.back().expr->kind = ExprKind::Star;
  select.from.push_back(std::make_unique<TableRef>());
  select.from.back()->name = {view.database, "", view.name};
  Binder binder(*this);
  BoundStatement b = binder.bindSelect(select);
  SqliteStatement stmt;
  try {
    stmt = prepare(db_.get(), "INSERT INTO temp." + quoteName(name) + " " + b.sql);
  } catch (const SqliteFailure& e) {
    throw translate(e.code(), e.what(), &b, "SELECT");
  }
  bindParams(stmt.get(), b, f);
  stepToEnd(stmt.get(), &b, "SELECT");
  return copy;
}

std::shared_ptr<const TableInfo> SqliteSession::insteadOfView(const Name& name,
                                                              const std::vector<TableRefPtr>& from,
                                                              int event) {
  Name target = name;
  // UPDATE x ... FROM v AS x: the alias names the statement's target.
  std::function<void(const TableRef&)> findAlias = [&](const TableRef& r) {
    if (r.kind == TableRef::Kind::Named && name.size() == 1 && iequals(r.alias, name[0]))
      target = r.name;
    if (r.kind == TableRef::Kind::Join) {
      findAlias(*r.left);
      findAlias(*r.right);
    }
  };
  for (const auto& r : from) findAlias(*r);
  auto table = findTable(target);
  if (table && table->xtype == "V" && insteadOfTrigger(*table, event)) return table;
  return nullptr;
}

void SqliteSession::runTrigger(const TableInfo& table, const TriggerInfo& trigger,
                               const std::shared_ptr<const TriggerTables>& tables, Frame& caller) {
  if (caller.nestLevel >= kMaxTriggerNesting)
    throw SqlError(217, {std::to_string(kMaxTriggerNesting)});
  bool quoted = false;
  std::string text = catalog_.objectText(table.schema, trigger.id, &quoted);
  auto& cached = procTexts_[std::to_string(table.ownerId) + (quoted ? "1" : "0") + text];
  if (!cached) cached = std::make_shared<Batch>(parseBatch(text, quoted));
  std::shared_ptr<Batch> holder = cached;
  auto* def = holder->statements.empty()
                  ? nullptr
                  : dynamic_cast<const CreateTriggerStmt*>(holder->statements[0].get());
  if (!def) return;

  Frame frame;
  frame.nestLevel = caller.nestLevel + 1;
  frame.procName = trigger.name;
  frame.trigger = tables;
  frame.moduleOwner = table.ownerId;
  // The body binds against its own cache: the same statements see other
  // capture tables when the trigger fires at another depth.
  std::map<const void*, BoundStatement> outerBound;
  outerBound.swap(boundCache_);
  runningTriggers_.push_back(trigger.id);
  Frame* saved = currentFrame_;
  currentFrame_ = &frame;
  struct Restore {
    SqliteSession& s;
    Frame* frame;
    Frame& own;
    std::map<const void*, BoundStatement>& bound;
    Settings settings;
    ~Restore() {
      s.dropTableVariables(own);
      s.settings_ = settings;
      s.currentFrame_ = frame;
      s.runningTriggers_.pop_back();
      s.boundCache_.swap(bound);
    }
  } restore{*this, saved, frame, outerBound, settings_};
  // SET options a trigger changes last until it ends; XACT_ABORT is on.
  settings_.xactAbort = true;
  runStatements(def->body, frame);
}

void SqliteSession::dropCaptureTriggers() {
  // Capture triggers exist only while a statement runs, so none that is
  // left over is in use.
  std::vector<std::string> names;
  querySql(db_.get(),
           "SELECT name FROM sqlite_temp_master WHERE type = 'trigger' AND "
           "substr(name, 1, 15) = '_tessel_capture'",
           {}, [&](sqlite3_stmt* st) {
             names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
           });
  for (const auto& n : names)
    sqlite3_exec(db_.get(), ("DROP TRIGGER IF EXISTS temp." + quoteName(n)).c_str(), nullptr,
                 nullptr, nullptr);
}

void SqliteSession::rollbackKeepingTables(const std::function<void()>& rollback) {
  if (triggerTables_.empty() && liveTableVars_.empty()) {
    rollback();
    dropCaptureTriggers();
    return;
  }
  // Table variables: their rows and identity counters.
  struct Kept {
    std::vector<std::vector<Stored>> rows;
    Stored identity;
  };
  std::vector<Kept> vars(liveTableVars_.size());
  for (std::size_t i = 0; i < liveTableVars_.size(); ++i) {
    const std::string& name = liveTableVars_[i].table;
    querySql(db_.get(), "SELECT * FROM temp." + quoteName(name), {}, [&](sqlite3_stmt* st) {
      std::vector<Stored> row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) row.push_back(columnStored(st, c));
      vars[i].rows.push_back(std::move(row));
    });
    querySql(db_.get(),
             "SELECT current FROM temp._tessel_identity WHERE id = (SELECT id FROM "
             "temp.sysobjects WHERE name = ?)",
             {Stored::text(name)},
             [&](sqlite3_stmt* st) { vars[i].identity = columnStored(st, 0); });
  }
  std::vector<std::vector<std::vector<Stored>>> rows(triggerTables_.size());
  for (std::size_t i = 0; i < triggerTables_.size(); ++i) {
    querySql(db_.get(), "SELECT * FROM temp." + quoteName(triggerTables_[i].info->name), {},
             [&](sqlite3_stmt* st) {
               std::vector<Stored> row;
               for (int c = 0; c < sqlite3_column_count(st); ++c)
                 row.push_back(columnStored(st, c));
               rows[i].push_back(std::move(row));
             });
  }
  rollback();
  dropCaptureTriggers();
  catalog_.invalidate();
  bool recreated = false;
  for (std::size_t i = 0; i < liveTableVars_.size(); ++i) {
    const auto& var = liveTableVars_[i];
    bool exists = false;
    querySql(db_.get(), "SELECT 1 FROM sqlite_temp_master WHERE type = 'table' AND name = ?",
             {Stored::text(var.table)}, [&](sqlite3_stmt*) { exists = true; });
    if (!exists) {
      // Declared inside the transaction: the rollback took the table too.
      Name internal{var.table};
      Ddl(*this).createTable(*var.definition, &internal);
      recreated = true;
    }
    execSql(db_.get(), "DELETE FROM temp." + quoteName(var.table));
    std::string marks;
    for (std::size_t c = 0; !vars[i].rows.empty() && c < vars[i].rows[0].size(); ++c)
      marks += c ? ", ?" : "?";
    for (const auto& row : vars[i].rows)
      execSql(db_.get(), "INSERT INTO temp." + quoteName(var.table) + " VALUES (" + marks + ")",
              row);
    execSql(db_.get(),
            "UPDATE temp._tessel_identity SET current = ? WHERE id = (SELECT id FROM "
            "temp.sysobjects WHERE name = ?)",
            {vars[i].identity, Stored::text(var.table)});
  }
  if (recreated) boundCache_.clear();
  for (std::size_t i = 0; i < triggerTables_.size(); ++i) {
    const auto& t = triggerTables_[i];
    execSql(db_.get(), t.create);
    execSql(db_.get(), "DELETE FROM temp." + quoteName(t.info->name));
    if (t.info->columns.empty()) continue;
    std::string marks;
    for (std::size_t c = 0; c < t.info->columns.size(); ++c) marks += c ? ", ?" : "?";
    std::string sql = "INSERT INTO temp." + quoteName(t.info->name) + " VALUES (" + marks + ")";
    for (const auto& row : rows[i]) execSql(db_.get(), sql, row);
  }
}

}  // namespace tessel::sqld::engine
