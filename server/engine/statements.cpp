// Executing single statements: queries, DML, variables, SET, PRINT,
// RAISERROR, WAITFOR, transactions, USE and text pointers.

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "datetime.h"
#include "ddl.h"
#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// A language as @@LANGUAGE names it: the server's own spelling of the known
// languages and their English aliases; others as given.
std::string languageName(const std::string& given) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"us_english", "us_english"}, {"english", "us_english"},    {"deutsch", "Deutsch"},
      {"german", "Deutsch"},        {"british", "British"},       {"italiano", "Italiano"},
      {"italian", "Italiano"},      {"nederlands", "Nederlands"}, {"dutch", "Nederlands"},
      {"svenska", "Svenska"},       {"swedish", "Svenska"},       {"norsk", "Norsk"},
      {"norwegian", "Norsk"},       {"dansk", "Dansk"},           {"danish", "Dansk"},
      {"suomi", "Suomi"},           {"finnish", "Suomi"},         {"polski", "polski"},
      {"polish", "polski"},         {"magyar", "magyar"},         {"hungarian", "magyar"}};
  for (const auto& [alias, name] : kNames)
    if (iequals(given, alias)) return name;
  return given;
}

constexpr std::uint16_t kCmdSelect = 0xC1;
constexpr std::uint16_t kCmdInsert = 0xC3;
constexpr std::uint16_t kCmdDelete = 0xC4;
constexpr std::uint16_t kCmdUpdate = 0xC5;
constexpr std::uint16_t kCmdSet = 0xB9;
constexpr std::uint16_t kCmdUse = 0xE2;
constexpr std::uint16_t kCmdBeginTran = 0xD4;
constexpr std::uint16_t kCmdCommit = 0xD5;
constexpr std::uint16_t kCmdRollback = 0xD6;
constexpr std::uint16_t kCmdReadtext = 0x11E;

// RAISERROR's printf-style substitution: %d %i %u %s %x %X %o with flags,
// width and precision; %% is a percent sign.
std::string formatRaiserror(const std::string& format, const std::vector<Stored>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    std::string spec = "%";
    while (j < format.size() && std::string_view("-+ 0#").find(format[j]) != std::string_view::npos)
      spec += format[j++];
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
      spec += format[j++];
    if (j < format.size() && format[j] == '.') {
      spec += format[j++];
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j])))
        spec += format[j++];
    }
    if (j < format.size() && (format[j] == 'l' || format[j] == 'h' || format[j] == 'I')) {
      while (j < format.size() &&
             std::string_view("lhI0123456789").find(format[j]) != std::string_view::npos)
        ++j;
    }
    if (j >= format.size()) {
      out += format.substr(i);
      break;
    }
    char conv = format[j];
    i = j;
    const Stored* a = next < args.size() ? &args[next++] : nullptr;
    char buf[512];
    if (conv == 's') {
      std::string s = !a || a->isNull()              ? "(null)"
                      : a->kind == Stored::Kind::Int ? std::to_string(a->i)
                                                     : a->s;
      std::snprintf(buf, sizeof buf, (spec + "s").c_str(), s.c_str());
    } else if (conv == 'd' || conv == 'i' || conv == 'u' || conv == 'x' || conv == 'X' ||
               conv == 'o') {
      long long v = a && a->kind == Stored::Kind::Int ? a->i : 0;
      if (!a || a->isNull()) {
        std::snprintf(buf, sizeof buf, "(null)");
      } else {
        std::snprintf(buf, sizeof buf, (spec + "ll" + (conv == 'i' ? 'd' : conv)).c_str(), v);
      }
    } else {
      std::snprintf(buf, sizeof buf, "%s", "");
    }
    out += buf;
  }
  return out;
}

}  // namespace

void SqliteSession::execSelect(const QueryStmt& q, Frame& f) {
  const SelectStmt& s = *q.select;
  if (!s.into.empty()) return execSelectInto(s, f);
  const BoundStatement& b = bound(&q, [&](Binder& binder) { return binder.bindSelect(s); });
  sqlite3_stmt* stmt = statementFor(b.sql);
  StatementUse use{stmt};
  bindParams(stmt, b, f);
  if (!b.assignVars.empty()) {
    // SELECT @v = ...: every row assigns; the last one stays.
    std::uint64_t count = 0;
    for (;;) {
      checkCancel();
      if (settings_.rowCount > 0 && static_cast<std::int64_t>(count) >= settings_.rowCount) break;
      int rc = sqlite3_step(stmt);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throwSqlite(rc, &b, "SELECT");
      for (std::size_t i = 0; i < b.assignVars.size(); ++i) {
        const std::string& name = b.assignVars[i];
        if (name.empty()) continue;
        if (!findVariable(f, name)) throw SqlError(137, {name});
        assignVariable(f, name, columnStored(stmt, static_cast<int>(i)), b.columns[i].type);
      }
      ++count;
    }
    rowCount_ = static_cast<std::int64_t>(count);
    statementDone(doneKind(f), kCmdSelect, true, count);
    return;
  }
  out_->metadata(b.columns);
  if (!b.orderColumns.empty()) out_->order(b.orderColumns);
  if (s.forBrowse) sendBrowseInfo(b);
  if (settings_.fmtOnly) {
    // SET FMTONLY ON: clients (bulk copy among them) ask for the columns
    // only; no row is read or sent.
    rowCount_ = 0;
    statementDone(doneKind(f), kCmdSelect, false, 0);
    return;
  }
  std::uint64_t count = streamRows(stmt, b);
  rowCount_ = static_cast<std::int64_t>(count);
  statementDone(doneKind(f), kCmdSelect, true, count);
}

