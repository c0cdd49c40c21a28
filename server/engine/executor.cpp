// The executor: runs a parsed batch or procedure statement by statement.
//
// Design notes
//  1. A request (batch, RPC, transaction request) is parsed whole before
//     anything runs, so a syntax error (102, 156 ...) runs nothing.
//  2. Control flow (IF, WHILE, BEGIN...END, RETURN, BREAK, CONTINUE) is
//     interpreted here; each data statement is bound once per request
//     (boundCache_, keyed by its tree node) into one SQLite statement that is
//     prepared once per session (statements_, keyed by SQL text).
//  3. Errors: a SqlError raised by a statement is reported (message, then
//     3621 for statements SQL Server terminates, then the statement's Done
//     with the error flag). Statement-scope errors let the batch go on;
//     batch-scope errors unwind to the request (BatchAbort). @@ERROR keeps
//     the number until the next statement.
//  4. Done tokens: each statement that SQL Server reports (DML, SELECT, DDL,
//     SET, USE, transactions) yields one; the Emitter holds the last one back
//     so the request ends with more=false. Inside procedures they are
//     DoneInProc; a call ends with RETURNSTATUS and DoneProc, which carries
//     the error flag when an error reached the client while the call ran
//     (an error-level RAISERROR closes with a flagged Done of its own).
//  5. Cancel: checked between rows, by the SQLite progress handler, while
//     waiting for locks and every 10 ms in WAITFOR; a cancel unwinds with
//     Cancelled and the listener acknowledges.
//  6. Transactions: @@TRANCOUNT counts BEGIN TRAN; the outermost one starts
//     a SQLite transaction and the matching COMMIT ends it; ROLLBACK ends it
//     at any depth. Outside a transaction every statement commits itself.
//     A statement that writes takes the write locks of its databases before
//     it runs (access.cpp); the outermost statement gives them back when no
//     transaction is left open.

#include <sqlite3.h>

#include "atomic_commit.h"
#include "collations.h"
#include "errors.h"
#include "functions.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "types.h"
#include "variable_check.h"
#include "xquery_batch_check.h"

