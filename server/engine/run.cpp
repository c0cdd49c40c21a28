// Running bound statements: the caches, parameter values, stepping, error
// translation, and streaming rows to the client.

#include <sqlite3.h>

#include <cstring>

#include "errors.h"
#include "exact.h"
#include "lexer.h"
#include "session.h"
#include "sqld/product_version.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// Sets a row value in place: no variant reassignment when the previous row
// held the same kind of value.
template <typename T>
void setValue(Value& v, T x) {
  if (T* p = std::get_if<T>(&v.data())) {
    *p = x;
  } else {
    v.data().template emplace<T>(x);
  }
}

constexpr std::size_t kStatementCacheLimit = 256;

const char* kVersion = kProductVersionBanner;

std::string afterColon(const std::string& m) {
  std::size_t c = m.find(": ");
  return c == std::string::npos ? std::string() : m.substr(c + 2);
}

}  // namespace

const BoundStatement& SqliteSession::bound(const void* key,
                                           const std::function<BoundStatement(Binder&)>& make) {
  if (auto it = boundCache_.find(key); it != boundCache_.end()) return it->second;
  Binder binder(*this);
  BoundStatement b = make(binder);
  return boundCache_.emplace(key, std::move(b)).first->second;
}

sqlite3_stmt* SqliteSession::statementFor(const std::string& sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) {
    if (!sqlite3_stmt_busy(it->second.get())) return it->second.get();
    // In use further up the stack (a recursive call): another one serves
    // until the request ends; the busy one must stay alive.
    extraStatements_.push_back(prepare(db_.get(), sql));
    return extraStatements_.back().get();
  }
  if (statements_.size() >= kStatementCacheLimit) {
    for (auto i = statements_.begin(); i != statements_.end();) {
      if (sqlite3_stmt_busy(i->second.get())) {
        ++i;
      } else {
        i = statements_.erase(i);
      }
    }
  }
  SqliteStatement stmt;
  try {
    stmt = prepare(db_.get(), sql);
  } catch (const SqliteFailure& f) {
    throw translate(f.code(), f.what(), nullptr, "SELECT");
  }
  sqlite3_stmt* raw = stmt.get();
  statements_[sql] = std::move(stmt);
  return raw;
}

Variable* SqliteSession::findVariable(Frame& f, const std::string& name) {
  auto it = f.vars.find(lower(name));
  return it == f.vars.end() ? nullptr : &it->second;
}

std::optional<TypeInfo> SqliteSession::variableType(const std::string& name) {
  if (name.rfind("@@", 0) == 0) {
    std::string n = upper(name);
    if (n == "@@IDENTITY" || n == "@@ SCOPE_IDENTITY") return makeType(SqlType::Numeric, 0, 38, 0);
    if (n == "@@VERSION") return makeType(SqlType::NVarChar, 512);
    if (n == "@@SERVERNAME" || n == "@@SERVICENAME" || n == "@@LANGUAGE" || n == "@@ LOGIN" ||
        n == "@@ HOST" || n == "@@ APP" || n == "@@ DB")
      return makeType(SqlType::NVarChar, 256);
    if (n == "@@SPID") return makeType(SqlType::SmallInt);
    if (n == "@@DATEFIRST" || n == "@@MAX_PRECISION") return makeType(SqlType::TinyInt);
    if (n == "@@DBTS") return makeType(SqlType::VarBinary, 8);
    if (n == "@@ MIN_ACTIVE_ROWVERSION") return makeType(SqlType::Binary, 8);
    if (n == "@@ROWCOUNT" || n == "@@ERROR" || n == "@@TRANCOUNT" || n == "@@TEXTSIZE" ||
        n == "@@NESTLEVEL" || n == "@@OPTIONS" || n == "@@LOCK_TIMEOUT" || n == "@@PROCID" ||
        n == "@@FETCH_STATUS" || n == "@@MICROSOFTVERSION" || n == "@@CONNECTIONS" ||
        n == "@@MAX_CONNECTIONS" || n == "@@LANGID")
      return makeType(SqlType::Int);
    return std::nullopt;
  }
  if (!currentFrame_) return std::nullopt;
  if (Variable* v = findVariable(*currentFrame_, name)) return v->type;
  return std::nullopt;
}

