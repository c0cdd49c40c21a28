#pragma once

// One client's session: its SQLite connection (every database attached under
// its own name, temporary objects in "temp"), its SET options, variables,
// transaction count, temporary procedures and statement caches. Used by one
// thread at a time, as the Session interface promises.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ast.h"
#include "binder.h"
#include "catalog.h"
#include "convert.h"
#include "ddl.h"
#include "emitter.h"
#include "engine_state.h"
#include "settings.h"
#include "sqld/engine.h"
#include "sqlite_util.h"

namespace tessel::sqld::engine {

// Thrown to unwind a request the client cancelled.
struct Cancelled {};

// Unwinds the rest of a batch after a batch-scope error that was reported;
// `scopeOnly` stops at the innermost procedure call.
struct BatchAbort {
  bool scopeOnly = false;
};

// Carries an error raised inside BEGIN TRY to its CATCH block, past any
// procedure calls in between; the error is not reported to the client.
struct TryTransfer {
  Message error;
};

struct Variable {
  TypeInfo type;
  Stored value;
  const void* declaredBy = nullptr;
};

// What a trigger's body sees: the inserted and deleted tables of the
// statement that fired it and the columns UPDATE(column) reports as set.
struct TriggerTables {
  std::shared_ptr<const TableInfo> inserted;
  std::shared_ptr<const TableInfo> deleted;
  std::set<std::string> updated;  // lower-case names
  bool allUpdated = false;        // INSERT: every column counts as set
  std::string columnsUpdated;     // COLUMNS_UPDATED(): a bit per column, by ordinal
};

// Variables and the procedure context of one batch or procedure call.
struct Frame {
  std::map<std::string, Variable> vars;  // keyed by lower-case name
  std::string procName;
  int nestLevel = 0;
  // Table variables: the temporary table behind each, by lower-case name.
  std::map<std::string, std::string> tableVars;
  // The user-defined table type of a table variable declared with one.
  std::map<std::string, std::string> tableVarTypes;
  // Set in a trigger's body.
  std::shared_ptr<const TriggerTables> trigger;
  // The schema of the procedure or trigger running: its one-part names look
  // there before dbo.
  int moduleOwner = kDboSchemaId;
  // SCOPE_IDENTITY(): the last identity value an INSERT of this batch,
  // procedure, trigger or function gave (not those of the modules it calls).
  Stored scopeIdentity;
  // A scalar function's body: RETURN gives a value of this type.
  const TypeInfo* functionReturns = nullptr;
};

// An argument of a procedure call, from EXEC or from an RPC.
struct CallArg {
  std::string name;             // @param or empty
  std::optional<Stored> value;  // nothing: DEFAULT
  TypeInfo type;
  bool output = false;
  bool declared = false;                    // the type is the caller's own (RPC), even for DEFAULT
  std::string callerVariable;               // EXEC ... @v OUTPUT copies back into @v
  std::shared_ptr<const TableParam> table;  // a table-valued argument
};

// How the statements of a batch or procedure end.
enum class Flow : std::uint8_t { Normal, Break, Continue, Return };

class SqliteSession : public Session, private BindContext {
 public:
  SqliteSession(EngineState& engine, const LoginInfo& login);
  ~SqliteSession() override;

  // Opens the login's database; fills `error` and returns false on failure.
  bool open(Message& error);

  void executeBatch(std::string_view sql, ResultSink& sink, const CancelFlag& cancel) override;
  void executeRpc(const RpcRequest& request, ResultSink& sink, const CancelFlag& cancel) override;
  void transaction(TransactionRequest request, std::string_view name, ResultSink& sink) override;
  void setIsolationLevel(std::uint8_t level) override;
  std::string currentDatabase() const override { return currentDb_; }
  std::uint16_t currentCollation() const override { return currentCollation_; }
  BulkWait bulkWait() const override { return bulk_ ? bulk_->kind : BulkWait::None; }
  void abandonBulk() override { bulk_.reset(); }
  void bulkRows(BulkRowReader& rows, ResultSink& sink, const CancelFlag& cancel) override;
  void bulkText(std::string bytes, ResultSink& sink) override;
  std::uint64_t transactionDescriptor() const override { return descriptor_; }
  bool terminated() const override { return killed_->load(std::memory_order_acquire); }