namespace tessel::sqld::engine {
namespace {

// A bare THROW passes on the caught error as it was, where it was raised.
bool isRethrow(const Stmt& s) {
  return s.kind == StmtKind::Throw && !static_cast<const ThrowStmt&>(s).number;
}

}  // namespace

SqliteSession::SqliteSession(EngineState& engine, const LoginInfo& login)
    : engine_(engine),
      login_(login),
      userDatabases_(engine.userDatabases(login.user)),
      catalog_(nullptr) {
  // The engine's lock time-out is the session's until SET LOCK_TIMEOUT; -1
  // (the default, as in SQL Server) waits without limit.
  settings_.lockTimeoutMs = engine.options().lockTimeoutMs;
  if (login.odbc) {
    settings_.ansiNulls = settings_.ansiWarnings = settings_.ansiPadding = true;
    settings_.quotedIdentifier = settings_.ansiNullDefault = settings_.concatNullYieldsNull = true;
  }
}

SqliteSession::~SqliteSession() {
  engine_.unregisterSession(login_.spid, killed_);
  statements_.clear();
  if (db_ && tranCount_ > 0) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  tranCount_ = 0;
  if (lockOwner_) engine_.writeLocks().releaseAll(lockOwner_);
  writeLocked_.clear();
  // A killed session still cleans up: its statements must not be interrupted.
  killed_->store(false, std::memory_order_release);
  // Global temporary tables end with the session that made them, unless
  // they are gone already (dropped, rolled back, or made again by another).
  // (A copy: dropping one takes it off the list.)
  const std::vector<GlobalTemp> globals = globalTemps_;
  for (const GlobalTemp& g : globals) {
    if (!db_) break;
    try {
      bool same = false;
      querySql(db_.get(),
               "SELECT 1 FROM tempdb.sysobjects WHERE name = ? COLLATE TSQL_CI AND id = ? AND "
               "crdate = ?",
               {Stored::text(g.name), Stored::integer(g.id), Stored::integer(g.created)},
               [&](sqlite3_stmt*) { same = true; });
      if (!same) continue;
      DropStmt drop;
      drop.objectType = "TABLE";
      drop.names.push_back({"tempdb", "", g.name});
      Ddl(*this).drop(drop);
    } catch (...) {
      // Another session holds tempdb past the lock time-out: the table
      // stays until dropped or the server restarts.
    }
  }
}

bool SqliteSession::open(Message& error) {
  sqlite3* raw = nullptr;
  // One thread at a time uses a session, so the connection needs no mutex of
  // its own (it would cost a lock on every column read).
  int rc = sqlite3_open_v2(
      ":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    error = makeMessage(4060, {login_.database});
    return false;
  }
  catalog_ = Catalog(db_.get());
  // SQLite's Bloom filters ahead of an automatic index hash a key's bytes,
  // so a row whose key matches only under the column's collation (trailing
  // blanks, letter case) was dropped from joins; they stay off.
  constexpr int kSqliteBloomFilter = 0x00080000;
  sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db_.get(), kSqliteBloomFilter);
  registerFunctions(db_.get(), &settings_);
  registerDatabaseCollations(db_.get(), engine_);
  registerSequenceFunction();
  registerRowversionFunction();
  registerFunctionCalls();
  // t_recursion(level, limit): a recursive common table expression's level,
  // or error 530 once it passes MAXRECURSION (0: no limit).
  sqlite3_create_function_v2(
      db_.get(), "t_recursion", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        std::int64_t level = sqlite3_value_int64(v[0]);
        std::int64_t limit = sqlite3_value_int64(v[1]);
        if (limit > 0 && level > limit) {
          std::string text = encodeErrorText(makeMessage(530, {std::to_string(limit)}), false);
          sqlite3_result_error(c, text.c_str(), static_cast<int>(text.size()));
          return;
        }
        sqlite3_result_int64(c, level);
      },
      nullptr, nullptr, nullptr);
  sqlite3_progress_handler(db_.get(), 1000, &SqliteSession::progress, this);
  sqlite3_busy_handler(
      db_.get(),
      [](void* p, int count) -> int {
        auto* self = static_cast<SqliteSession*>(p);
        if (count == 0) self->busySince_ = std::chrono::steady_clock::now();
        if ((self->cancel_ && self->cancel_->requested()) || self->terminated()) return 0;
        int timeout = self->settings_.lockTimeoutMs;
        auto waited = std::chrono::steady_clock::now() - self->busySince_;
        if (timeout >= 0 && waited >= std::chrono::milliseconds(timeout)) return 0;
        sqlite3_sleep(2);
        return 1;
      },
      this);
  try {
    execSql(db_.get(), "PRAGMA temp_store=MEMORY");
    Catalog::initialize(db_.get(), "temp", false);
    attach("master");
    // Without tempdb (the engine could not make it) sessions start all the
    // same, and temporary tables get error 945.
    if (engine_.tempdbError().empty()) {
      attach("tempdb");
      // The suffix of the session's #table names in tempdb's catalog.
      Catalog::createTempdbViews(db_.get(), static_cast<std::int64_t>(login_.spid) << 24);
    }
    // A database user starts in the first of its databases.
    std::string database = !login_.database.empty()                     ? login_.database
                           : userDatabases_ && !userDatabases_->empty() ? userDatabases_->front()
                                                                        : "tessel";
    if (!validDatabaseName(database) || !engine_.exists(database)) {
      error = makeMessage(4060, {database});
      return false;
    }
    try {
      requireAccess(engine_.canonicalName(database));
    } catch (const SqlError&) {
      error = makeMessage(4060, {database});
      return false;
    }
    attach(database);
    currentDb_ = engine_.canonicalName(database);
    currentCollation_ = engine_.collationOf(currentDb_);
    engine_.registerSession(login_.spid, killed_, login_);
    if (!engine_.setSessionDatabase(login_.spid, currentDb_)) {
      error = makeMessage(4060, {database});
      return false;
    }
  } catch (const SqlError& e) {
    error = e.message();
    return false;
  } catch (const std::exception& e) {
    error = makeMessage(4060, {login_.database});
    return false;
  }
  return true;
}