void SqliteSession::sendBrowseInfo(const BoundStatement& b) {
  std::vector<std::string> tables;
  std::vector<BrowseColumn> columns;
  for (const auto& origin : b.origins) {
    BrowseColumn c;
    if (!origin.table.empty()) {
      auto it = std::find(tables.begin(), tables.end(), origin.table);
      if (it == tables.end() && tables.size() < 255) it = tables.insert(tables.end(), origin.table);
      if (it != tables.end()) {
        c.table = static_cast<std::uint8_t>(it - tables.begin() + 1);
        c.name = origin.column;
      }
    }
    columns.push_back(std::move(c));
  }
  out_->browseInfo(tables, columns);
}

void SqliteSession::execSelectInto(const SelectStmt& s, Frame& f) {
  const BoundStatement& b = bound(&s, [&](Binder& binder) {
    binder.textPointers = false;
    return binder.bindSelect(s);
  });
  Ddl ddl(*this);
  std::vector<ColumnInfo> columns;
  for (std::size_t i = 0; i < b.columns.size(); ++i) {
    ColumnInfo c;
    c.name = b.columns[i].name;
    if (c.name.empty()) throw SqlError(1038, {});
    c.type = b.columns[i].type;
    c.type.nullable = true;
    // Only one identity column may be copied.
    c.identity = b.columns[i].identity;
    for (const auto& earlier : columns) c.identity = c.identity && !earlier.identity;
    // A timestamp column stays one, its values copied.
    c.rowversion = static_cast<int>(i) == b.rowversionColumn;
    if (c.rowversion) c.type.nullable = false;
    c.colid = static_cast<int>(i + 1);
    columns.push_back(c);
  }
  std::shared_ptr<const TableInfo> table =
      ddl.createTableFrom(s.into, columns, b.identitySeed, b.identityIncrement);
  std::string cols, values;
  bool rewrite = false;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    cols += (i ? ", " : "") + quoteName(columns[i].name);
    // Columns created with ANSI_PADDING off drop trailing blanks and zeros;
    // the others pad what comes unpadded from such a column.
    std::string value = quoteName("c" + std::to_string(i + 1));
    if (trimsTrailing(table->columns[i])) {
      value = "t_trim(" + value + ")";
      rewrite = true;
    } else if (b.columns[i].unpadded) {
      std::string type = std::to_string(encodeType(table->columns[i].type));
      value = "t_cast(" + value + "," + type + "," + type + ",0,0)";
      rewrite = true;
    }
    values += (i ? ", " : "") + value;
  }
  std::string sql = "INSERT INTO " + table->qualifiedName() + " (" + cols + ") " +
                    (rewrite ? "SELECT " + values + " FROM (" + b.sql + ")" : b.sql);
  SqliteStatement stmt;
  try {
    stmt = prepare(db_.get(), sql);
  } catch (const SqliteFailure& e) {
    throw translate(e.code(), e.what(), &b, "INSERT");
  }
  bindParams(stmt.get(), b, f);
  std::int64_t n = stepToEnd(stmt.get(), &b, "INSERT");
  if (table->identityColumn >= 0) {
    // The new table's identity goes on after the highest value copied.
    const std::string& col = table->columns[static_cast<std::size_t>(table->identityColumn)].name;
    execSql(db_.get(),
            "UPDATE " + quoteName(table->schema) + "._tessel_identity SET current = (SELECT max(" +
                quoteName(col) + ") FROM " + table->qualifiedName() + ") WHERE id = ?",
            {Stored::integer(table->id)});
  }
  rowCount_ = n;
  boundCache_.clear();
  statementDone(doneKind(f), kCmdSelect, true, static_cast<std::uint64_t>(n));
}