 private:
  friend class Ddl;
  // BindContext.
  std::optional<TypeInfo> variableType(const std::string& name) override;
  std::shared_ptr<const TableInfo> resolveTable(const Name& name) override;
  std::shared_ptr<const TableInfo> findTable(const Name& name) override;
  std::shared_ptr<const TableInfo> peekTable(const Name& name) override;
  std::string schemaFor(const std::string& database) override;
  const Settings& settings() override { return settings_; }
  bool identityInsert(const TableInfo& table) override;
  std::string dynamicViewText(const Name& name) override;
  SequenceRef resolveSequence(const Name& name) override;
  int setViewOwner(int owner) override { return std::exchange(viewOwner_, owner); }
  int viewOwner_ = 0;

  // Sequences (sequences.cpp).
  void execSequence(const CreateSequenceStmt& c, Frame& f);
  void dropSequence(const std::string& schema, std::int64_t id);
  // NEXT VALUE FOR, as the SQLite function t_nextval(schema, id).
  std::int64_t takeSequenceValue(const std::string& schema, std::int64_t id);
  // The value for reference `site` of the statement: the row's own when
  // another reference took it already.
  std::int64_t sequenceValueFor(const std::string& schema, std::int64_t id, std::int64_t site);
  // What sys.sequences shows: a column of _tessel_sequence, or nothing.
  std::optional<std::int64_t> sequenceAttribute(const std::string& schema, std::int64_t id,
                                                const std::string& attribute);
  void registerSequenceFunction();
  // sp_sequence_get_range: takes `count` values of the sequence `name`,
  // returns the first and keeps the rest of the answer in lastRange_.
  std::int64_t takeSequenceRange(const std::string& database, const std::string& name,
                                 std::int64_t count);
  // After a statement that leaves no transaction open: writes again the
  // values a rollback took back from the files of the sequences this
  // session took values of, so that a restart does not hand them out again.
  void keepSequenceValues() noexcept;
  std::set<std::pair<std::string, std::int64_t>> sequencesTaken_;
  // The value each sequence gave the row the running statement is on, and
  // the references (numbered by the binder) that took it: a reference that
  // took it already starts the next row.
  struct SequenceRow {
    std::int64_t value = 0;
    std::set<std::int64_t> sites;
  };
  std::map<std::pair<std::string, std::int64_t>, SequenceRow> sequenceRows_;
  struct LastRange {
    std::int64_t last = 0, cycles = 0, increment = 0, minimum = 0, maximum = 0;
  } lastRange_;

  // User-defined functions (functions_user.cpp).
  std::optional<FunctionRef> resolveFunction(const Name& name) override;
  std::uint16_t databaseCollation() override { return currentCollation_; }
  std::vector<std::string> primaryKeyColumns(const TableInfo& table) override;
  void registerFunctionCalls();
  // The parsed CREATE FUNCTION of function `id` in SQLite schema `schema`.
  std::shared_ptr<const CreateProcStmt> functionDefinition(const std::string& schema,
                                                           std::int64_t id);
  // Runs a function's body in a frame of its own with `args` (of its
  // parameters' types), sending nothing to the client. A scalar function
  // gives its RETURN value; a multi-statement table-valued one its table's
  // rows, as a JSON array of rows (see functionRowsJson).
  Stored runFunction(const std::string& schema, std::int64_t id, std::vector<Stored> args);

  // Timestamp (rowversion) values (rowversion.cpp).
  void registerRowversionFunction();
  // Creates the table that keeps a database's last timestamp.
  void ensureRowversionTable(const std::string& schema);
  std::uint64_t loadRowversion(const std::string& schema);
  // The next timestamp of the database of SQLite schema `schema`.
  std::uint64_t takeRowversion(const std::string& schema);
  // @@DBTS: the last timestamp the current database gave.
  std::uint64_t databaseTimestamp();
  // After a statement that leaves no transaction open: writes again the
  // timestamps a rollback took back, so that a restart does not give them
  // again.
  void keepRowversions() noexcept;
  std::set<std::string> rowversionsTaken_;