void SqliteSession::attach(const std::string& database) {
  std::string name = engine_.canonicalName(database);
  if (attached_.count(name)) return;
  requireTempdb(name);
  if (!validDatabaseName(name) || !engine_.exists(name)) throw SqlError(911, {database});
  requireAccess(name);
  execSql(db_.get(), "ATTACH DATABASE ? AS " + quoteName(name),
          {Stored::text(engine_.pathFor(name))});
  // Inside a transaction the journal mode cannot change; every database
  // file is made in WAL mode and keeps it.
  if (sqlite3_get_autocommit(db_.get()))
    execSql(db_.get(), "PRAGMA " + quoteName(name) + ".journal_mode=WAL");
  // Reading through a memory map saves a copy of every page a scan touches.
  execSql(db_.get(), "PRAGMA " + quoteName(name) + ".mmap_size=268435456");
  execSql(db_.get(), "PRAGMA foreign_keys=ON");
  attached_.insert(name);
}

void SqliteSession::releaseDroppedDatabases() {
  std::uint64_t drops = engine_.dropCount();
  if (drops == seenDrops_ || !sqlite3_get_autocommit(db_.get())) return;
  seenDrops_ = drops;
  // A database of the same name made since is another file: every one the
  // session does not stand in is let go, and attached again when named.
  for (auto it = attached_.begin(); it != attached_.end();) {
    if (*it == "master" || *it == "tempdb" || *it == currentDb_) {
      ++it;
      continue;
    }
    execSql(db_.get(), "DETACH DATABASE " + quoteName(*it));
    it = attached_.erase(it);
  }
}

void SqliteSession::dropDatabase(const std::string& name) {
  if (tranCount_ > 0) throw SqlError(226, {"DROP DATABASE"});
  std::string canonical = engine_.canonicalName(name);
  if (attached_.count(canonical) && canonical != currentDb_ && sqlite3_get_autocommit(db_.get())) {
    execSql(db_.get(), "DETACH DATABASE " + quoteName(canonical));
    attached_.erase(canonical);
  }
  engine_.dropDatabase(name);
}

void SqliteSession::requireTempdb(const std::string& database) const {
  if (database == "tempdb" && !engine_.tempdbError().empty()) throw SqlError(945, {"tempdb"});
}

void SqliteSession::commitSqlite(const std::string& sql) {
  const std::vector<std::string> written = writtenDatabases(db_.get(), attached_);
  if (written.size() >= 2) writeCommitMarkers(db_.get(), written, engine_.nextCommitId());
  execSql(db_.get(), sql);
}

void SqliteSession::releaseSavepoint(const std::string& name, bool outermost) {
  if (outermost) {
    commitSqlite("RELEASE " + name);
  } else {
    execSql(db_.get(), "RELEASE " + name);
  }
}

void SqliteSession::beginRequest(ResultSink& sink, const CancelFlag& cancel) {
  releaseDroppedDatabases();
  engine_.publishSession(login_.spid, settings_, tranCount_, true);
  out_ = std::make_unique<Emitter>(sink);
  cancel_ = &cancel;
  catalog_.invalidate();
  boundCache_.clear();
}

void SqliteSession::endRequest() {
  engine_.publishSession(login_.spid, settings_, tranCount_, false);
  releaseWriteLocks();
  boundCache_.clear();
  extraStatements_.clear();
  cancel_ = nullptr;
  out_.reset();
}

void SqliteSession::executeBatch(std::string_view sql, ResultSink& sink, const CancelFlag& cancel) {
  beginRequest(sink, cancel);
  if (terminated()) {
    out_->finish(Done::Kind::Done, true);
    endRequest();
    return;
  }
  Frame frame;
  currentFrame_ = &frame;
  try {
    Batch batch = parseBatch(sql, settings_.quotedIdentifier);
    checkVariables(batch.statements);
    checkXQueries(batch.statements, [this](const Name& name, const std::string& column) {
      XmlColumnFound found;
      std::shared_ptr<const TableInfo> table;
      try {
        table = peekTable(name);
      } catch (const SqlError&) {
        // A name the statement itself will report on when it runs.
      }
      if (!table || table->xtype == "V") return found;
      found.state = XmlColumnFound::State::NoColumn;
      for (const ColumnInfo& c : table->columns) {
        if (lower(c.name) != lower(column)) continue;
        found.state = c.type.type == SqlType::Xml ? XmlColumnFound::State::Xml
                                                  : XmlColumnFound::State::NotXml;
        found.where = table->name + "." + c.name;
      }
      return found;
    });
    runStatements(batch.statements, frame);
    rollbackDoomed();
    out_->finish();
  } catch (const SqlError& e) {
    // Compile errors: nothing of the batch ran. An XQuery syntax error still
    // rolls back the open transaction.
    reportError(e, nullptr, frame, e.scope() == ErrorScope::Rollback);
    out_->finish(Done::Kind::Done, true);
  } catch (const BatchAbort&) {
    rollbackDoomed();
    out_->finish(Done::Kind::Done, true);
  } catch (const Cancelled&) {
    out_->abandon();
  } catch (const std::exception& e) {
    Message m;
    m.number = 8180;
    m.severity = 16;
    m.text = std::string("Statement could not be executed: ") + e.what();
    out_->message(m);
    out_->finish(Done::Kind::Done, true);
  }
  dropTableVariables(frame);
  currentFrame_ = nullptr;
  endRequest();
}