void SqliteSession::execInsert(const InsertStmt& s, Frame& f) {
  if (s.exec) return execInsertExec(s, f);
  if (s.bulk) return execInsertBulk(s, f);
  auto target = findTable(s.table);
  // A name that is no table is bound for its error (208), or is a common
  // table expression or a view the rows go through to its base table (a
  // view's INSTEAD OF trigger takes them instead).
  if (!target || (target->xtype == "V" && !insteadOfTrigger(*target, kTriggerInsert)))
    target = bound(&s, [&](Binder& binder) { return binder.bindInsert(s); }).target;
  checkWritable(target);
  std::int64_t n = withTriggers(
      target, kTriggerInsert, {}, f,
      [&] {
        return withOutput(s.output.get(), *target, kTriggerInsert, f,
                          [&] { return insertRows(s, f); });
      },
      &s);
  statementDone(doneKind(f), kCmdInsert, true, static_cast<std::uint64_t>(n));
}

std::int64_t SqliteSession::insertRows(const InsertStmt& s, Frame& f) {
  const BoundStatement& b = bound(&s, [&](Binder& binder) { return binder.bindInsert(s); });
  sqlite3_stmt* stmt = statementFor(b.sql);
  StatementUse use{stmt};
  const TableInfo& t = *b.target;
  std::string q = quoteName(t.schema);
  bool savepoint = b.usesIdentity || b.identityExplicit;
  const bool outermost = sqlite3_get_autocommit(db_.get());
  if (savepoint) execSql(db_.get(), "SAVEPOINT tessel_stmt");
  try {
    Stored base;
    if (b.usesIdentity) {
      // Taking the counter first also takes the write lock.
      querySql(db_.get(),
               "UPDATE " + q +
                   "._tessel_identity SET current = coalesce(current, seed - increment) "
                   "WHERE id = ? RETURNING current",
               {Stored::integer(t.id)}, [&](sqlite3_stmt* r) { base = columnStored(r, 0); });
      if (base.isNull()) base = Stored::integer(t.identitySeed - t.identityIncrement);
    }
    bindParams(stmt, b, f, &base);
    std::int64_t n = stepToEnd(stmt, &b, "INSERT");
    if (b.usesIdentity && n > 0) {
      std::int64_t last = base.i + n * t.identityIncrement;
      execSql(db_.get(), "UPDATE " + q + "._tessel_identity SET current = ? WHERE id = ?",
              {Stored::integer(last), Stored::integer(t.id)});
      lastIdentity_ = f.scopeIdentity = Stored::integer(last);
    } else if (b.identityExplicit && n > 0) {
      const std::string& col = t.columns[static_cast<std::size_t>(t.identityColumn)].name;
      std::string agg = t.identityIncrement > 0 ? "max" : "min";
      execSql(db_.get(),
              "UPDATE " + q + "._tessel_identity SET current = (SELECT " + agg + "(" +
                  quoteName(col) + ") FROM " + t.qualifiedName() +
                  ") WHERE id = ? AND (current IS NULL OR current " +
                  (t.identityIncrement > 0 ? "<" : ">") + " (SELECT " + agg + "(" + quoteName(col) +
                  ") FROM " + t.qualifiedName() + "))",
              {Stored::integer(t.id)});
    }
    if (savepoint) releaseSavepoint("tessel_stmt", outermost);
    rowCount_ = n;
    return n;
  } catch (...) {
    if (savepoint) {
      sqlite3_reset(stmt);
      sqlite3_exec(db_.get(), "ROLLBACK TO tessel_stmt; RELEASE tessel_stmt", nullptr, nullptr,
                   nullptr);
    }
    throw;
  }
}

void SqliteSession::execUpdate(const UpdateStmt& s, Frame& f) {
  auto target = insteadOfView(s.table, s.from, kTriggerUpdate);
  if (!target) target = bound(&s, [&](Binder& binder) { return binder.bindUpdate(s); }).target;
  checkWritable(target);
  std::set<std::string> updated;
  for (const auto& a : s.sets)
    if (!a.column.empty() && a.column[0] != '@') updated.insert(lower(a.column));
  std::int64_t n = withTriggers(
      target, kTriggerUpdate, std::move(updated), f,
      [&] {
        return withOutput(s.output.get(), *target, kTriggerUpdate, f, [&] {
          const BoundStatement& b = bound(&s, [&](Binder& binder) { return binder.bindUpdate(s); });
          sqlite3_stmt* stmt = statementFor(b.sql);
          StatementUse use{stmt};
          bindParams(stmt, b, f);
          return stepToEnd(stmt, &b, "UPDATE");
        });
      },
      &s);
  rowCount_ = n;
  statementDone(doneKind(f), kCmdUpdate, true, static_cast<std::uint64_t>(n));
}

void SqliteSession::execDelete(const DeleteStmt& s, Frame& f) {
  auto target = insteadOfView(s.table, s.from, kTriggerDelete);
  if (!target) target = bound(&s, [&](Binder& binder) { return binder.bindDelete(s); }).target;
  checkWritable(target);
  std::int64_t n = withTriggers(
      target, kTriggerDelete, {}, f,
      [&] {
        return withOutput(s.output.get(), *target, kTriggerDelete, f, [&] {
          const BoundStatement& b = bound(&s, [&](Binder& binder) { return binder.bindDelete(s); });
          sqlite3_stmt* stmt = statementFor(b.sql);
          StatementUse use{stmt};
          bindParams(stmt, b, f);
          return stepToEnd(stmt, &b, "DELETE");
        });
      },
      &s);
  rowCount_ = n;
  statementDone(doneKind(f), kCmdDelete, true, static_cast<std::uint64_t>(n));
}