  // Requests (executor.cpp).
  void beginRequest(ResultSink& sink, const CancelFlag& cancel);
  void endRequest();
  Flow runStatements(const std::vector<StmtPtr>& body, Frame& frame);
  Flow runStatement(const Stmt& s, Frame& frame);
  Flow dispatch(const Stmt& s, Frame& frame);
  Flow dispatchGuarded(const Stmt& s, Frame& frame);
  void reportError(const SqlError& e, const Stmt* s, const Frame& frame,
                   bool endTransaction = false);
  void statementDone(Done::Kind kind, std::uint16_t curCmd, bool countValid, std::uint64_t count,
                     bool error = false);
  Done::Kind doneKind(const Frame& f) const {
    return f.nestLevel > 0 ? Done::Kind::DoneInProc : Done::Kind::Done;
  }

  // Statements (statements.cpp).
  void execSelect(const QueryStmt& s, Frame& f);
  void execSelectInto(const SelectStmt& s, Frame& f);
  // SELECT ... FOR BROWSE: the result's base tables and column origins.
  void sendBrowseInfo(const BoundStatement& b);
  void execInsert(const InsertStmt& s, Frame& f);
  void execInsertExec(const InsertStmt& s, Frame& f);
  // INSERT ... VALUES/SELECT without its Done; returns the rows inserted.
  std::int64_t insertRows(const InsertStmt& s, Frame& f);
  // Runs `statement`, an INSERT, UPDATE or DELETE (`event`) of `target`, and
  // then its OUTPUT clause, if any, over the rows it changed (output.cpp).
  // `events` may name several kinds of change: a MERGE's (`merge`), whose
  // rows then carry $action and their source row.
  std::int64_t withOutput(const OutputClause* output, const TableInfo& target, int events, Frame& f,
                          const std::function<std::int64_t()>& statement,
                          const BoundMerge* merge = nullptr);
  // INSERT ... EXEC: stores the procedure's rows in `columns` of `table`;
  // returns the rows inserted.
  std::int64_t insertCapturedRows(
      const std::shared_ptr<const TableInfo>& table, const std::vector<std::string>& columns,
      const std::vector<std::vector<std::pair<Stored, TypeInfo>>>& rows);
  void execUpdate(const UpdateStmt& s, Frame& f);
  void execDelete(const DeleteStmt& s, Frame& f);
  // MERGE (merge.cpp).
  void execMerge(const MergeStmt& s, Frame& f);
  void execDeclare(const DeclareStmt& s, Frame& f);
  void execSetVar(const SetVarStmt& s, Frame& f);
  void execSetOption(const SetOptionStmt& s, Frame& f);
  void execPrint(const PrintStmt& s, Frame& f);
  void execRaiserror(const RaiserrorStmt& s, Frame& f);
  void execWaitfor(const WaitforStmt& s, Frame& f);
  void execTransaction(const TransactionStmt& s, Frame& f);
  void execUse(const UseStmt& s, Frame& f);
  void execReadtext(const ReadtextStmt& s, Frame& f);
  void execWritetext(const WritetextStmt& s, Frame& f);
  // Stores a whole text or image value into one row's column (WRITETEXT,
  // UPDATETEXT and the data of WRITETEXT BULK).
  void storeColumnValue(const std::shared_ptr<const TableInfo>& table, const ColumnInfo& col,
                        const Stored& value, std::int64_t rowid);
  void execKill(const KillStmt& s, Frame& f);
  Flow execTryCatch(const TryCatchStmt& s, Frame& f);
  void execThrow(const ThrowStmt& s, Frame& f);
  // XACT_STATE(): 0 without a transaction, -1 when it can only be rolled back.
  int xactState() const { return tranCount_ == 0 ? 0 : doomed_ ? -1 : 1; }
  // Ends a batch that leaves an uncommittable transaction: rolls it back
  // with error 3998.
  void rollbackDoomed();
  // Drops the tables behind a batch's or procedure's table variables.
  void dropTableVariables(Frame& f);
  std::int32_t execExec(const ExecStmt& s, Frame& f);