Stored SqliteSession::paramValue(const std::string& name, const Frame& f,
                                 const Stored* identityBase) {
  if (name == "\x01identity") return identityBase ? *identityBase : Stored::null();
  if (name.rfind("@@", 0) == 0) {
    std::string n = upper(name);
    if (n == "@@IDENTITY" || n == "@@ SCOPE_IDENTITY") {
      // numeric(38,0): the storage form of a 38-digit value.
      const Stored& id = n == "@@IDENTITY" ? lastIdentity_ : f.scopeIdentity;
      if (id.kind == Stored::Kind::Int) return Stored::blob(exact::toBytes(id.i));
      return id;
    }
    if (n == "@@ROWCOUNT") return Stored::integer(rowCount_);
    if (n == "@@ERROR") return Stored::integer(error_);
    if (n == "@@TRANCOUNT") return Stored::integer(tranCount_);
    if (n == "@@VERSION") return Stored::text(kVersion);
    if (n == "@@SPID") return Stored::integer(login_.spid);
    if (n == "@@SERVERNAME" || n == "@@SERVICENAME")
      return Stored::text(engine_.options().serverName);
    if (n == "@@LANGUAGE") return Stored::text(settings_.language);
    if (n == "@@TEXTSIZE") return Stored::integer(settings_.textSize);
    if (n == "@@NESTLEVEL") return Stored::integer(f.nestLevel);
    if (n == "@@DATEFIRST") return Stored::integer(settings_.dateFirst);
    if (n == "@@MAX_PRECISION") return Stored::integer(38);
    if (n == "@@LOCK_TIMEOUT") return Stored::integer(settings_.lockTimeoutMs);
    if (n == "@@FETCH_STATUS") return Stored::integer(-1);
    if (n == "@@MICROSOFTVERSION") return Stored::integer(kProductLoginAckVersion);
    if (n == "@@OPTIONS") {
      int o = (settings_.implicitTransactions ? 2 : 0) | (settings_.cursorCloseOnCommit ? 4 : 0) |
              (settings_.arithIgnore ? 128 : 0) | (settings_.ansiNullDefault ? 1024 : 0) |
              (settings_.ansiNullDefaultOff ? 2048 : 0) | (settings_.numericRoundAbort ? 8192 : 0) |
              (settings_.ansiWarnings ? 8 : 0) | (settings_.ansiPadding ? 16 : 0) |
              (settings_.ansiNulls ? 32 : 0) | (settings_.arithAbort ? 64 : 0) |
              (settings_.quotedIdentifier ? 256 : 0) | (settings_.nocount ? 512 : 0) |
              (settings_.concatNullYieldsNull ? 4096 : 0) | (settings_.xactAbort ? 16384 : 0);
      return Stored::integer(o);
    }
    if (n == "@@ XACT_STATE") return Stored::integer(xactState());
    if (n.rfind("@@ UPDATED ", 0) == 0) {
      // UPDATE(column) in a trigger.
      if (!f.trigger) return Stored::integer(0);
      return Stored::integer(
          f.trigger->allUpdated || f.trigger->updated.count(lower(name.substr(11))) ? 1 : 0);
    }
    if (n == "@@ COLUMNS_UPDATED")
      return f.trigger ? Stored::blob(f.trigger->columnsUpdated) : Stored::null();
    if (n.rfind("@@ ERROR_", 0) == 0) {
      if (handling_.empty()) return Stored::null();
      const Message& m = handling_.back();
      if (n == "@@ ERROR_NUMBER") return Stored::integer(m.number);
      if (n == "@@ ERROR_SEVERITY") return Stored::integer(m.severity);
      if (n == "@@ ERROR_STATE") return Stored::integer(m.state);
      if (n == "@@ ERROR_LINE") return Stored::integer(m.line);
      if (n == "@@ ERROR_MESSAGE") return Stored::text(m.text);
      if (n == "@@ ERROR_PROCEDURE")
        return m.procName.empty() ? Stored::null() : Stored::text(m.procName);
    }
    if (n == "@@ LOGIN") return Stored::text(login_.user);
    if (n == "@@ HOST") return Stored::text(login_.hostName);
    if (n == "@@ APP") return Stored::text(login_.appName);
    if (n == "@@ DB") return Stored::text(currentDb_);
    if (n == "@@DBTS") return Stored::blob(timestampBytes(databaseTimestamp()));
    if (n == "@@ MIN_ACTIVE_ROWVERSION")
      return Stored::blob(timestampBytes(databaseTimestamp() + 1));
    return Stored::integer(0);
  }
  // Most names are written in lower case already: no folded copy for them.
  auto it = hasUpper(name) ? f.vars.find(lower(name)) : f.vars.find(name);
  return it == f.vars.end() ? Stored::null() : it->second.value;
}

