// User-defined functions in the session: finding them for the binder and
// running their bodies when SQLite calls t_udf(schema, id, arguments...).
// A function's body runs in a frame of its own, with nothing sent to the
// client, and an error in it ends the statement that called it.

#include <sqlite3.h>

#include <cstdio>

#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

constexpr int kMaxNesting = 32;

// Takes what a function's body would send to the client.
class DiscardingSink : public ResultSink {
 public:
  void metadata(std::span<const Column>) override {}
  void row(std::span<const Value>) override {}
  void done(const Done&) override {}
  void message(const Message&) override {}
  void databaseChanged(std::string_view, std::string_view) override {}
  void transactionChanged(TransactionEvent, std::uint64_t, std::uint64_t) override {}
  void returnStatus(std::int32_t) override {}
  void returnValue(const ReturnValue&) override {}
};

void appendJsonText(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char ch : text) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      out += buf;
    } else {
      out += static_cast<char>(ch);
    }
  }
  out += '"';
}

// A row's values as a JSON array: numbers, text, null, and blobs as hex text
// (t_unhex reads them back).
void appendJsonRow(std::string& out, sqlite3_stmt* st) {
  out += '[';
  for (int i = 0; i < sqlite3_column_count(st); ++i) {
    if (i) out += ',';
    switch (sqlite3_column_type(st, i)) {
      case SQLITE_NULL:
        out += "null";
        break;
      case SQLITE_INTEGER:
        out += std::to_string(sqlite3_column_int64(st, i));
        break;
      case SQLITE_FLOAT: {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, i));
        out += buf;
        break;
      }
      case SQLITE_TEXT:
        appendJsonText(out, reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
        break;
      default: {
        const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string hex;
        for (int k = 0; k < sqlite3_column_bytes(st, i); ++k) {
          hex += kHex[bytes[k] >> 4];
          hex += kHex[bytes[k] & 15];
        }
        appendJsonText(out, hex);
      }
    }
  }
  out += ']';
}

int hexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return 0;
}

// The name of the temporary table that holds a multi-statement function's
// rows while its body runs: one per definition.
std::string resultTableName(std::int64_t id, const std::string& text) {
  return "#tvf~" + std::to_string(id) + "~" + std::to_string(std::hash<std::string>{}(text));
}

}  // namespace

std::shared_ptr<const CreateProcStmt> SqliteSession::functionDefinition(const std::string& schema,
                                                                        std::int64_t id) {
  bool quoted = false;
  const std::string text = catalog_.objectText(schema, id, &quoted);
  auto& cached = procTexts_[std::string(quoted ? "1" : "0") + text];
  if (!cached) cached = std::make_shared<Batch>(parseBatch(text, quoted));
  auto* def = dynamic_cast<CreateProcStmt*>(cached->statements.at(0).get());
  if (!def || def->functionType.empty()) throw SqlError(208, {std::to_string(id)});
  return std::shared_ptr<const CreateProcStmt>(cached, def);
}

std::optional<FunctionRef> SqliteSession::resolveFunction(const Name& name) {
  if (name.empty() || name.back().empty() || name.back()[0] == '#') return std::nullopt;
  std::string database;
  const std::string schema = schemaOfName(name, &database);
  if (schema.empty()) return std::nullopt;
  std::optional<ProcInfo> info;
  // A module's one-part names look in its own schema first.
  if (name.size() == 1 && currentFrame_ && currentFrame_->moduleOwner != kDboSchemaId)
    info = catalog_.function(schema, name.back(), currentFrame_->moduleOwner);
  const int owner = ownerOfName(name, schema);
  if (!info && owner) info = catalog_.function(schema, name.back(), owner);
  if (!info) return std::nullopt;
  FunctionRef ref{schema, info->id, info->name, functionDefinition(schema, info->id)};
  // A multi-statement function's table is made before any statement that
  // calls it runs (SQLite cannot change tables a running statement reads).
  if (ref.definition->functionType == "TF") {
    Name table{resultTableName(info->id, info->text)};
    if (!findTable(table)) Ddl(*this).createTable(*ref.definition->returnTable, &table);
  }
  return ref;
}

