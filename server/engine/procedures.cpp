// EXEC, procedure calls (from batches and RPC), sp_executesql and dynamic SQL.

#include <sqlite3.h>

#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "sys_views.h"
#include "types.h"
#include "variable_check.h"

namespace tessel::sqld::engine {
namespace {

constexpr int kMaxNesting = 32;

// "@a int, @b varchar(10) OUTPUT" as sp_executesql's @params declares them.
std::vector<ProcParam> parseParamList(const std::string& text) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return {};
  Batch b = parseBatch("CREATE PROCEDURE p " + text + " AS RETURN", false);
  auto& proc = static_cast<CreateProcStmt&>(*b.statements[0]);
  return std::move(proc.params);
}

}  // namespace

std::int32_t SqliteSession::execExec(const ExecStmt& s, Frame& f) {
  if (s.dynamicSql) {
    TypeInfo t;
    Stored sql = evaluate(*s.dynamicSql, f, &t);
    runDynamicSql(storedToText(sql, t), f);
    return 0;
  }
  Name name;
  if (s.procVar) {
    TypeInfo t;
    name = splitName(storedToText(evaluate(*s.procVar, f, &t), t));
  } else {
    name = s.proc;
  }
  std::vector<CallArg> args;
  for (const ExecArg& a : s.args) {
    CallArg c;
    c.name = a.name;
    c.output = a.output;
    if (a.value && a.value->kind == ExprKind::Variable && !a.output)
      c.table = tableArgument(f, a.value->op);
    if (a.value && !c.table) {
      TypeInfo t;
      c.value = evaluate(*a.value, f, &t);
      c.type = t;
      if (a.output && a.value->kind == ExprKind::Variable) c.callerVariable = a.value->op;
    }
    args.push_back(std::move(c));
  }
  std::int32_t status = callProcedure(name, args, f, false);
  for (const CallArg& a : args)
    if (!a.callerVariable.empty() && a.value) assignVariable(f, a.callerVariable, *a.value, a.type);
  if (!s.returnVar.empty()) {
    if (!findVariable(f, s.returnVar)) throw SqlError(137, {s.returnVar});
    assignVariable(f, s.returnVar, Stored::integer(status), makeType(SqlType::Int));
  }
  return status;
}

std::shared_ptr<CreateProcStmt> SqliteSession::findProcedure(const Name& qualified,
                                                             const Frame& caller, int& owner) {
  const std::string& name = qualified.back();
  std::shared_ptr<CreateProcStmt> proc;
  owner = kDboSchemaId;
  if (!name.empty() && name[0] == '#') {
    auto it = tempProcs_.find(lower(name));
    if (it != tempProcs_.end()) proc = it->second;
  } else {
    const std::string schema = schemaFor("");
    owner = ownerOfName(qualified, schema);
    std::optional<ProcInfo> info;
    if (qualified.size() == 1 && caller.moduleOwner != kDboSchemaId)
      info = catalog_.procedure(schema, name, caller.moduleOwner);
    if (owner && !info) info = catalog_.procedure(schema, name, owner);
    if (!info && owner == kDboSchemaId && currentDb_ != "master")
      info = catalog_.procedure("master", name);
    // System procedures answer in any database, by their name or as sys.name.
    if (!info && (owner == kDboSchemaId || owner == kSysSchemaId)) {
      if (auto text = systemProcedureText(name))
        info = ProcInfo{0, name, kDboSchemaId, *text, false};
    }
    if (info) {
      owner = info->ownerId;
      // Keyed by schema too: the same text binds to other tables elsewhere.
      auto& cached =
          procTexts_[std::to_string(owner) + (info->quotedIdentifier ? "1" : "0") + info->text];
      if (!cached) cached = std::make_shared<Batch>(parseBatch(info->text, info->quotedIdentifier));
      auto* p = dynamic_cast<CreateProcStmt*>(cached->statements.at(0).get());
      if (p) proc = std::shared_ptr<CreateProcStmt>(cached, p);
    }
  }
  return proc;
}