  // Triggers (triggers.cpp).
  // Runs `statement`, an INSERT, UPDATE or DELETE (`event`) of `table`, with
  // the triggers it fires, and returns its row count. `updated` names the
  // columns an UPDATE sets; `node` is the statement whose binding is
  // redirected for an INSTEAD OF INSERT trigger, or for an INSTEAD OF UPDATE
  // or DELETE trigger of a view.
  std::int64_t withTriggers(const std::shared_ptr<const TableInfo>& table, int event,
                            std::set<std::string> updated, Frame& f,
                            const std::function<std::int64_t()>& statement,
                            const void* node = nullptr);
  // The view an UPDATE or DELETE (`event`) names as its target, when an
  // INSTEAD OF trigger of the view takes the statement over; else null.
  std::shared_ptr<const TableInfo> insteadOfView(const Name& name,
                                                 const std::vector<TableRefPtr>& from, int event);
  // A temporary table `name` holding the rows of `view`, for an UPDATE or
  // DELETE that an INSTEAD OF trigger takes over.
  std::shared_ptr<const TableInfo> copyViewRows(const TableInfo& view, const std::string& name,
                                                Frame& f);
  // The INSTEAD OF trigger that takes over `event` on `table`: enabled and
  // not already running; null if none.
  const TriggerInfo* insteadOfTrigger(const TableInfo& table, int event) const;
  void runTrigger(const TableInfo& table, const TriggerInfo& trigger,
                  const std::shared_ptr<const TriggerTables>& tables, Frame& caller);
  // Runs `rollback` (a ROLLBACK of the transaction or to a savepoint) so that
  // table variables and the inserted and deleted tables of running triggers
  // keep their rows, as a rollback does not touch them.
  void rollbackKeepingTables(const std::function<void()>& rollback);
  // Drops the row-level SQLite triggers that capture a statement's rows.
  void dropCaptureTriggers();

  // Bulk loads (bulk.cpp).
  void execInsertBulk(const InsertStmt& s, Frame& f);
  // Reports a failure of a bulk load as a batch reports a statement's.
  void reportBulkFailure(const std::exception_ptr& failure, Frame& frame);

  // Procedures (procedures.cpp).
  std::int32_t callProcedure(const Name& name, std::vector<CallArg>& args, Frame& caller, bool rpc);
  // The stored (or temporary, or system) procedure a call names, with its
  // owner's schema id in `owner`; null when there is none.
  std::shared_ptr<CreateProcStmt> findProcedure(const Name& name, const Frame& caller, int& owner);
  std::int32_t runProcedure(const CreateProcStmt& proc, std::vector<CallArg>& args, Frame& caller,
                            int owner = kDboSchemaId);
  std::int32_t runExecuteSql(std::vector<CallArg>& args, Frame& caller);
  // sp_rename @objname, @newname [, @objtype].
  std::int32_t runRename(const std::vector<CallArg>& args);
  std::int32_t runPrepared(const std::string& lname, std::vector<CallArg>& args, Frame& caller);
  // Runs `sql` as a procedure declaring `paramList`, with args[first...].
  std::int32_t runParameterized(const std::string& name, const std::string& sql,
                                const std::string& paramList, std::vector<CallArg>& args,
                                std::size_t first, Frame& caller);
  void runDynamicSql(const std::string& sql, Frame& caller);
  // Parses EXEC('...') or sp_executesql text (`checked`: its variables are
  // its own); a compile error ends only the statement that runs it.
  Batch parseDynamicSql(const std::string& sql, bool checked);