Flow SqliteSession::runStatements(const std::vector<StmtPtr>& body, Frame& frame) {
  for (const auto& s : body) {
    Flow flow = runStatement(*s, frame);
    if (flow != Flow::Normal) return flow;
  }
  return Flow::Normal;
}

Flow SqliteSession::runStatement(const Stmt& s, Frame& frame) {
  // The outermost statement gives back the write locks when it leaves no
  // transaction open, however it ends.
  struct Depth {
    SqliteSession& self;
    ~Depth() {
      if (--self.statementDepth_ == 0) {
        self.keepSequenceValues();
        self.keepRowversions();
        self.releaseWriteLocks();
      }
    }
  } depth{*this};
  ++statementDepth_;
  sequenceRows_.clear();
  checkCancel();
  try {
    Flow flow = dispatchGuarded(s, frame);
    // @@ERROR tells the next statement how the previous one ended; control
    // flow passes on what its last statement left.
    switch (s.kind) {
      case StmtKind::If:
      case StmtKind::While:
      case StmtKind::Block:
      case StmtKind::Return:
      case StmtKind::Break:
      case StmtKind::Continue:
      case StmtKind::Raiserror:
      case StmtKind::TryCatch:
        break;
      default:
        error_ = 0;
    }
    return flow;
  } catch (const SqlError& e) {
    noteAutoRollback();
    // Name resolution errors at the TRY block's own level are not caught:
    // they end that batch or procedure, and a caller's CATCH may take them.
    bool sameLevelName =
        e.scope() == ErrorScope::Scope && !tryFrames_.empty() && tryFrames_.back() == &frame;
    if (tryDepth_ > 0 && e.message().severity > 10 && !sameLevelName) {
      // Whatever would end the transaction outside TRY leaves it
      // uncommittable; RAISERROR does not follow XACT_ABORT.
      if (tranCount_ > 0 && s.kind != StmtKind::Raiserror &&
          (settings_.xactAbort || e.message().severity >= 20 || e.scope() == ErrorScope::Rollback))
        doomed_ = true;
      Message m = e.message();
      if (!isRethrow(s) && !e.ownLine()) {
        m.line = s.line;
        m.procName = frame.procName;
      }
      error_ = m.number;
      throw TryTransfer{m};
    }
    // A failed CREATE of an existing name (and, under XACT_ABORT, any error)
    // ends the transaction as well as the batch.
    const bool rollsBack =
        e.scope() == ErrorScope::Rollback || (settings_.xactAbort && e.message().severity > 10);
    reportError(e, &s, frame, rollsBack);
    if (e.scope() != ErrorScope::Statement || rollsBack) {
      throw BatchAbort{e.scope() == ErrorScope::Scope && !settings_.xactAbort};
    }
    return Flow::Normal;
  }
}

