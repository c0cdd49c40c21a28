// createSqliteEngine: the Engine behind tessel-sqld, and the session's name
// resolution against its attached databases.

#include <mutex>

#include "ddl.h"
#include "engine_state.h"
#include "errors.h"
#include "lexer.h"
#include "session.h"
#include "sys_views.h"

namespace tessel::sqld {
namespace engine {
namespace {

class SqliteEngine : public Engine {
 public:
  explicit SqliteEngine(const EngineOptions& options) : state_(options) {}

  std::unique_ptr<Session> openSession(const LoginInfo& login, Message& error) override {
    auto session = std::make_unique<SqliteSession>(state_, login);
    if (!session->open(error)) return nullptr;
    return session;
  }

  std::string defaultDatabase() const override { return "tessel"; }

 private:
  EngineState state_;
};

}  // namespace

std::string SqliteSession::schemaOfName(const Name& name, std::string* database) {
  if (!name.empty() && isSessionTempName(name.back())) {
    requireTempdb("tempdb");
    if (database) *database = "tempdb";
    return "temp";
  }
  std::string db = name.size() >= 3 ? name[name.size() - 3] : std::string();
  if (db.empty()) db = currentDb_;
  if (!name.empty() && isGlobalTempName(name.back())) db = "tempdb";
  std::string canonical = engine_.canonicalName(db);
  requireTempdb(canonical);
  if (!attached_.count(canonical)) {
    if (!validDatabaseName(canonical) || !engine_.exists(canonical)) return {};
    // SQLite attaches inside a transaction too: a database first named
    // after BEGIN TRAN is found like any other.
    attach(canonical);
  }
  if (database) *database = canonical;
  return canonical;
}

int SqliteSession::ownerOfName(const Name& name, const std::string& schema) {
  if (name.size() < 2 || name[name.size() - 2].empty() || schema == "temp" ||
      isGlobalTempName(name.back()))
    return kDboSchemaId;
  return catalog_.schemaId(schema, name[name.size() - 2]);
}

std::shared_ptr<const TableInfo> SqliteSession::findTable(const Name& name) {
  if (name.size() == 1 && !name[0].empty() && name[0][0] == '@') {
    auto it = currentFrame_ ? currentFrame_->tableVars.find(lower(name[0]))
                            : decltype(currentFrame_->tableVars.end()){};
    if (!currentFrame_ || it == currentFrame_->tableVars.end()) throw SqlError(1087, {name[0]});
    return findTable(Name{it->second});
  }
  // A trigger's inserted and deleted tables.
  if (name.size() == 1 && currentFrame_ && currentFrame_->trigger) {
    if (iequals(name[0], "inserted")) return currentFrame_->trigger->inserted;
    if (iequals(name[0], "deleted")) return currentFrame_->trigger->deleted;
  }
  std::string database;
  std::string schema = schemaOfName(name, &database);
  if (schema.empty()) return nullptr;
  const int owner = ownerOfName(name, schema);
  if (!owner) return nullptr;
  std::shared_ptr<const TableInfo> table;
  // A view's, procedure's or trigger's one-part names look in its own
  // schema first.
  const int module = viewOwner_      ? viewOwner_
                     : currentFrame_ ? currentFrame_->moduleOwner
                                     : kDboSchemaId;
  if (name.size() == 1 && module != kDboSchemaId && schema != "temp")
    table = catalog_.table(schema, database, name.back(), module);
  if (!table) table = catalog_.table(schema, database, name.back(), owner);
  // tempdb's catalog tables list the session's temporary objects too.
  if (table && table->xtype == "S" && schema == "tempdb") {
    if (std::string view = Catalog::tempdbView(table->name); !view.empty()) {
      auto merged = std::make_shared<TableInfo>(*table);
      merged->schema = "temp";
      merged->name = view;
      merged->storedName = view;
      return merged;
    }
  }
  // An INSERT an INSTEAD OF trigger takes over fills the trigger's table;
  // the INSERT names its target first, and other mentions of the table in
  // the statement read the table itself.
  if (table && redirect_ && !redirect_->used && table->id == redirect_->id &&
      table->schema == redirect_->schema) {
    redirect_->used = true;
    return redirect_->to;
  }
  return table;
}

std::shared_ptr<const TableInfo> SqliteSession::peekTable(const Name& name) {
  const bool used = redirect_ && redirect_->used;
  auto table = findTable(name);
  if (redirect_) redirect_->used = used;
  return table;
}

std::shared_ptr<const TableInfo> SqliteSession::resolveTable(const Name& name) {
  auto t = findTable(name);
  if (!t) throw SqlError(208, {joinName(name)});
  return t;
}

std::vector<std::string> SqliteSession::primaryKeyColumns(const TableInfo& table) {
  if (table.xtype != "U") return {};
  try {
    return Ddl(*this).primaryKeyColumns(table);
  } catch (const SqliteFailure&) {
    // A table without a catalog of its own (a trigger's inserted rows).
    return {};
  }
}

std::string SqliteSession::schemaFor(const std::string& database) {
  if (database.empty()) return currentDb_;
  return schemaOfName({database, "", "x"}, nullptr);
}

std::string SqliteSession::dynamicViewText(const Name& name) {
  if (!isSessionView(name)) return {};
  std::vector<SessionView> views;
  for (const auto& e : engine_.sessions()) {
    SessionView v;
    v.login = e.login;
    v.loginTime = e.loginTime;
    const bool self = e.login.spid == login_.spid;
    v.running = self || e.busy;
    v.openTransactions = self ? tranCount_ : e.openTransactions;
    v.settings = self ? settings_ : e.settings;
    v.database = self ? currentDb_ : e.database;
    views.push_back(std::move(v));
  }
  return sessionViewText(name, views);
}

bool SqliteSession::identityInsert(const TableInfo& table) {
  return identityInsertTables_.count(lower(table.qualifiedName())) > 0;
}

}  // namespace engine

std::unique_ptr<Engine> createSqliteEngine(const EngineOptions& options) {
  return std::make_unique<engine::SqliteEngine>(options);
}

}  // namespace tessel::sqld