  // User-defined types (user_types.cpp).
  struct UserType {
    std::string name;                        // as created
    TypeInfo base;                           // an alias type's base type
    const CreateTableStmt* table = nullptr;  // a table type's columns
  };
  // The xusertype of a user-defined type in `schema`; 0 if there is none.
  std::int64_t userTypeId(const std::string& schema, const std::string& name, int owner);
  // Throws 2715 for variable or parameter number `position` when there is
  // no such type.
  UserType resolveUserType(const Name& name, int position);
  // Declares @var as a table variable with the columns of `definition`.
  void declareTableVariable(Frame& f, const std::string& var, const CreateTableStmt& definition,
                            const std::string& typeName);
  // Inserts the rows of a table-valued argument into a table variable's table.
  void fillTableVariable(const std::string& table, const TableParam& rows);
  // A table variable's rows as a table-valued argument; null when `var`
  // is no table variable.
  std::shared_ptr<const TableParam> tableArgument(Frame& f, const std::string& var);
  // Binds procedure parameter `p` of a user-defined type: a table type's
  // parameter becomes a table variable holding the argument's rows (and
  // true is returned); an alias type's parameter gets the base type.
  bool bindUserTypeParam(const ProcParam& p, int position, const CallArg* arg, Frame& frame,
                         TypeInfo& type);
  // Throws 10700 when `target` holds a table-valued parameter's rows.
  void checkWritable(const std::shared_ptr<const TableInfo>& target) const;
  // The tables behind table-valued parameters, which are READONLY.
  std::set<std::string> readonlyTables_;

  // Running bound statements (run.cpp).
  const BoundStatement& bound(const void* key, const std::function<BoundStatement(Binder&)>& make);
  sqlite3_stmt* statementFor(const std::string& sql);
  void bindParams(sqlite3_stmt* stmt, const BoundStatement& b, const Frame& f,
                  const Stored* identityBase = nullptr);
  Stored paramValue(const std::string& name, const Frame& f, const Stored* identityBase);
  // Evaluates an expression without FROM; `type` receives its type.
  Stored evaluate(const Expr& e, Frame& f, TypeInfo* type = nullptr);
  bool evaluateCondition(const Expr& e, Frame& f);
  // Steps a statement to its end; returns sqlite3_changes for DML.
  std::int64_t stepToEnd(sqlite3_stmt* stmt, const BoundStatement* b, const char* verb);
  // Streams a query's rows to the client; returns the row count.
  std::uint64_t streamRows(sqlite3_stmt* stmt, const BoundStatement& b);
  [[noreturn]] void throwSqlite(int rc, const BoundStatement* b, const char* verb);
  SqlError translate(int code, const std::string& message, const BoundStatement* b,
                     const char* verb);
  void checkCancel();
  static int progress(void* self);
  void assignVariable(Frame& f, const std::string& name, const Stored& value, const TypeInfo& type);
  Variable* findVariable(Frame& f, const std::string& name);
  void noteAutoRollback();
  void refreshSnapshot();

  // Write locks and rights (access.cpp).
  // Before a statement runs: checks that the login may write what `s`
  // writes and takes the write locks of those databases.
  void prepareWrites(const Stmt& s);
  void lockForWrite(const std::string& database);
  // Gives the write locks back once no SQLite transaction is open.
  void releaseWriteLocks();
  // The database a name of a written object is in; empty for the session's
  // own temporary objects and table variables.
  std::string databaseOf(const Name& name) const;
  // Error 916 when a database user may not use `database`.
  void requireAccess(const std::string& database) const;
  bool databaseUser() const { return userDatabases_ != nullptr; }

  // Databases.
  void attach(const std::string& database);
  // DROP DATABASE, and letting go of the files of dropped databases.
  void dropDatabase(const std::string& name);
  void releaseDroppedDatabases();
  std::string schemaOfName(const Name& name, std::string* database);
  // The T-SQL schema a name's object is in, in the database of SQLite schema
  // `schema`: the one it names, or else the default schema (dbo); 0 when the
  // named schema does not exist. Temporary objects are in dbo.
  int ownerOfName(const Name& name, const std::string& schema);
  // Error 945 for tempdb when the engine started without it.
  void requireTempdb(const std::string& database) const;
  // Runs `sql`, the COMMIT (or the RELEASE of an outermost savepoint) that
  // ends the SQLite transaction, marking first the databases of a
  // transaction that wrote several (atomic_commit.cpp).
  void commitSqlite(const std::string& sql);
  void releaseSavepoint(const std::string& name, bool outermost);