void SqliteSession::execDeclare(const DeclareStmt& s, Frame& f) {
  if (s.table) {
    declareTableVariable(f, s.table->name[0], *s.table, "");
    return;
  }
  int position = 0;
  for (const VarDecl& v : s.vars) {
    ++position;
    std::string key = lower(v.name);
    TypeInfo type = v.type;
    if (!v.userType.empty()) {
      UserType ut = resolveUserType(v.userType, position);
      if (ut.table) {
        declareTableVariable(f, v.name, *ut.table, ut.name);
        continue;
      }
      type = ut.base;
    }
    // A variable's text has the current database's collation.
    if (isCharType(type.type) && type.collation == 0) type.collation = currentCollation_;
    auto it = f.vars.find(key);
    if (it != f.vars.end() && it->second.declaredBy != &v) throw SqlError(134, {v.name});
    if (it == f.vars.end()) {
      Variable var;
      var.type = type;
      var.declaredBy = &v;
      f.vars[key] = var;
    }
    if (v.init) {
      TypeInfo t;
      Stored value = evaluate(*v.init, f, &t);
      assignVariable(f, v.name, value, t);
    }
  }
}

void SqliteSession::execSetVar(const SetVarStmt& s, Frame& f) {
  if (!findVariable(f, s.name)) throw SqlError(137, {s.name});
  TypeInfo t;
  Stored value = evaluate(*s.value, f, &t);
  assignVariable(f, s.name, value, t);
}

void SqliteSession::execSetOption(const SetOptionStmt& s, Frame& f) {
  std::int64_t number = 0;
  if (s.valueExpr) {
    TypeInfo t;
    Stored v = evaluate(*s.valueExpr, f, &t);
    number = v.isNull() ? 0 : convertValue(v, t, makeType(SqlType::BigInt), 0, settings_).i;
  }
  bool on = s.value == "ON";
  if (!s.valueExpr && s.value != "ON" && s.value != "OFF") {
    for (const auto& o : s.options) {
      if (o == "DATEFORMAT") {
        auto order = dateOrderFromName(s.value);
        if (!order) throw SqlError(1005, {s.value});
        settings_.dateOrder = *order;
      } else if (o == "LANGUAGE") {
        settings_.language = languageName(s.value);
      } else if (o == "TRANSACTION ISOLATION LEVEL") {
        static const char* const kLevels[] = {"READ UNCOMMITTED", "READ COMMITTED",
                                              "REPEATABLE READ", "SERIALIZABLE", "SNAPSHOT"};
        std::string level = s.value;
        while (!level.empty() && level.back() == ' ') level.pop_back();
        for (int i = 0; i < 5; ++i)
          if (level == kLevels[i]) settings_.isolationLevel = i + 1;
      } else if (o == "DEADLOCK_PRIORITY") {
      } else if (o == "TEXTSIZE" || o == "ROWCOUNT" || o == "LOCK_TIMEOUT" || o == "DATEFIRST") {
        throw SqlError(102, {s.value});
      } else {
        throw SqlError(102, {s.value});
      }
    }
  }
  for (const auto& o : s.options) {
    if (o == "NOCOUNT")
      settings_.nocount = on;
    else if (o == "QUOTED_IDENTIFIER")
      settings_.quotedIdentifier = on;
    else if (o == "ANSI_NULLS")
      settings_.ansiNulls = on;
    else if (o == "ANSI_WARNINGS")
      settings_.ansiWarnings = on;
    else if (o == "ANSI_PADDING")
      settings_.ansiPadding = on;
    else if (o == "ANSI_NULL_DFLT_ON") {
      settings_.ansiNullDefault = on;
      if (on) settings_.ansiNullDefaultOff = false;
    } else if (o == "ANSI_NULL_DFLT_OFF") {
      settings_.ansiNullDefault = on ? false : settings_.ansiNullDefault;
      settings_.ansiNullDefaultOff = on;
    } else if (o == "NUMERIC_ROUNDABORT")
      settings_.numericRoundAbort = on;
    else if (o == "ARITHABORT")
      settings_.arithAbort = on;
    else if (o == "ARITHIGNORE")
      settings_.arithIgnore = on;
    else if (o == "CONCAT_NULL_YIELDS_NULL")
      settings_.concatNullYieldsNull = on;
    else if (o == "CURSOR_CLOSE_ON_COMMIT")
      settings_.cursorCloseOnCommit = on;
    else if (o == "IMPLICIT_TRANSACTIONS")
      settings_.implicitTransactions = on;
    else if (o == "XACT_ABORT")
      settings_.xactAbort = on;
    else if (o == "FMTONLY")
      settings_.fmtOnly = on;
    else if (o == "NOEXEC")
      settings_.noExec = on;
    else if (o == "PARSEONLY")
      settings_.parseOnly = on;
    else if (o == "ANSI_DEFAULTS") {
      settings_.ansiNulls = settings_.ansiWarnings = settings_.ansiPadding = on;
      settings_.ansiNullDefault = settings_.quotedIdentifier = on;
      settings_.cursorCloseOnCommit = settings_.implicitTransactions = on;
    } else if (o == "TEXTSIZE")
      // 0 restores the default of 4096; -1 (any negative) means no limit.
      settings_.textSize = number == 0 ? 4096 : number < 0 ? -1 : number;
    else if (o == "ROWCOUNT")
      settings_.rowCount = std::max<std::int64_t>(0, number);
    else if (o == "LOCK_TIMEOUT")
      settings_.lockTimeoutMs = static_cast<std::int32_t>(number);
    else if (o == "DATEFIRST") {
      if (number < 1 || number > 7) throw SqlError(1005, {std::to_string(number)});
      settings_.dateFirst = static_cast<int>(number);
    } else if (o == "IDENTITY_INSERT") {
      auto t = resolveTable(s.table);
      std::string key = lower(t->qualifiedName());
      if (t->identityColumn < 0) throw SqlError(8106, {t->name});
      if (on)
        identityInsertTables_.insert(key);
      else
        identityInsertTables_.erase(key);
    } else if (o == "DATEFORMAT" || o == "LANGUAGE" || o == "TRANSACTION ISOLATION LEVEL" ||
               o == "DEADLOCK_PRIORITY" || o == "STATISTICS" || o == "SHOWPLAN_TEXT" ||
               o == "SHOWPLAN_ALL" || o == "FORCEPLAN" || o == "NO_BROWSETABLE" ||
               o == "REMOTE_PROC_TRANSACTIONS" || o == "CONTEXT_INFO" ||
               o == "QUERY_GOVERNOR_COST_LIMIT" || o == "OFFSETS" || o == "ANSI_NULL_DFLT") {
    } else {
      throw SqlError(195, {o});
    }
  }
  boundCache_.clear();
  statementDone(doneKind(f), kCmdSet, false, 0);
}