Stored SqliteSession::runFunction(const std::string& schema, std::int64_t id,
                                  std::vector<Stored> args) {
  auto def = functionDefinition(schema, id);
  Frame frame;
  frame.nestLevel = (currentFrame_ ? currentFrame_->nestLevel : 0) + 1;
  if (frame.nestLevel > kMaxNesting) throw SqlError(217, {std::to_string(kMaxNesting)});
  frame.procName = def->name.back();
  frame.moduleOwner = ownerOfName(def->name, schema);
  if (!frame.moduleOwner) frame.moduleOwner = kDboSchemaId;
  for (std::size_t i = 0; i < def->params.size() && i < args.size(); ++i) {
    // A text parameter has the database's collation, as a variable does.
    TypeInfo type = def->params[i].type;
    if (isCharType(type.type) && type.collation == 0) type.collation = currentCollation_;
    frame.vars[lower(def->params[i].name)] = Variable{type, std::move(args[i])};
  }
  std::string table;
  if (def->functionType == "TF") {
    bool quoted = false;
    table = resultTableName(id, catalog_.objectText(schema, id, &quoted));
    execSql(db_.get(), "DELETE FROM temp." + quoteName(table));
    frame.tableVars[lower(def->returnVar)] = table;
  } else {
    frame.functionReturns = &def->returns;
  }

  // Nothing reaches the client; an error ends the calling statement, as
  // under TRY.
  DiscardingSink discard;
  struct Restore {
    SqliteSession& s;
    std::unique_ptr<Emitter> out;
    Frame* frame;
    Settings settings;
    ~Restore() {
      s.out_ = std::move(out);
      s.currentFrame_ = frame;
      s.settings_ = settings;
      --s.tryDepth_;
      s.tryFrames_.pop_back();
    }
  } restore{*this, std::move(out_), currentFrame_, settings_};
  out_ = std::make_unique<Emitter>(discard);
  currentFrame_ = &frame;
  ++tryDepth_;
  tryFrames_.push_back(nullptr);
  try {
    runStatements(def->body, frame);
  } catch (const TryTransfer& t) {
    throw SqlError(t.error, ErrorScope::Statement);
  }
  if (table.empty()) {
    auto it = frame.vars.find("@\x01return");
    return it == frame.vars.end() ? Stored::null() : it->second.value;
  }
  std::string rows = "[";
  querySql(db_.get(), "SELECT * FROM temp." + quoteName(table), {}, [&](sqlite3_stmt* st) {
    if (rows.size() > 1) rows += ',';
    appendJsonRow(rows, st);
  });
  execSql(db_.get(), "DELETE FROM temp." + quoteName(table));
  return Stored::text(rows + "]");
}

void SqliteSession::registerFunctionCalls() {
  sqlite3_create_function_v2(
      db_.get(), "t_udf", -1, SQLITE_UTF8, this,
      [](sqlite3_context* c, int n, sqlite3_value** v) {
        auto* self = static_cast<SqliteSession*>(sqlite3_user_data(c));
        try {
          std::string schema = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
          std::vector<Stored> args;
          for (int i = 2; i < n; ++i) args.push_back(storedFromSqlite(v[i]));
          resultStored(c, self->runFunction(schema, sqlite3_value_int64(v[1]), std::move(args)));
        } catch (...) {
          resultCurrentError(c);
        }
      },
      nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(
      db_.get(), "t_unhex", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        if (sqlite3_value_type(v[0]) == SQLITE_NULL) {
          sqlite3_result_null(c);
          return;
        }
        std::string hex = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
        std::string bytes;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
          bytes += static_cast<char>(hexDigit(hex[i]) << 4 | hexDigit(hex[i + 1]));
        sqlite3_result_blob(c, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
      },
      nullptr, nullptr, nullptr);
}

}  // namespace tessel::sqld::engine