  EngineState& engine_;
  LoginInfo login_;
  // Set for a login that is a database user: the databases it may use.
  const std::vector<std::string>* userDatabases_ = nullptr;
  // This session in the engine's write locks, and the databases it holds.
  std::int64_t lockOwner_ = 0;
  std::set<std::string> writeLocked_;
  int statementDepth_ = 0;  // runStatement calls under way
  EngineState::KillFlag killed_ = std::make_shared<std::atomic<bool>>(false);
  SqliteDb db_;
  Catalog catalog_;
  Settings settings_;
  std::string currentDb_;
  // currentDb_'s collation, read whenever currentDb_ or its collation changes.
  std::uint16_t currentCollation_ = 0;
  std::set<std::string> attached_;
  int tranCount_ = 0;
  std::uint64_t descriptor_ = 0;
  std::vector<std::string> savepoints_;
  std::string tranName_;         // of the outermost BEGIN TRANSACTION, compared case-sensitively
  std::uint64_t seenDrops_ = 0;  // EngineState::dropCount() when last looked at
  // An error inside TRY that would have ended the transaction leaves it
  // uncommittable instead, until ROLLBACK or the end of the batch.
  bool doomed_ = false;
  int tableVarCount_ = 0;  // names the tables behind table variables
  // The tables behind the table variables in scope, with their definitions.
  struct LiveTableVar {
    std::string table;
    const CreateTableStmt* definition = nullptr;
  };
  std::vector<LiveTableVar> liveTableVars_;
  int tryDepth_ = 0;                     // TRY blocks being run
  std::vector<const Frame*> tryFrames_;  // the frame of each, innermost last
  std::vector<Message> handling_;        // errors whose CATCH blocks are running

  Stored lastIdentity_;
  std::int64_t rowCount_ = 0;
  std::int32_t error_ = 0;
  std::map<std::string, std::shared_ptr<CreateProcStmt>> tempProcs_;  // lower-case names
  std::map<std::string, std::shared_ptr<Batch>> procTexts_;  // parsed procedure bodies by text
  std::set<std::string> identityInsertTables_;
  // The ##tables this session made: dropped when it ends.
  struct GlobalTemp {
    std::string name;
    std::int64_t id = 0;
    std::int64_t created = 0;  // sysobjects.crdate, as ids are used again
  };
  std::vector<GlobalTemp> globalTemps_;

  // Statements of sp_prepare and sp_prepexec, by handle.
  struct Prepared {
    std::string params;
    std::string sql;
  };
  std::map<std::int64_t, Prepared> prepared_;
  std::int32_t nextPrepared_ = 1;

  // What INSERT BULK or WRITETEXT BULK named; its data comes in the next request.
  struct BulkTarget {
    BulkWait kind = BulkWait::None;
    Name table;
    std::vector<std::string> columns;  // the columns the rows fill; WRITETEXT: the one column
    std::int64_t rowid = 0;            // WRITETEXT: the row
    bool fireTriggers = false;         // INSERT BULK ... WITH (FIRE_TRIGGERS)
    std::vector<std::pair<std::string, bool>> order;  // ... WITH (ORDER (...)), true for DESC
  };
  std::optional<BulkTarget> bulk_;

  // Triggers: those running (one never fires itself again), the tables that
  // hold the inserted and deleted rows of each statement firing them, and
  // the INSERT redirected into such a table for an INSTEAD OF trigger.
  std::vector<std::int64_t> runningTriggers_;
  struct CaptureTable {
    std::shared_ptr<const TableInfo> info;
    std::string create;  // the CREATE TABLE statement
  };
  std::vector<CaptureTable> triggerTables_;
  struct Redirect {
    std::int64_t id = 0;
    std::string schema;
    std::shared_ptr<const TableInfo> to;
    bool used = false;
  };
  std::optional<Redirect> redirect_;
  // The transaction a statement that fires triggers runs in when no
  // transaction is open: no client is told of it.
  bool statementTran_ = false;

  std::map<const void*, BoundStatement> boundCache_;
  std::map<std::string, SqliteStatement> statements_;
  std::vector<SqliteStatement> extraStatements_;  // for the current request

  // The current request.
  std::unique_ptr<Emitter> out_;
  const CancelFlag* cancel_ = nullptr;
  std::chrono::steady_clock::time_point busySince_;
  Frame* currentFrame_ = nullptr;
};

}  // namespace tessel::sqld::engine