void SqliteSession::execPrint(const PrintStmt& s, Frame& f) {
  TypeInfo t;
  Stored v = evaluate(*s.value, f, &t);
  Message m;
  m.number = 0;
  m.severity = 0;
  m.state = 1;
  m.text = storedToText(v, t);
  m.procName = f.procName;
  m.line = s.line;
  out_->message(m);
}

void SqliteSession::execRaiserror(const RaiserrorStmt& s, Frame& f) {
  std::vector<Stored> values;
  std::vector<TypeInfo> types;
  for (const auto& a : s.args) {
    TypeInfo t;
    values.push_back(a ? evaluate(*a, f, &t) : Stored::null());
    types.push_back(t);
  }
  Message m;
  m.number = 50000;
  m.severity = 16;
  m.state = 1;
  if (s.oldNumber) {
    const auto* number = std::get_if<std::int64_t>(&s.oldNumber->value.data());
    if (!number) throw SqlError(102, {"RAISERROR"});
    m.number = static_cast<std::int32_t>(*number);
    m.text = values.empty() ? std::string() : values[0].s;
  } else {
    if (values.size() < 3) throw SqlError(102, {")"});
    auto asInt = [&](std::size_t i) {
      return values[i].isNull()
                 ? 0
                 : convertValue(values[i], types[i], makeType(SqlType::Int), 0, settings_).i;
    };
    m.severity = static_cast<std::uint8_t>(std::clamp<std::int64_t>(asInt(1), 0, 25));
    m.state = static_cast<std::uint8_t>(std::clamp<std::int64_t>(asInt(2), 0, 255));
    std::vector<Stored> args(values.begin() + 3, values.end());
    if (isCharType(types[0].type)) {
      m.text = formatRaiserror(values[0].s, args);
    } else if (std::int32_t n = static_cast<std::int32_t>(asInt(0)); n < 13000 || n == 50000) {
      // System messages below 13000, and 50000, are not RAISERROR's to raise.
      m = makeMessage(2732, {std::to_string(n)});
    } else if (n < 50000 && errorDef(n).number == n) {
      // A message SQL Server has: its text with the arguments filled in.
      std::vector<std::string> texts;
      for (std::size_t i = 3; i < values.size(); ++i)
        texts.push_back(values[i].isNull() ? "(null)" : storedToText(values[i], types[i]));
      std::string text = errorDef(n).format;
      std::size_t next = 0;
      for (std::size_t p = text.find("%s"); p != std::string::npos; p = text.find("%s", p)) {
        std::string arg = next < texts.size() ? texts[next++] : std::string();
        text.replace(p, 2, arg);
        p += arg.size();
      }
      m.number = n;
      m.text = text;
    } else {
      // No sys.messages row: error 18054 names the number asked for.
      m = makeMessage(
          18054, {std::to_string(asInt(0)), std::to_string(m.severity), std::to_string(m.state)});
    }
  }
  if (m.severity > 18) m.severity = 18;
  m.procName = f.procName;
  m.line = s.line;
  // Inside TRY an error-level RAISERROR goes to the CATCH block.
  if (tryDepth_ > 0 && m.severity > 10) throw SqlError(m, ErrorScope::Statement);
  out_->message(m);
  error_ = m.severity > 10 || s.withSetError ? m.number : 0;
  // An error closes the statement with a Done of its own that carries the
  // error flag, which is how clients learn that the request failed; an
  // informational message, like PRINT, has none.
  if (m.severity > 10) {
    Done d;
    d.kind = doneKind(f);
    d.error = true;
    out_->done(d);
  }
}