std::int32_t SqliteSession::callProcedure(const Name& qualified, std::vector<CallArg>& args,
                                          Frame& caller, bool rpc) {
  const std::string& name = qualified.back();
  if (caller.nestLevel >= kMaxNesting) throw SqlError(217, {std::to_string(kMaxNesting)});
  // The call's DoneProc carries the error flag when an error reached the
  // client while it ran, also from a procedure it called in turn.
  const std::uint64_t errorsBefore = out_->errorCount();
  std::int32_t status = 0;
  std::string lname = lower(name);
  try {
    if (lname == "sp_executesql") {
      status = runExecuteSql(args, caller);
    } else if (lname == "sp_prepare" || lname == "sp_prepexec" || lname == "sp_execute" ||
               lname == "sp_unprepare") {
      status = runPrepared(lname, args, caller);
    } else if (lname == "sp_rename") {
      status = runRename(args);
    } else {
      int owner = kDboSchemaId;
      std::shared_ptr<CreateProcStmt> proc = findProcedure(qualified, caller, owner);
      if (!proc) throw SqlError(2812, {joinName(qualified)});
      try {
        status = runProcedure(*proc, args, caller, owner);
      } catch (const TryTransfer&) {
        // The caller's CATCH takes over; the client still sees the call end.
        Done d;
        d.kind = Done::Kind::DoneProc;
        out_->done(d);
        throw;
      }
    }
  } catch (const BatchAbort&) {
    // The batch ends here, and with it the call: its statements' DoneInProc
    // tokens are followed by the call's DoneProc all the same.
    Done d;
    d.kind = Done::Kind::DoneProc;
    d.error = true;
    out_->done(d);
    throw;
  }
  out_->returnStatus(status);
  if (rpc) {
    std::uint16_t ordinal = 0;
    for (const CallArg& a : args) {
      if (a.output) {
        ReturnValue rv;
        rv.name = a.name;
        rv.column.name = a.name;
        rv.column.type = a.type;
        rv.value = valueFromStored(a.value.value_or(Stored::null()), a.type);
        rv.ordinal = ordinal;
        out_->returnValue(rv);
      }
      ++ordinal;
    }
  }
  Done d;
  d.kind = Done::Kind::DoneProc;
  d.error = out_->errorCount() != errorsBefore;
  out_->done(d);
  return status;
}

