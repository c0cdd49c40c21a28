#include "sqlite_util.h"

#include "errors.h"
#include "session.h"

#include <cstdlib>

namespace tessel::sqld::engine {

Stored storedFromSqlite(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return Stored::integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
      return Stored::real(sqlite3_value_double(v));
    case SQLITE_TEXT:
      return Stored::text(std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                      static_cast<std::size_t>(sqlite3_value_bytes(v))));
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      return Stored::blob(p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
                            : std::string());
    }
    default:
      return Stored::null();
  }
}

Stored columnStored(sqlite3_stmt* s, int i) {
  switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER:
      return Stored::integer(sqlite3_column_int64(s, i));
    case SQLITE_FLOAT:
      return Stored::real(sqlite3_column_double(s, i));
    case SQLITE_TEXT:
      return Stored::text(std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                                      static_cast<std::size_t>(sqlite3_column_bytes(s, i))));
    case SQLITE_BLOB: {
      const void* p = sqlite3_column_blob(s, i);
      int n = sqlite3_column_bytes(s, i);
      return Stored::blob(p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n))
                            : std::string());
    }
    default:
      return Stored::null();
  }
}

void bindStored(sqlite3_stmt* s, int i, const Stored& v) {
  switch (v.kind) {
    case Stored::Kind::Null:
      sqlite3_bind_null(s, i);
      break;
    case Stored::Kind::Int:
      sqlite3_bind_int64(s, i, v.i);
      break;
    case Stored::Kind::Real:
      sqlite3_bind_double(s, i, v.r);
      break;
    case Stored::Kind::Text:
      sqlite3_bind_text64(s, i, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      break;
    case Stored::Kind::Blob:
      sqlite3_bind_blob64(s, i, v.s.data(), v.s.size(), SQLITE_TRANSIENT);
      break;
  }
}

void resultStored(sqlite3_context* c, const Stored& v) {
  switch (v.kind) {
    case Stored::Kind::Null:
      sqlite3_result_null(c);
      break;
    case Stored::Kind::Int:
      sqlite3_result_int64(c, v.i);
      break;
    case Stored::Kind::Real:
      sqlite3_result_double(c, v.r);
      break;
    case Stored::Kind::Text:
      sqlite3_result_text64(c, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      break;
    case Stored::Kind::Blob:
      sqlite3_result_blob64(c, v.s.data(), v.s.size(), SQLITE_TRANSIENT);
      break;
  }
}

std::string encodeErrorText(const Message& m, bool batchScope) {
  return "\x01" + std::to_string(m.number) + "\x1f" + std::to_string(m.severity) + "\x1f" +
         std::to_string(m.state) + "\x1f" + (batchScope ? "B" : "S") + "\x1f" + m.text;
}

bool decodeErrorText(std::string_view text, Message& m, bool& batchScope) {
  if (text.empty() || text[0] != '\x01') return false;
  std::string parts[5];
  int n = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\x1f' && n < 4) {
      ++n;
      continue;
    }
    parts[n] += text[i];
  }
  if (n < 4) return false;
  m.number = std::atoi(parts[0].c_str());
  m.severity = static_cast<std::uint8_t>(std::atoi(parts[1].c_str()));
  m.state = static_cast<std::uint8_t>(std::atoi(parts[2].c_str()));
  batchScope = parts[3] == "B";
  m.text = parts[4];
  return true;
}

std::string_view valueText(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string_view(reinterpret_cast<const char*>(t),
                              static_cast<std::size_t>(sqlite3_value_bytes(v)))
           : std::string_view();
}

std::string quoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string quoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

}  // namespace tessel::sqld::engine

namespace tessel::sqld::engine {

void throwLastError(sqlite3* db, int rc) {
  int code = db ? sqlite3_extended_errcode(db) : rc;
  if ((code & 0xFF) != (rc & 0xFF)) code = rc;
  throw SqliteFailure(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

SqliteStatement prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  SqliteStatement stmt(raw);
  if (rc != SQLITE_OK) throwLastError(db, rc);
  return stmt;
}

void execSql(sqlite3* db, const std::string& sql, const std::vector<Stored>& params) {
  if (params.empty()) {
    char* err = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
      std::string msg = err ? err : sqlite3_errstr(rc);
      sqlite3_free(err);
      throw SqliteFailure(sqlite3_extended_errcode(db), msg);
    }
    return;
  }
  querySql(db, sql, params, [](sqlite3_stmt*) {});
}

void querySql(sqlite3* db, const std::string& sql, const std::vector<Stored>& params,
              const std::function<void(sqlite3_stmt*)>& row) {
  SqliteStatement stmt = prepare(db, sql);
  for (std::size_t i = 0; i < params.size(); ++i)
    bindStored(stmt.get(), static_cast<int>(i + 1), params[i]);
  for (;;) {
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW) {
      row(stmt.get());
    } else if (rc == SQLITE_DONE) {
      return;
    } else {
      throwLastError(db, rc);
    }
  }
}

void resultCurrentError(sqlite3_context* c) {
  try {
    throw;
  } catch (const SqlError& e) {
    std::string text = encodeErrorText(e.message(), false);
    sqlite3_result_error(c, text.c_str(), static_cast<int>(text.size()));
  } catch (const Cancelled&) {
    // The statement stops as a cancelled one does: SQLite sees it interrupted.
    sqlite3_result_error_code(c, SQLITE_INTERRUPT);
  } catch (const std::exception& e) {
    sqlite3_result_error(c, e.what(), -1);
  } catch (...) {
    // Nothing may unwind through SQLite's frames.
    sqlite3_result_error(c, "function failed", -1);
  }
}

}  // namespace tessel::sqld::engine