void SqliteSession::execWaitfor(const WaitforStmt& s, Frame& f) {
  TypeInfo t;
  Stored v = evaluate(*s.time, f, &t);
  std::int64_t ticks = 0;
  if (isDateType(t.type)) {
    ticks = v.i;
  } else {
    Stored d = convertValue(v, t, makeType(SqlType::DateTime), 0, settings_);
    ticks = d.i;
  }
  ticks %= kTicksPerDay;
  if (ticks < 0) ticks += kTicksPerDay;
  std::int64_t waitMs;
  if (s.delay) {
    waitMs = ticks * 10 / 3;
  } else {
    std::int64_t now = nowTicks(false) % kTicksPerDay;
    std::int64_t diff = ticks - now;
    if (diff < 0) diff += kTicksPerDay;
    waitMs = diff * 10 / 3;
  }
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (std::chrono::steady_clock::now() < until) {
    checkCancel();
    auto left = until - std::chrono::steady_clock::now();
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(5)));
  }
  checkCancel();
}

void SqliteSession::execTransaction(const TransactionStmt& s, Frame& f) {
  using Op = TransactionStmt::Op;
  using Ev = ResultSink::TransactionEvent;
  // A name given as a variable is the variable's text.
  std::string given = s.name;
  if (!given.empty() && given[0] == '@') {
    Variable* v = findVariable(f, given);
    given = v && v->value.kind == Stored::Kind::Text ? v->value.s : std::string();
  }
  switch (s.op) {
    case Op::Begin:
      if (tranCount_ == 0) {
        tranName_ = given;
        doomed_ = false;
        try {
          execSql(db_.get(), "BEGIN");
        } catch (const SqliteFailure& e) {
          throw translate(e.code(), e.what(), nullptr, "BEGIN");
        }
        std::uint64_t old = descriptor_;
        descriptor_ = static_cast<std::uint64_t>(engine_.nextTransactionDescriptor());
        out_->transactionChanged(Ev::Begin, descriptor_, old);
      }
      ++tranCount_;
      statementDone(doneKind(f), kCmdBeginTran, false, 0);
      break;
    case Op::Commit:
      if (tranCount_ == 0) throw SqlError(3902, {});
      if (doomed_) throw SqlError(3930, {});
      if (tranCount_ == 1) {
        try {
          commitSqlite("COMMIT");
        } catch (const SqliteFailure& e) {
          noteAutoRollback();
          throw translate(e.code(), e.what(), nullptr, "COMMIT");
        }
        savepoints_.clear();
        if (!statementTran_) out_->transactionChanged(Ev::Commit, 0, descriptor_);
        statementTran_ = false;
        descriptor_ = 0;
      }
      --tranCount_;
      statementDone(doneKind(f), kCmdCommit, false, 0);
      break;
    case Op::Rollback: {
      if (tranCount_ == 0) throw SqlError(3903, {});
      std::string name = lower(given);
      bool toSavepoint = false;
      if (!name.empty()) {
        for (const auto& sp : savepoints_)
          if (sp == name) toSavepoint = true;
      }
      // Only the outermost transaction's own name, as written, rolls it back.
      if (!name.empty() && !toSavepoint && given != tranName_) throw SqlError(6401, {given});
      if (toSavepoint) {
        rollbackKeepingTables(
            [&] { execSql(db_.get(), "ROLLBACK TO " + quoteName("sp_" + name)); });
      } else {
        rollbackKeepingTables([&] { execSql(db_.get(), "ROLLBACK"); });
        savepoints_.clear();
        tranCount_ = 0;
        doomed_ = false;
        // The transaction of a statement that fired a trigger was never announced.
        if (!statementTran_) out_->transactionChanged(Ev::Rollback, 0, descriptor_);
        statementTran_ = false;
        descriptor_ = 0;
      }
      statementDone(doneKind(f), kCmdRollback, false, 0);
      break;
    }
    case Op::Save: {
      if (tranCount_ == 0) throw SqlError(628, {});
      std::string name = lower(given);
      execSql(db_.get(), "SAVEPOINT " + quoteName("sp_" + name));
      savepoints_.push_back(name);
      statementDone(doneKind(f), kCmdSet, false, 0);
      break;
    }
  }
}