std::int32_t SqliteSession::runProcedure(const CreateProcStmt& proc, std::vector<CallArg>& args,
                                         Frame& caller, int owner) {
  Frame frame;
  frame.nestLevel = caller.nestLevel + 1;
  frame.procName = proc.name.back();
  frame.moduleOwner = owner;
  Frame* saved = currentFrame_;
  currentFrame_ = &frame;
  // Match arguments to parameters: positional first, then by name.
  std::vector<int> argFor(proc.params.size(), -1);
  bool named = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!args[i].name.empty()) {
      named = true;
      bool found = false;
      for (std::size_t p = 0; p < proc.params.size(); ++p) {
        if (iequals(proc.params[p].name, args[i].name)) {
          argFor[p] = static_cast<int>(i);
          found = true;
        }
      }
      if (!found) {
        currentFrame_ = saved;
        throw SqlError(8145, {args[i].name, frame.procName});
      }
    } else {
      if (named) {
        currentFrame_ = saved;
        throw SqlError(119, {});
      }
      if (i >= proc.params.size()) {
        currentFrame_ = saved;
        throw SqlError(8144, {frame.procName});
      }
      argFor[i] = static_cast<int>(i);
    }
  }
  // The parameters' types, with user-defined types resolved.
  std::vector<TypeInfo> paramTypes;
  try {
    for (std::size_t p = 0; p < proc.params.size(); ++p) {
      const ProcParam& param = proc.params[p];
      Variable v;
      v.type = param.type;
      // A text parameter has the database's collation, as a variable does.
      if (isCharType(v.type.type) && v.type.collation == 0) v.type.collation = currentCollation_;
      int a = argFor[p];
      const CallArg* given = a >= 0 ? &args[static_cast<std::size_t>(a)] : nullptr;
      if (!param.userType.empty() &&
          bindUserTypeParam(param, static_cast<int>(p + 1), given, frame, v.type)) {
        paramTypes.push_back(v.type);
        continue;
      }
      paramTypes.push_back(v.type);
      if (given && given->table)
        throw SqlError(206, {given->table->typeName, typeName(v.type.type)});
      if (given && given->value) {
        const CallArg& arg = *given;
        v.value = convertValue(*arg.value, arg.type, v.type, 0, settings_);
        if (arg.output && !param.output) throw SqlError(8162, {param.name});
      } else if (param.defaultValue) {
        TypeInfo t;
        Stored d = evaluate(*param.defaultValue, frame, &t);
        v.value = convertValue(d, t, v.type, 0, settings_);
      } else {
        throw SqlError(201, {frame.procName, param.name});
      }
      frame.vars[lower(param.name)] = v;
    }
  } catch (...) {
    dropTableVariables(frame);
    currentFrame_ = saved;
    throw;
  }
  std::int32_t status = 0;
  // SET options a procedure changes last until it returns.
  struct RestoreSettings {
    Settings& live;
    Settings saved;
    ~RestoreSettings() { live = saved; }
  } restoreSettings{settings_, settings_};
  struct DropTableVariables {
    SqliteSession& session;
    Frame& frame;
    ~DropTableVariables() { session.dropTableVariables(frame); }
  } dropTableVariables{*this, frame};
  try {
    try {
      runStatements(proc.body, frame);
    } catch (const BatchAbort& abort) {
      // Name errors end only this procedure; the caller goes on.
      if (!abort.scopeOnly) throw;
      if (error_ != 0) status = -6;
    }
    if (Variable* r = findVariable(frame, "@\x01return"); r && !r->value.isNull())
      status = static_cast<std::int32_t>(r->value.i);
    else if (error_ != 0)
      status = error_ > 0 ? -6 : 0;
  } catch (...) {
    currentFrame_ = saved;
    throw;
  }
  currentFrame_ = saved;
  for (std::size_t p = 0; p < proc.params.size(); ++p) {
    int a = argFor[p];
    if (a < 0 || !proc.params[p].output || !args[static_cast<std::size_t>(a)].output) continue;
    CallArg& arg = args[static_cast<std::size_t>(a)];
    const Variable& result = frame.vars[lower(proc.params[p].name)];
    // The value goes back in the type the caller declared (bit stays bit),
    // also when an RPC caller passed DEFAULT with a declared type.
    const bool typed = arg.value.has_value() || arg.declared;
    if (!typed) arg.type = paramTypes[p];
    if (typed && !result.value.isNull())
      arg.value = convertValue(result.value, result.type, arg.type, 0, settings_);
    else
      arg.value = result.value;
  }
  return status;
}

std::int32_t SqliteSession::runRename(const std::vector<CallArg>& args) {
  static constexpr std::string_view kParams[] = {"@objname", "@newname", "@objtype"};
  std::string values[3];
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::size_t p = i;
    if (!args[i].name.empty()) {
      p = 0;
      while (p < 3 && !iequals(kParams[p], args[i].name)) ++p;
      if (p == 3) throw SqlError(8145, {args[i].name, "sp_rename"});
    }
    if (p >= 3) throw SqlError(8144, {"sp_rename"});
    if (args[i].value && !args[i].value->isNull())
      values[p] = storedToText(*args[i].value, args[i].type);
  }
  for (std::size_t p = 0; p < 2; ++p)
    if (values[p].empty()) throw SqlError(201, {"sp_rename", std::string(kParams[p])});
  const std::string database = databaseOf(splitName(values[0]));
  if (!database.empty() && validDatabaseName(database) && engine_.exists(database))
    lockForWrite(database);
  refreshSnapshot();
  Ddl(*this).rename(values[0], values[1], values[2]);
  boundCache_.clear();
  out_->message(makeMessage(15477, {}));
  return 0;
}

std::int32_t SqliteSession::runExecuteSql(std::vector<CallArg>& args, Frame& caller) {
  if (args.empty() || !args[0].value) throw SqlError(201, {"sp_executesql", "@statement"});
  std::string sql = storedToText(*args[0].value, args[0].type);
  std::string params;
  if (args.size() > 1 && args[1].value) params = storedToText(*args[1].value, args[1].type);
  return runParameterized("sp_executesql", sql, params, args, 2, caller);
}