void SqliteSession::reportError(const SqlError& e, const Stmt* s, const Frame& frame,
                                bool endTransaction) {
  Message m = e.message();
  if (!s || !isRethrow(*s)) {
    if (s && !e.ownLine()) m.line = s->line;
    m.procName = frame.procName;
  }
  error_ = m.number;
  out_->message(m);
  if (e.terminatesStatement()) {
    Message info = makeMessage(3621, {});
    info.procName = frame.procName;
    info.line = m.line;
    out_->message(info);
  }
  // The rollback is announced between the error and the statement's DONE,
  // where clients look for it.
  if (endTransaction && tranCount_ > 0) {
    rollbackKeepingTables([&] { sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr); });
    tranCount_ = 0;
    savepoints_.clear();
    catalog_.invalidate();
    if (!statementTran_)
      out_->transactionChanged(ResultSink::TransactionEvent::Rollback, 0, descriptor_);
    statementTran_ = false;
    descriptor_ = 0;
  }
  if (s) {
    Done d;
    d.kind = doneKind(frame);
    d.error = true;
    out_->done(d);
  }
}

Flow SqliteSession::execTryCatch(const TryCatchStmt& s, Frame& f) {
  Message caught;
  {
    tryFrames_.push_back(&f);
    struct Depth {
      int& n;
      std::vector<const Frame*>& frames;
      ~Depth() {
        --n;
        frames.pop_back();
      }
    } depth{++tryDepth_, tryFrames_};
    try {
      return runStatements(s.tryBody, f);
    } catch (const TryTransfer& t) {
      caught = t.error;
    }
  }
  handling_.push_back(caught);
  struct Pop {
    std::vector<Message>& v;
    ~Pop() { v.pop_back(); }
  } pop{handling_};
  return runStatements(s.catchBody, f);
}

void SqliteSession::execThrow(const ThrowStmt& s, Frame& f) {
  if (!s.number) {
    if (handling_.empty()) throw SqlError(10704, {});
    throw SqlError(handling_.back(), ErrorScope::Batch);
  }
  TypeInfo nt, mt, st;
  Stored number = evaluate(*s.number, f, &nt);
  Stored text = evaluate(*s.message, f, &mt);
  Stored state = evaluate(*s.state, f, &st);
  std::int64_t n =
      number.isNull() ? 0 : convertValue(number, nt, makeType(SqlType::Int), 0, settings_).i;
  if (n < 50000) throw SqlError(35100, {std::to_string(n)});
  // The state is a tinyint: outside 0 to 255 the conversion fails.
  std::int64_t st8 =
      state.isNull() ? 0 : convertValue(state, st, makeType(SqlType::TinyInt), 0, settings_).i;
  Message m;
  m.number = static_cast<std::int32_t>(n);
  m.severity = 16;
  m.state = static_cast<std::uint8_t>(st8);
  m.text = text.isNull() ? std::string() : storedToText(text, mt);
  throw SqlError(m, ErrorScope::Batch);
}

void SqliteSession::dropTableVariables(Frame& f) {
  if (f.tableVars.empty()) return;
  for (const auto& [var, table] : f.tableVars) {
    std::erase_if(liveTableVars_, [&](const LiveTableVar& v) { return v.table == table; });
    readonlyTables_.erase(table);
    DropStmt drop;
    drop.objectType = "TABLE";
    drop.names.push_back({table});
    try {
      Ddl(*this).drop(drop);
    } catch (...) {
      // Gone with a rolled-back transaction, or the request was cancelled:
      // the name is never used again either way.
    }
  }
  f.tableVars.clear();
  f.tableVarTypes.clear();
  boundCache_.clear();
}

void SqliteSession::rollbackDoomed() {
  if (!doomed_ || tranCount_ == 0) return;
  sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  dropCaptureTriggers();
  tranCount_ = 0;
  savepoints_.clear();
  doomed_ = false;
  if (!statementTran_)
    out_->transactionChanged(ResultSink::TransactionEvent::Rollback, 0, descriptor_);
  statementTran_ = false;
  descriptor_ = 0;
  out_->message(makeMessage(3998, {}));
}

void SqliteSession::statementDone(Done::Kind kind, std::uint16_t curCmd, bool countValid,
                                  std::uint64_t count, bool error) {
  Done d;
  d.kind = kind;
  d.curCmd = curCmd;
  d.countValid = countValid && !settings_.nocount;
  d.rowCount = count;
  d.error = error;
  out_->done(d);
}

void SqliteSession::checkCancel() {
  if ((cancel_ && cancel_->requested()) || terminated()) throw Cancelled{};
}

int SqliteSession::progress(void* p) {
  auto* self = static_cast<SqliteSession*>(p);
  return (self->cancel_ && self->cancel_->requested()) || self->terminated() ? 1 : 0;
}