void SqliteSession::execUse(const UseStmt& s, Frame& f) {
  std::string name = engine_.canonicalName(s.database);
  requireTempdb(name);
  if (!validDatabaseName(name) || !engine_.exists(name)) throw SqlError(911, {s.database});
  attach(name);
  if (!engine_.setSessionDatabase(login_.spid, name)) throw SqlError(911, {s.database});
  std::string old = currentDb_;
  currentDb_ = name;
  const std::uint16_t oldCollation = std::exchange(currentCollation_, engine_.collationOf(name));
  boundCache_.clear();
  // The listener follows the change with message 5701, as it does at login.
  out_->databaseChanged(name, old);
  if (currentCollation_ != oldCollation) out_->collationChanged(currentCollation_, oldCollation);
  statementDone(doneKind(f), kCmdUse, false, 0);
}

void SqliteSession::execKill(const KillStmt& s, Frame& f) {
  TypeInfo t;
  Stored v = evaluate(*s.spid, f, &t);
  std::int32_t spid = static_cast<std::int32_t>(v.i);
  if (databaseUser()) throw SqlError(6102, {});
  if (spid == login_.spid) throw SqlError(6104, {});
  if (!engine_.kill(spid)) throw SqlError(6106, {std::to_string(spid)});
  statementDone(doneKind(f), 0xC1, false, 0);
}