void SqliteSession::bindParams(sqlite3_stmt* stmt, const BoundStatement& b, const Frame& f,
                               const Stored* identityBase) {
  for (std::size_t i = 0; i < b.params.size(); ++i)
    bindStored(stmt, static_cast<int>(i + 1), paramValue(b.params[i], f, identityBase));
}

void SqliteSession::assignVariable(Frame& f, const std::string& name, const Stored& value,
                                   const TypeInfo& type) {
  auto key = lower(name);
  auto it = f.vars.find(key);
  if (it == f.vars.end()) {
    Variable v;
    v.type = type;
    v.value = value;
    f.vars[key] = v;
    return;
  }
  it->second.value = convertValue(value, type, it->second.type, 0, settings_);
}

Stored SqliteSession::evaluate(const Expr& e, Frame& f, TypeInfo* type) {
  const BoundStatement& b = bound(&e, [&](Binder& binder) { return binder.bindExpression(e); });
  sqlite3_stmt* stmt = statementFor(b.sql);
  StatementUse use{stmt};
  bindParams(stmt, b, f);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) throwSqlite(rc, &b, "SELECT");
  if (type) *type = b.columns[0].type;
  return columnStored(stmt, 0);
}

bool SqliteSession::evaluateCondition(const Expr& e, Frame& f) {
  const BoundStatement& b = bound(&e, [&](Binder& binder) { return binder.bindCondition(e); });
  sqlite3_stmt* stmt = statementFor(b.sql);
  StatementUse use{stmt};
  bindParams(stmt, b, f);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) throwSqlite(rc, &b, "SELECT");
  return sqlite3_column_int(stmt, 0) != 0;
}

std::int64_t SqliteSession::stepToEnd(sqlite3_stmt* stmt, const BoundStatement* b,
                                      const char* verb) {
  for (;;) {
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return sqlite3_changes64(db_.get());
    if (rc != SQLITE_ROW) throwSqlite(rc, b, verb);
  }
}

namespace {
// Cuts UTF-8 text to at most `chars` characters.
void cutToCharacters(std::string& text, std::size_t chars) {
  if (text.size() <= chars) return;
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen++ == chars) {
      text.resize(i);
      return;
    }
  }
}
}  // namespace