void SqliteSession::noteAutoRollback() {
  // SQLite rolls a transaction back by itself after some failures.
  if (tranCount_ > 0 && sqlite3_get_autocommit(db_.get())) {
    dropCaptureTriggers();
    tranCount_ = 0;
    savepoints_.clear();
    if (out_ && !statementTran_)
      out_->transactionChanged(ResultSink::TransactionEvent::Rollback, 0, descriptor_);
    statementTran_ = false;
    descriptor_ = 0;
  }
}

// Runs a statement and turns every failure that is not already a SQL Server
// error into one, so that nothing else leaves a request.
Flow SqliteSession::dispatchGuarded(const Stmt& s, Frame& f) {
  try {
    return dispatch(s, f);
  } catch (const SqlError&) {
    throw;
  } catch (const SqliteFailure& e) {
    throw translate(e.code(), e.what(), nullptr, "SELECT");
  } catch (const Cancelled&) {
    throw;
  } catch (const BatchAbort&) {
    throw;
  } catch (const std::exception& e) {
    Message m;
    m.number = 8180;
    m.severity = 16;
    m.text = std::string("Statement could not be executed: ") + e.what();
    throw SqlError(m, ErrorScope::Statement);
  }
}

// READ COMMITTED inside a transaction: until the transaction writes, each
// statement starts from the latest committed state rather than the snapshot
// of the transaction's first read. Starting from the latest state also lets
// the first write take the write lock without a stale-snapshot failure.
void SqliteSession::refreshSnapshot() {
  if (tranCount_ == 0 || !savepoints_.empty()) return;
  if (sqlite3_txn_state(db_.get(), nullptr) != SQLITE_TXN_READ) return;
  // A statement still reading keeps the old snapshot; that is harmless.
  if (sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return;
  if (sqlite3_exec(db_.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) noteAutoRollback();
}

Flow SqliteSession::dispatch(const Stmt& s, Frame& f) {
  switch (s.kind) {
    case StmtKind::Select:
    case StmtKind::Insert:
    case StmtKind::Update:
    case StmtKind::Delete:
    case StmtKind::Merge:
      if (doomed_ && tranCount_ > 0 && s.kind != StmtKind::Select) throw SqlError(3930, {});
      break;
    default:
      break;
  }
  // Write locks first: then the snapshot the statement reads and writes on
  // is taken while no other session can commit to what it writes.
  prepareWrites(s);
  switch (s.kind) {
    case StmtKind::Select:
    case StmtKind::Insert:
    case StmtKind::Update:
    case StmtKind::Delete:
    case StmtKind::Merge:
    case StmtKind::Truncate:
    case StmtKind::Writetext:
    case StmtKind::CreateTable:
    case StmtKind::CreateIndex:
    case StmtKind::CreateView:
    case StmtKind::CreateProc:
    case StmtKind::CreateTrigger:
    case StmtKind::CreateType:
    case StmtKind::CreateSchema:
    case StmtKind::CreateSequence:
    case StmtKind::EnableTrigger:
    case StmtKind::AlterTable:
    case StmtKind::Drop:
      refreshSnapshot();
      break;
    default:
      break;
  }
  switch (s.kind) {
    case StmtKind::Select:
      execSelect(static_cast<const QueryStmt&>(s), f);
      break;
    case StmtKind::Insert:
      execInsert(static_cast<const InsertStmt&>(s), f);
      break;
    case StmtKind::Update:
      execUpdate(static_cast<const UpdateStmt&>(s), f);
      break;
    case StmtKind::Delete:
      execDelete(static_cast<const DeleteStmt&>(s), f);
      break;
    case StmtKind::Merge:
      execMerge(static_cast<const MergeStmt&>(s), f);
      break;
    case StmtKind::CreateTable:
    case StmtKind::CreateIndex:
    case StmtKind::CreateView:
    case StmtKind::CreateProc:
    case StmtKind::CreateTrigger:
    case StmtKind::CreateDatabase:
    case StmtKind::CreateSchema:
    case StmtKind::CreateType:
    case StmtKind::EnableTrigger:
    case StmtKind::AlterTable:
    case StmtKind::Drop:
    case StmtKind::Truncate: {
      Ddl ddl(*this);
      ddl.run(s, f);
      boundCache_.clear();
      break;
    }
    case StmtKind::CreateSequence:
      execSequence(static_cast<const CreateSequenceStmt&>(s), f);
      boundCache_.clear();
      break;
    case StmtKind::Use:
      execUse(static_cast<const UseStmt&>(s), f);
      break;
    case StmtKind::Declare:
      execDeclare(static_cast<const DeclareStmt&>(s), f);
      break;
    case StmtKind::SetVar:
      execSetVar(static_cast<const SetVarStmt&>(s), f);
      break;
    case StmtKind::SetOption:
      execSetOption(static_cast<const SetOptionStmt&>(s), f);
      break;
    case StmtKind::If: {
      const auto& st = static_cast<const IfStmt&>(s);
      if (evaluateCondition(*st.condition, f)) return runStatement(*st.thenStmt, f);
      if (st.elseStmt) return runStatement(*st.elseStmt, f);
      break;
    }
    case StmtKind::While: {
      const auto& st = static_cast<const WhileStmt&>(s);
      while (evaluateCondition(*st.condition, f)) {
        checkCancel();
        Flow flow = runStatement(*st.body, f);
        if (flow == Flow::Break) break;
        if (flow == Flow::Return) return flow;
      }
      break;
    }
    case StmtKind::Block:
      return runStatements(static_cast<const BlockStmt&>(s).body, f);
    case StmtKind::Return: {
      const auto& st = static_cast<const ReturnStmt&>(s);
      if (st.value && f.functionReturns) {
        // A scalar function's value, in the type the function returns.
        TypeInfo t;
        Stored v = evaluate(*st.value, f, &t);
        f.vars["@\x01return"] =
            Variable{*f.functionReturns, convertValue(v, t, *f.functionReturns, 0, settings_)};
      } else if (st.value) {
        TypeInfo t;
        Stored v = evaluate(*st.value, f, &t);
        Stored status = convertValue(v, t, makeType(SqlType::Int), 0, settings_);
        assignVariable(f, "@\x01return", status, makeType(SqlType::Int));
      }
      return Flow::Return;
    }
    case StmtKind::Break:
      return Flow::Break;
    case StmtKind::Continue:
      return Flow::Continue;
    case StmtKind::Print:
      execPrint(static_cast<const PrintStmt&>(s), f);
      break;
    case StmtKind::Raiserror:
      execRaiserror(static_cast<const RaiserrorStmt&>(s), f);
      break;
    case StmtKind::Waitfor:
      execWaitfor(static_cast<const WaitforStmt&>(s), f);
      break;
    case StmtKind::Exec:
      execExec(static_cast<const ExecStmt&>(s), f);
      break;
    case StmtKind::Transaction:
      execTransaction(static_cast<const TransactionStmt&>(s), f);
      break;
    case StmtKind::Readtext:
      execReadtext(static_cast<const ReadtextStmt&>(s), f);
      break;
    case StmtKind::Writetext:
      execWritetext(static_cast<const WritetextStmt&>(s), f);
      break;
    case StmtKind::Kill:
      execKill(static_cast<const KillStmt&>(s), f);
      break;
    case StmtKind::TryCatch:
      return execTryCatch(static_cast<const TryCatchStmt&>(s), f);
    case StmtKind::Throw:
      execThrow(static_cast<const ThrowStmt&>(s), f);
      break;
    case StmtKind::Empty:
      break;
  }
  return Flow::Normal;
}

void SqliteSession::setIsolationLevel(std::uint8_t level) {
  if (level >= 1 && level <= 5) settings_.isolationLevel = level;
}

void SqliteSession::transaction(TransactionRequest request, std::string_view name,
                                ResultSink& sink) {
  CancelFlag none;
  beginRequest(sink, none);
  Frame frame;
  TransactionStmt st;
  using Op = TransactionStmt::Op;
  st.op = request == TransactionRequest::Begin    ? Op::Begin
          : request == TransactionRequest::Commit ? Op::Commit
          : request == TransactionRequest::Save   ? Op::Save
                                                  : Op::Rollback;
  st.name = name;
  try {
    runStatement(st, frame);
    out_->finish();
  } catch (...) {
    out_->finish(Done::Kind::Done, true);
  }
  endRequest();
}

}  // namespace tessel::sqld::engine
