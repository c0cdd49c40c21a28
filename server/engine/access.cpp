// What a session may write and the write locks it takes for it.
//
// Design note
//  Locks: SQLite lets one connection write a database file at a time and
//  makes a transaction that has read a file fail at once (SQLITE_BUSY, or
//  SQLITE_BUSY_SNAPSHOT when another commit came after its read) when it
//  then wants to write it: its busy handler is not called then. So a
//  statement that writes takes the engine's write lock of each database it
//  writes (write_locks.h) before it is bound, that is before the
//  transaction reads there, and a transaction that has only read so far
//  starts from the latest commit (refreshSnapshot). The wait follows SET
//  LOCK_TIMEOUT (1222 when it passes), stops on cancel and KILL, and a wait
//  that would close a cycle makes its session the deadlock victim (1205).
//  Locks are held until the SQLite transaction ends: the statement's own
//  outside a transaction, COMMIT or ROLLBACK inside one.
//
//  Rights: a login listed among the engine's database users may use its
//  databases as their owner, read master and use tempdb; it gets SQL
//  Server's errors for the rest (916 for another database, 262 and 229 for
//  writes in master, 262 for CREATE DATABASE, 3701 for DROP DATABASE, 6102
//  for KILL). Every other login may do everything.

#include <sqlite3.h>

#include "catalog.h"
#include "errors.h"
#include "lexer.h"
#include "session.h"
#include "write_targets.h"

namespace tessel::sqld::engine {

std::string SqliteSession::databaseOf(const Name& name) const {
  if (name.empty()) return currentDb_;
  const std::string& object = name.back();
  if ((!object.empty() && object[0] == '@') || isSessionTempName(object)) return {};
  if (isGlobalTempName(object)) return "tempdb";
  const std::string db = name.size() >= 3 ? name[name.size() - 3] : std::string();
  return db.empty() ? currentDb_ : engine_.canonicalName(db);
}

void SqliteSession::requireAccess(const std::string& database) const {
  if (!userDatabases_ || database == "master" || database == "tempdb") return;
  for (const std::string& granted : *userDatabases_)
    if (granted == database) return;
  throw SqlError(916, {login_.user, database});
}

void SqliteSession::prepareWrites(const Stmt& s) {
  if (s.kind == StmtKind::CreateDatabase && databaseUser())
    throw SqlError(262, {"CREATE DATABASE", "master"});
  if (s.kind == StmtKind::Drop && databaseUser()) {
    const auto& drop = static_cast<const DropStmt&>(s);
    if (iequals(drop.objectType, "DATABASE"))
      throw SqlError(3701, {"drop", "database", drop.names.empty() ? "" : drop.names[0].back()});
  }
  for (const WriteTarget& target : writeTargets(s)) {
    const std::string database = databaseOf(target.name);
    if (database.empty()) continue;
    if (databaseUser()) {
      requireAccess(database);
      if (database == "master") {
        const Name& n = target.name;
        const std::string object = n.empty() ? std::string() : n.back();
        // SQL Server does not tell a name it may not drop from one that is not there.
        if (target.verb.rfind("DROP ", 0) == 0)
          throw SqlError(3701, {"drop", lower(target.verb.substr(5)), object});
        if (target.definition) throw SqlError(262, {target.verb, database});
        const std::string schema =
            n.size() >= 2 && !n[n.size() - 2].empty() ? n[n.size() - 2] : "dbo";
        throw SqlError(229, {target.verb, object, database, schema});
      }
    }
    // A database that does not exist is reported when the statement is bound.
    if (validDatabaseName(database) && engine_.exists(database)) lockForWrite(database);
  }
}

void SqliteSession::lockForWrite(const std::string& database) {
  if (writeLocked_.count(database)) return;
  if (!lockOwner_) lockOwner_ = engine_.nextTransactionDescriptor();
  auto stop = [this] { return (cancel_ && cancel_->requested()) || terminated(); };
  switch (engine_.writeLocks().acquire(lockOwner_, database, settings_.lockTimeoutMs, stop)) {
    case WriteLocks::Outcome::Acquired:
      writeLocked_.insert(database);
      return;
    case WriteLocks::Outcome::TimedOut:
      throw SqlError(1222, {});
    case WriteLocks::Outcome::Deadlock:
      throw SqlError(1205, {std::to_string(login_.spid)});
    case WriteLocks::Outcome::Stopped:
      throw Cancelled{};
  }
}

void SqliteSession::releaseWriteLocks() {
  if (writeLocked_.empty() || (db_ && !sqlite3_get_autocommit(db_.get()))) return;
  engine_.writeLocks().releaseAll(lockOwner_);
  writeLocked_.clear();
}

}  // namespace tessel::sqld::engine