std::uint64_t SqliteSession::streamRows(sqlite3_stmt* stmt, const BoundStatement& b) {
  const std::size_t n = b.columns.size();
  std::vector<Value> row(n);
  // How each column's stored values become row values, decided once.
  enum class Kind : std::uint8_t { Integer, Money, DateTime, Float, Text, Other };
  std::vector<Kind> kinds(n);
  std::vector<char> large(n);
  for (std::size_t i = 0; i < n; ++i) {
    const SqlType type = b.columns[i].type.type;
    // TEXTSIZE caps text, ntext, image and the (max) types alike.
    large[i] =
        isLargeType(type) || isMaxType(b.columns[i].type) ? (isCharType(type) ? 'c' : 'b') : 0;
    if (large[i] == 'c' && isUnicodeType(type)) large[i] = 'u';
    kinds[i] = isIntegerType(type)                               ? Kind::Integer
               : isMoneyType(type)                               ? Kind::Money
               : type == SqlType::DateTime                       ? Kind::DateTime
               : type == SqlType::Float || type == SqlType::Real ? Kind::Float
               : isCharType(type) && !isLargeType(type)          ? Kind::Text
                                                                 : Kind::Other;
  }
  std::uint64_t count = 0;
  const std::int64_t limit = settings_.rowCount;
  for (;;) {
    if (limit > 0 && static_cast<std::int64_t>(count) >= limit) break;
    checkCancel();
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throwSqlite(rc, &b, "SELECT");
    for (std::size_t i = 0; i < n; ++i) {
      const int col = static_cast<int>(i);
      // One column call; the value accessors below cost no further locking.
      sqlite3_value* stored = sqlite3_column_value(stmt, col);
      const int ct = sqlite3_value_type(stored);
      const Kind kind = kinds[i];
      // The common cases without an intermediate copy.
      if (ct == SQLITE_NULL) {
        if (!row[i].isNull()) row[i].data().emplace<std::monostate>();
      } else if (ct == SQLITE_INTEGER && kind == Kind::Integer) {
        setValue(row[i], static_cast<std::int64_t>(sqlite3_value_int64(stored)));
      } else if (ct == SQLITE_INTEGER && kind == Kind::Money) {
        setValue(row[i], MoneyValue{sqlite3_value_int64(stored)});
      } else if (ct == SQLITE_INTEGER && kind == Kind::DateTime) {
        std::int64_t ticks = sqlite3_value_int64(stored);
        std::int64_t days =
            ticks >= 0 ? ticks / kTicksPerDay : -((-ticks + kTicksPerDay - 1) / kTicksPerDay);
        setValue(row[i], DateTimeValue{static_cast<std::int32_t>(days),
                                       static_cast<std::uint32_t>(ticks - days * kTicksPerDay)});
      } else if (ct == SQLITE_FLOAT && kind == Kind::Float) {
        setValue(row[i], sqlite3_value_double(stored));
      } else if (ct == SQLITE_TEXT && kind == Kind::Text) {
        const char* p = reinterpret_cast<const char*>(sqlite3_value_text(stored));
        auto len = static_cast<std::size_t>(sqlite3_value_bytes(stored));
        // Reuses the previous row's buffer.
        if (std::string* s = std::get_if<std::string>(&row[i].data())) {
          s->assign(p, len);
        } else {
          row[i] = Value(std::string(p, len));
        }
      } else {
        row[i] = valueFromStored(columnStored(stmt, col), b.columns[i].type);
      }
      if (large[i] && !row[i].isNull() && settings_.textSize >= 0) {  // -1: no limit
        std::string* s = std::get_if<std::string>(&row[i].data());
        std::string* bytes = s ? s : &std::get<BytesValue>(row[i].data()).bytes;
        auto cap = static_cast<std::size_t>(settings_.textSize);
        if (large[i] == 'b') {
          if (bytes->size() > cap) bytes->resize(cap);
        } else {
          // Bytes as the client receives them: one per character of code
          // page text, two per Unicode character; never half a character.
          cutToCharacters(*bytes, large[i] == 'u' ? cap / 2 : cap);
        }
      }
      row[i].textPointer.reset();
    }
    for (const auto& tp : b.textPointers) {
      Value& v = row[static_cast<std::size_t>(tp.column)];
      if (v.isNull()) continue;
      TextPointer ptr;
      std::uint32_t obj = static_cast<std::uint32_t>(tp.objectId);
      std::uint16_t col = static_cast<std::uint16_t>(tp.colid);
      std::uint64_t rowid = static_cast<std::uint64_t>(sqlite3_column_int64(stmt, tp.rowidColumn));
      for (int k = 0; k < 4; ++k) ptr.pointer[k] = static_cast<std::uint8_t>(obj >> (8 * k));
      for (int k = 0; k < 2; ++k) ptr.pointer[4 + k] = static_cast<std::uint8_t>(col >> (8 * k));
      for (int k = 0; k < 8; ++k) ptr.pointer[8 + k] = static_cast<std::uint8_t>(rowid >> (8 * k));
      ptr.timestamp = {1, 0, 0, 0, 0, 0, 0, 0};
      v.textPointer = ptr;
    }
    out_->row(row);
    ++count;
  }
  return count;
}

void SqliteSession::throwSqlite(int rc, const BoundStatement* b, const char* verb) {
  std::string message = sqlite3_errmsg(db_.get());
  int code = sqlite3_extended_errcode(db_.get());
  if ((code & 0xFF) != (rc & 0xFF)) code = rc;
  throw translate(code, message, b, verb);
}