std::int32_t SqliteSession::runParameterized(const std::string& name, const std::string& sql,
                                             const std::string& paramList,
                                             std::vector<CallArg>& args, std::size_t first,
                                             Frame& caller) {
  Batch batch = parseDynamicSql(sql, false);
  CreateProcStmt proc;
  proc.name = {name};
  proc.params = parseParamList(paramList);
  proc.body = std::move(batch.statements);
  first = std::min(first, args.size());
  std::vector<CallArg> rest(args.begin() + static_cast<std::ptrdiff_t>(first), args.end());
  std::int32_t status = runProcedure(proc, rest, caller);
  for (std::size_t i = 0; i < rest.size(); ++i) args[i + first] = rest[i];
  return status;
}

// sp_prepare (@handle OUTPUT, @params, @stmt), sp_execute (@handle, values
// ...), sp_prepexec (both at once) and sp_unprepare (@handle). A handle
// belongs to its session, as SQL Server's do.
std::int32_t SqliteSession::runPrepared(const std::string& lname, std::vector<CallArg>& args,
                                        Frame& caller) {
  auto text = [&](std::size_t i) {
    return i < args.size() && args[i].value ? storedToText(*args[i].value, args[i].type)
                                            : std::string();
  };
  auto handleOf = [&](std::size_t i) -> std::int64_t {
    if (i >= args.size() || !args[i].value || args[i].value->isNull())
      throw SqlError(201, {lname, "@handle"});
    return convertValue(*args[i].value, args[i].type, makeType(SqlType::Int), 0, settings_).i;
  };
  if (lname == "sp_prepare" || lname == "sp_prepexec") {
    if (args.size() < 3 || !args[2].value) throw SqlError(201, {lname, "@stmt"});
    Prepared p{text(1), text(2)};
    // Parsed now, so that a statement with a syntax error gets no handle:
    // its error, then 8180. Within TRY the error itself goes to CATCH.
    try {
      parsePrepared(p.sql, settings_.quotedIdentifier);
    } catch (const SqlError& e) {
      if (tryDepth_ > 0) throw SqlError(e.message(), ErrorScope::Statement).keepOwnLine();
      reportError(e, nullptr, caller);
      throw SqlError(8180, {});
    }
    parseParamList(p.params);
    std::int32_t handle = nextPrepared_++;
    prepared_[handle] = p;
    if (args[0].type.type == SqlType::Bit) args[0].type = makeType(SqlType::Int);
    args[0].value =
        convertValue(Stored::integer(handle), makeType(SqlType::Int), args[0].type, 0, settings_);
    if (lname == "sp_prepare") return 0;
    return runParameterized(lname, p.sql, p.params, args, 3, caller);
  }
  std::int64_t handle = handleOf(0);
  auto it = prepared_.find(handle);
  if (it == prepared_.end()) throw SqlError(8179, {std::to_string(handle)});
  if (lname == "sp_unprepare") {
    prepared_.erase(it);
    return 0;
  }
  Prepared p = it->second;
  return runParameterized(lname, p.sql, p.params, args, 1, caller);
}

Batch SqliteSession::parseDynamicSql(const std::string& sql, bool checked) {
  // A batch of its own: an error found compiling it ends the EXEC or
  // sp_executesql that runs it, and the calling batch goes on.
  try {
    Batch batch = parseBatch(sql, settings_.quotedIdentifier);
    if (checked) checkVariables(batch.statements);
    return batch;
  } catch (const SqlError& e) {
    throw SqlError(e.message(), ErrorScope::Statement).keepOwnLine();
  }
}

void SqliteSession::runDynamicSql(const std::string& sql, Frame& caller) {
  Batch batch = parseDynamicSql(sql, true);
  Frame frame;
  frame.nestLevel = caller.nestLevel;
  Frame* saved = currentFrame_;
  currentFrame_ = &frame;
  try {
    runStatements(batch.statements, frame);
  } catch (...) {
    dropTableVariables(frame);
    currentFrame_ = saved;
    throw;
  }
  dropTableVariables(frame);
  currentFrame_ = saved;
}