namespace {
// The byte position of every character of a UTF-8 value, then its end.
std::vector<std::size_t> characterStarts(const std::string& data) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if ((static_cast<unsigned char>(data[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  starts.push_back(data.size());
  return starts;
}

struct PointerParts {
  std::int64_t objectId = 0;
  int colid = 0;
  std::int64_t rowid = 0;
};
std::optional<PointerParts> decodePointer(const Stored& v) {
  if (v.kind != Stored::Kind::Blob || v.s.size() != 16) return std::nullopt;
  PointerParts p;
  std::uint32_t obj = 0;
  std::uint16_t col = 0;
  std::uint64_t row = 0;
  for (int i = 0; i < 4; ++i)
    obj |= static_cast<std::uint32_t>(static_cast<unsigned char>(v.s[i])) << (8 * i);
  for (int i = 0; i < 2; ++i)
    col = static_cast<std::uint16_t>(col | (static_cast<unsigned char>(v.s[4 + i]) << (8 * i)));
  for (int i = 0; i < 8; ++i)
    row |= static_cast<std::uint64_t>(static_cast<unsigned char>(v.s[8 + i])) << (8 * i);
  p.objectId = obj;
  p.colid = col;
  p.rowid = static_cast<std::int64_t>(row);
  return p;
}
}  // namespace

void SqliteSession::execReadtext(const ReadtextStmt& s, Frame& f) {
  if (s.column.size() < 2) throw SqlError(102, {s.column.back()});
  Name tableName(s.column.begin(), s.column.end() - 1);
  auto table = resolveTable(tableName);
  const ColumnInfo* col = table->column(s.column.back());
  if (!col) throw SqlError(207, {s.column.back()});
  if (!isLargeType(col->type.type)) throw SqlError(7133, {});
  TypeInfo t;
  Stored ptr = evaluate(*s.pointer, f, &t);
  auto parts = decodePointer(ptr);
  if (!parts || parts->objectId != table->id || parts->colid != col->colid)
    throw SqlError(7123, {});
  std::int64_t offset =
      convertValue(evaluate(*s.offset, f, &t), t, makeType(SqlType::Int), 0, settings_).i;
  std::int64_t size =
      convertValue(evaluate(*s.size, f, &t), t, makeType(SqlType::Int), 0, settings_).i;
  Stored value;
  bool found = false;
  querySql(
      db_.get(),
      "SELECT " + quoteName(col->name) + " FROM " + table->qualifiedName() + " WHERE rowid = ?",
      {Stored::integer(parts->rowid)}, [&](sqlite3_stmt* st) {
        value = columnStored(st, 0);
        found = true;
      });
  if (!found) throw SqlError(7123, {});
  // Offsets and sizes count bytes of image values, bytes of text values (one
  // a character in code page 1252) and characters of ntext values. Text and
  // ntext are held as UTF-8: their positions are found by walking the
  // characters, so no character is ever split.
  const std::string& data = value.s;
  const bool wide = col->type.type == SqlType::NText;
  const bool characters = !isBinaryType(col->type.type);
  std::vector<std::size_t> starts;
  if (characters) starts = characterStarts(data);
  std::int64_t length = characters ? static_cast<std::int64_t>(starts.size()) - 1
                                   : static_cast<std::int64_t>(data.size());
  const std::string bytes = std::to_string(wide ? length * 2 : length);
  if (offset < 0 || offset > length) throw SqlError(7124, {bytes});
  std::int64_t from = offset;
  std::int64_t count = size <= 0 ? length - from : std::min(size, length - from);
  if (size > 0 && from + size > length) throw SqlError(7124, {bytes});
  // TEXTSIZE counts bytes: two per ntext character.
  if (settings_.textSize > 0)
    count = std::min<std::int64_t>(count, wide ? settings_.textSize / 2 : settings_.textSize);
  if (characters) {
    const std::size_t begin = starts[static_cast<std::size_t>(from)];
    count = static_cast<std::int64_t>(starts[static_cast<std::size_t>(from + count)] - begin);
    from = static_cast<std::int64_t>(begin);
  }
  Column c;
  c.name = col->name;
  c.type = col->type;
  c.tableName = table->name;
  out_->metadata(std::span<const Column>(&c, 1));
  Value v;
  std::string part = data.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(count));
  if (isBinaryType(col->type.type))
    v = Value(BytesValue{part});
  else
    v = Value(part);
  TextPointer tp;
  std::copy(ptr.s.begin(), ptr.s.end(), tp.pointer.begin());
  tp.timestamp = {1, 0, 0, 0, 0, 0, 0, 0};
  v.textPointer = tp;
  out_->row(std::span<const Value>(&v, 1));
  statementDone(doneKind(f), kCmdReadtext, true, 1);
}

void SqliteSession::execWritetext(const WritetextStmt& s, Frame& f) {
  if (s.column.size() < 2) throw SqlError(102, {s.column.back()});
  Name tableName(s.column.begin(), s.column.end() - 1);
  auto table = resolveTable(tableName);
  const ColumnInfo* col = table->column(s.column.back());
  if (!col) throw SqlError(207, {s.column.back()});
  TypeInfo t;
  Stored ptr = evaluate(*s.pointer, f, &t);
  auto parts = decodePointer(ptr);
  if (!parts || parts->objectId != table->id) throw SqlError(7123, {});
  if (s.bulk) {
    BulkTarget target;
    target.kind = BulkWait::Text;
    target.table = tableName;
    target.columns = {col->name};
    target.rowid = parts->rowid;
    bulk_ = std::move(target);
    statementDone(doneKind(f), kCmdUpdate, false, 0);
    return;
  }
  Stored data;
  if (s.data) {
    data = evaluate(*s.data, f, &t);
    data = convertValue(data, t, col->type, 0, settings_);
  }
  Stored current;
  querySql(
      db_.get(),
      "SELECT " + quoteName(col->name) + " FROM " + table->qualifiedName() + " WHERE rowid = ?",
      {Stored::integer(parts->rowid)}, [&](sqlite3_stmt* st) { current = columnStored(st, 0); });
  std::string result = data.s;
  if (s.update) {
    // The insert offset and delete length count as READTEXT's do: bytes of
    // image, characters of text and ntext.
    const std::string& cur = current.s;
    const bool binary = isBinaryType(col->type.type);
    std::vector<std::size_t> starts;
    if (!binary) starts = characterStarts(cur);
    const auto length = static_cast<std::int64_t>(binary ? cur.size() : starts.size() - 1);
    auto position = [&](std::int64_t k) {
      return binary ? static_cast<std::size_t>(k) : starts[static_cast<std::size_t>(k)];
    };
    std::int64_t at = length;
    std::int64_t del = 0;
    if (s.insertOffset)
      at =
          convertValue(evaluate(*s.insertOffset, f, &t), t, makeType(SqlType::Int), 0, settings_).i;
    if (s.deleteLength)
      del =
          convertValue(evaluate(*s.deleteLength, f, &t), t, makeType(SqlType::Int), 0, settings_).i;
    else if (s.insertOffset)
      del = length - at;
    at = std::clamp<std::int64_t>(at, 0, length);
    del = std::clamp<std::int64_t>(del, 0, length - at);
    result = cur.substr(0, position(at)) + data.s + cur.substr(position(at + del));
  }
  Stored stored = isBinaryType(col->type.type) ? Stored::blob(result) : Stored::text(result);
  storeColumnValue(table, *col, stored, parts->rowid);
  statementDone(doneKind(f), kCmdUpdate, false, 0);
}

void SqliteSession::storeColumnValue(const std::shared_ptr<const TableInfo>& table,
                                     const ColumnInfo& col, const Stored& value,
                                     std::int64_t rowid) {
  BoundStatement b;
  b.target = table;
  try {
    execSql(
        db_.get(),
        "UPDATE " + table->qualifiedName() + " SET " + quoteName(col.name) + " = ? WHERE rowid = ?",
        {value, Stored::integer(rowid)});
  } catch (const SqliteFailure& e) {
    throw translate(e.code(), e.what(), &b, "UPDATE");
  }
}

}  // namespace tessel::sqld::engine