SqlError SqliteSession::translate(int code, const std::string& message, const BoundStatement* b,
                                  const char* verb) {
  Message m;
  bool batch = false;
  if (decodeErrorText(message, m, batch))
    return SqlError(m, batch ? ErrorScope::Batch : ErrorScope::Statement);
  int primary = code & 0xFF;
  if (primary == SQLITE_INTERRUPT) throw Cancelled{};
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
    if (cancel_ && cancel_->requested()) throw Cancelled{};
    // The transaction read a database that another session has changed
    // since, and now writes it: it cannot go on consistently.
    if (code == SQLITE_BUSY_SNAPSHOT && tranCount_ > 0)
      return SqlError(1205, {std::to_string(login_.spid)});
    return SqlError(1222, {});
  }
  std::string db = b && b->target ? (b->target->database) : currentDb_;
  std::string table = b && b->target ? b->target->ownerQualified() : std::string();
  if (code == SQLITE_CONSTRAINT_NOTNULL) {
    std::string what = afterColon(message);  // table.column
    std::string column = what.substr(what.find('.') + 1);
    std::string full =
        db + "." +
        (b && b->target ? b->target->ownerQualified() : "dbo." + what.substr(0, what.find('.')));
    return SqlError(515, {column, full, verb});
  }
  if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY) {
    // Which constraint or index: the catalog knows the columns of each.
    std::string cols = afterColon(message);
    std::string kind, name;
    if (b && b->target) {
      const TableInfo& t = *b->target;
      std::vector<std::string> wanted;
      std::size_t pos = 0;
      while (pos < cols.size()) {
        std::size_t comma = cols.find(", ", pos);
        std::string part =
            cols.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        wanted.push_back(part.substr(part.find('.') + 1));
        if (comma == std::string::npos) break;
        pos = comma + 2;
      }
      std::string q = quoteName(t.schema);
      querySql(db_.get(),
               "SELECT i.name, i.status, (SELECT group_concat(c.name, ',') FROM " + q +
                   ".sysindexkeys k JOIN " + q +
                   ".syscolumns c ON c.id = k.id AND c.colid = k.colid WHERE k.id = i.id AND "
                   "k.indid = i.indid) FROM " +
                   q + ".sysindexes i WHERE i.id = ? AND i.indid > 0",
               {Stored::integer(t.id)}, [&](sqlite3_stmt* s) {
                 std::string keys = sqlite3_column_type(s, 2) == SQLITE_NULL
                                        ? ""
                                        : reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
                 std::string joined;
                 for (std::size_t i = 0; i < wanted.size(); ++i)
                   joined += (i ? "," : "") + wanted[i];
                 if (!iequals(keys, joined) || !name.empty()) return;
                 name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
                 int status = sqlite3_column_int(s, 1);
                 kind = (status & 0x800) ? "PRIMARY KEY" : (status & 0x1000) ? "UNIQUE KEY" : "";
               });
    }
    if (!kind.empty()) return SqlError(2627, {kind, name, table});
    return SqlError(2601, {table, name});
  }
  if (code == SQLITE_CONSTRAINT_CHECK) {
    std::string name = afterColon(message);
    return SqlError(547, {verb, "CHECK", name, db, table});
  }
  if (code == SQLITE_CONSTRAINT_FOREIGNKEY) {
    std::string name;
    if (b && b->target) {
      if (std::strcmp(verb, "DELETE") == 0) {
        querySql(db_.get(),
                 "SELECT name FROM " + quoteName(b->target->schema) +
                     ".sysobjects WHERE xtype = 'F ' AND info = ?",
                 {Stored::integer(b->target->id)}, [&](sqlite3_stmt* s) {
                   if (name.empty())
                     name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
                 });
      } else {
        name = catalog_.constraintName(b->target->schema, b->target->id, "F");
      }
    }
    return SqlError(547, {verb, std::strcmp(verb, "DELETE") == 0 ? "REFERENCE" : "FOREIGN KEY",
                          name, db, table});
  }
  if (primary == SQLITE_CONSTRAINT)
    return SqlError(547, {verb, "CHECK", afterColon(message), db, table});
  if (primary == SQLITE_TOOBIG) return SqlError(8152, {});
  // A statement nested past what SQLite parses.
  if (message.find("parser stack overflow") != std::string::npos ||
      message.find("Expression tree is too large") != std::string::npos)
    return SqlError(191, {});
  Message generic;
  generic.number = 8180;
  generic.severity = 16;
  generic.text = "Statement could not be executed: " + message;
  return SqlError(generic, ErrorScope::Statement);
}

}  // namespace tessel::sqld::engine