namespace {

// Collects the rows a procedure returns for INSERT ... EXEC; messages still
// reach the client.
class CaptureSink : public ResultSink {
 public:
  explicit CaptureSink(Emitter& out) : out_(out) {}
  void metadata(std::span<const Column> columns) override {
    columns_.assign(columns.begin(), columns.end());
  }
  void row(std::span<const Value> values) override {
    rows.emplace_back();
    for (std::size_t i = 0; i < values.size(); ++i)
      rows.back().emplace_back(storedFromValue(values[i], columns_[i].type), columns_[i].type);
  }
  void done(const Done&) override {}
  void message(const Message& m) override { out_.message(m); }
  void databaseChanged(std::string_view, std::string_view) override {}
  void transactionChanged(TransactionEvent, std::uint64_t, std::uint64_t) override {}
  void returnStatus(std::int32_t) override {}
  void returnValue(const ReturnValue&) override {}

  std::vector<std::vector<std::pair<Stored, TypeInfo>>> rows;

 private:
  Emitter& out_;
  std::vector<Column> columns_;
};

}  // namespace

void SqliteSession::execInsertExec(const InsertStmt& s, Frame& f) {
  auto table = resolveTable(s.table);
  checkWritable(table);
  // A view takes rows only through an INSTEAD OF INSERT trigger.
  if (table->xtype != "U" && !(table->xtype == "V" && insteadOfTrigger(*table, kTriggerInsert)))
    throw SqlError(4406, {table->name});
  std::vector<std::string> targets;
  if (s.columns.empty()) {
    for (const auto& c : table->columns)
      if ((!c.identity || identityInsert(*table)) && !c.computed()) targets.push_back(c.name);
  } else {
    for (const auto& n : s.columns) {
      const ColumnInfo* c = table->column(n);
      if (!c) throw SqlError(207, {n});
      if (c->identity && !identityInsert(*table)) throw SqlError(544, {table->name});
      targets.push_back(c->name);
    }
  }
  // Run the procedure with its rows captured instead of sent.
  out_->abandon();
  CaptureSink capture(*out_);
  auto saved = std::move(out_);
  out_ = std::make_unique<Emitter>(capture);
  try {
    execExec(*s.exec, f);
  } catch (...) {
    out_ = std::move(saved);
    throw;
  }
  out_ = std::move(saved);
  // The rows go in as one statement that fires the table's triggers; for an
  // INSTEAD OF INSERT trigger the table named here is its inserted table.
  std::int64_t count = withTriggers(
      table, kTriggerInsert, {}, f,
      [&] { return insertCapturedRows(resolveTable(s.table), targets, capture.rows); }, &s);
  rowCount_ = count;
  statementDone(doneKind(f), 0xC3, true, static_cast<std::uint64_t>(count));
}

std::int64_t SqliteSession::insertCapturedRows(
    const std::shared_ptr<const TableInfo>& table, const std::vector<std::string>& columns,
    const std::vector<std::vector<std::pair<Stored, TypeInfo>>>& rows) {
  std::vector<const ColumnInfo*> targets;
  for (const auto& name : columns) targets.push_back(table->column(name));
  // The timestamp column takes the database's next timestamp: rows may
  // leave it out, or give it NULL.
  const ColumnInfo* rowversion = nullptr;
  for (const ColumnInfo& c : table->columns)
    if (c.rowversion) rowversion = &c;
  auto slot = std::find(targets.begin(), targets.end(), rowversion);
  int rowversionSlot = -1;
  if (rowversion && slot != targets.end()) {
    if (!rows.empty() && rows[0].size() + 1 == targets.size())
      targets.erase(slot);
    else
      rowversionSlot = static_cast<int>(slot - targets.begin());
  }
  const ColumnInfo* identity =
      table->identityColumn >= 0 && !identityInsert(*table)
          ? &table->columns[static_cast<std::size_t>(table->identityColumn)]
          : nullptr;
  std::string cols, marks;
  int params = 0;
  std::vector<int> paramOf(targets.size(), 0);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (static_cast<int>(i) == rowversionSlot) continue;
    cols += (cols.empty() ? "" : ", ") + quoteName(targets[i]->name);
    marks += (marks.empty() ? "?" : ", ?");
    paramOf[i] = ++params;
  }
  if (identity) {
    cols += (cols.empty() ? "" : ", ") + quoteName(identity->name);
    marks += marks.empty() ? "?" : ", ?";
    ++params;
  }
  if (rowversion) {
    cols += (cols.empty() ? "" : ", ") + quoteName(rowversion->name);
    marks +=
        (marks.empty() ? "" : ", ") + std::string("t_rowversion(") + quoteText(table->schema) + ")";
  }
  std::string sql =
      "INSERT INTO " + table->qualifiedName() + " (" + cols + ") VALUES (" + marks + ")";
  std::string q = quoteName(table->schema);
  BoundStatement b;
  b.target = table;
  const bool outermost = sqlite3_get_autocommit(db_.get());
  execSql(db_.get(), "SAVEPOINT tessel_stmt");
  try {
    SqliteStatement stmt = prepare(db_.get(), sql);
    std::int64_t next = 0;
    if (identity) {
      querySql(db_.get(),
               "UPDATE " + q +
                   "._tessel_identity SET current = coalesce(current, seed - increment) "
                   "WHERE id = ? RETURNING current",
               {Stored::integer(table->id)},
               [&](sqlite3_stmt* r) { next = sqlite3_column_int64(r, 0); });
    }
    std::int64_t count = 0;
    for (const auto& row : rows) {
      if (row.size() != targets.size()) throw SqlError(213, {});
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (static_cast<int>(i) == rowversionSlot) {
          if (!row[i].first.isNull()) throw SqlError(273, {});
          continue;
        }
        Stored v =
            convertValue(row[i].first, row[i].second, storedType(*targets[i]), 0, settings_, true);
        bindStored(stmt.get(), paramOf[i],
                   trimsTrailing(*targets[i]) ? trimTrailing(std::move(v)) : std::move(v));
      }
      if (identity) {
        next += table->identityIncrement;
        bindStored(stmt.get(), params, Stored::integer(next));
      }
      stepToEnd(stmt.get(), &b, "INSERT");
      sqlite3_reset(stmt.get());
      ++count;
    }
    if (identity && count > 0) {
      execSql(db_.get(), "UPDATE " + q + "._tessel_identity SET current = ? WHERE id = ?",
              {Stored::integer(next), Stored::integer(table->id)});
      lastIdentity_ = Stored::integer(next);
      if (currentFrame_) currentFrame_->scopeIdentity = lastIdentity_;
    }
    releaseSavepoint("tessel_stmt", outermost);
    rowCount_ = count;
    return count;
  } catch (...) {
    sqlite3_exec(db_.get(), "ROLLBACK TO tessel_stmt; RELEASE tessel_stmt", nullptr, nullptr,
                 nullptr);
    throw;
  }
}

void SqliteSession::executeRpc(const RpcRequest& request, ResultSink& sink,
                               const CancelFlag& cancel) {
  beginRequest(sink, cancel);
  Frame frame;
  currentFrame_ = &frame;
  std::vector<CallArg> args;
  for (const RpcParam& p : request.params) {
    CallArg a;
    a.name = p.name;
    a.type = p.type;
    a.output = p.output;
    a.declared = true;
    a.table = p.table;
    if (!p.byDefault && !p.table) a.value = storedFromValue(p.value, p.type);
    args.push_back(std::move(a));
  }
  try {
    try {
      callProcedure(splitName(request.procName), args, frame, true);
      rollbackDoomed();
    } catch (const SqlError& e) {
      reportError(e, nullptr, frame);
      Done d;
      d.kind = Done::Kind::DoneProc;
      d.error = true;
      out_->done(d);
    }
    out_->finish(Done::Kind::DoneProc);
  } catch (const Cancelled&) {
    out_->abandon();
  } catch (...) {
    out_->finish(Done::Kind::DoneProc, true);
  }
  currentFrame_ = nullptr;
  endRequest();
}

}  // namespace tessel::sqld::engine
