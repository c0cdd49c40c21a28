#include "stub_engine.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace tessel::sqld::test {

namespace {

constexpr std::uint16_t kCmdSelect = 0xC1;
constexpr std::uint16_t kCmdSet = 0xC1;  // what the stub reports for SET as well

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(std::string_view s) {
  auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

bool startsWith(const std::string& upperText, std::string_view word) {
  return upperText.rfind(word, 0) == 0 &&
         (upperText.size() == word.size() ||
          !std::isalnum(static_cast<unsigned char>(upperText[word.size()])));
}

// Splits on ';' and newlines outside quotes.
std::vector<std::string> statements(std::string_view sql) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  for (char c : sql) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && (c == ';' || c == '\n')) {
      if (!trim(cur).empty()) out.push_back(trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!trim(cur).empty()) out.push_back(trim(cur));
  return out;
}

// Splits a select list on commas outside quotes and parentheses.
std::vector<std::string> items(std::string_view list) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  int depth = 0;
  for (char c : list) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == '(') ++depth;
    if (!quoted && c == ')') --depth;
    if (!quoted && depth == 0 && c == ',') {
      out.push_back(trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(trim(cur));
  return out;
}

Column column(std::string name, SqlType type, std::int32_t length, bool nullable = true,
              std::uint8_t precision = 0, std::uint8_t scale = 0) {
  Column c;
  c.name = std::move(name);
  c.type = TypeInfo{type, length, precision, scale, nullable};
  return c;
}

Message error(std::int32_t number, std::uint8_t severity, std::string text,
              std::uint8_t state = 1) {
  Message m;
  m.number = number;
  m.severity = severity;
  m.state = state;
  m.text = std::move(text);
  return m;
}

Done done(bool count, std::uint64_t rows, bool failed = false, Done::Kind kind = Done::Kind::Done) {
  Done d;
  d.kind = kind;
  d.countValid = count;
  d.rowCount = rows;
  d.error = failed;
  d.more = true;
  d.curCmd = kCmdSelect;
  return d;
}

struct Literal {
  Column column;
  Value value;
};

// The text of a quoted literal, where '' stands for one quote.
std::string unquote(std::string_view quoted) {
  std::string text;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    text += quoted[i];
    if (quoted[i] == '\'' && quoted[i + 1] == '\'') ++i;
  }
  return text;
}

// One select-list item: a literal with an optional alias.
bool parseLiteral(const std::string& item, Literal& out) {
  std::string expr = item;
  std::string name;
  std::string up = upper(item);
  if (auto as = up.rfind(" AS "); as != std::string::npos) {
    expr = trim(item.substr(0, as));
    name = trim(item.substr(as + 4));
  }
  std::string ue = upper(expr);
  if (ue == "NULL") {
    out = {column(name, SqlType::Int, 4), Value()};
  } else if (expr.size() >= 3 && (expr[0] == 'N' || expr[0] == 'n') && expr[1] == '\'' &&
             expr.back() == '\'') {
    std::string text = unquote(expr.substr(1));
    auto len = static_cast<std::int32_t>(std::max<std::size_t>(text.size(), 1) * 2);
    out = {column(name, SqlType::NVarChar, len, false), Value(text)};
  } else if (expr.size() >= 2 && expr[0] == '\'' && expr.back() == '\'') {
    std::string text = unquote(expr);
    auto len = static_cast<std::int32_t>(std::max<std::size_t>(text.size(), 1));
    out = {column(name, SqlType::VarChar, len, false), Value(text)};
  } else if (!expr.empty() && (std::isdigit(static_cast<unsigned char>(expr[0])) ||
                               (expr[0] == '-' && expr.size() > 1))) {
    auto dot = expr.find('.');
    if (dot == std::string::npos) {
      long long v = std::strtoll(expr.c_str(), nullptr, 10);
      out = {column(name, SqlType::Int, 4, false), Value(static_cast<std::int64_t>(v))};
    } else {
      std::string digits = expr.substr(0, dot) + expr.substr(dot + 1);
      auto scale = static_cast<std::uint8_t>(expr.size() - dot - 1);
      auto precision = static_cast<std::uint8_t>(std::max<std::size_t>(digits.size(), scale) -
                                                 (expr[0] == '-' ? 1 : 0));
      __int128 unscaled = std::strtoll(digits.c_str(), nullptr, 10);
      out = {column(name, SqlType::Numeric, 5, false, precision, scale),
             Value(DecimalValue{unscaled, precision, scale})};
    }
  } else {
    return false;
  }
  return true;
}

class StubSession : public Session {
 public:
  StubSession(const LoginInfo& login, std::string database, std::atomic<std::uint64_t>& ids)
      : login_(login), database_(std::move(database)), ids_(ids) {}

  void executeBatch(std::string_view sql, ResultSink& sink, const CancelFlag& cancel) override {
    for (const std::string& s : statements(sql)) {
      if (cancel.requested()) return;
      statement(s, sink, cancel);
    }
  }

  void executeRpc(const RpcRequest& request, ResultSink& sink, const CancelFlag& cancel) override {
    std::string name = upper(request.procName);
    if (name == "SP_EXECUTESQL") {
      executeSql(request, sink, cancel);
    } else if (name == "SP_PLAIN") {
      executeBatch("select 1", sink, cancel);  // leaves the closing DONEPROC to the listener
    } else if (name == "SP_ECHO" || name == "#ECHO" || name == "DBO.SP_ECHO") {
      echo(request, sink);
    } else {
      Message m =
          error(2812, 16, "Could not find stored procedure '" + request.procName + "'.", 62);
      sink.message(m);
      sink.done(done(false, 0, true, Done::Kind::DoneProc));
    }
  }

  // Savepoints are only remembered by name, so that a test sees the names the
  // listener decoded: a rollback to an unknown one fails with 6401.
  void transaction(TransactionRequest request, std::string_view name, ResultSink& sink) override {
    bool failed = false;
    if (request == TransactionRequest::Begin) {
      begin(sink);
    } else if (request == TransactionRequest::Save) {
      savepoints_.emplace_back(name);
    } else if (request == TransactionRequest::Rollback && !name.empty() &&
               std::find(savepoints_.begin(), savepoints_.end(), name) == savepoints_.end()) {
      sink.message(error(6401, 16,
                         "Cannot roll back " + std::string(name) +
                             ". No transaction or savepoint of that name was found.",
                         0));
      failed = true;
    } else if (request != TransactionRequest::Rollback || name.empty()) {
      end(sink, request == TransactionRequest::Commit);
      savepoints_.clear();
    }
    Done d = done(false, 0, failed);
    d.curCmd = 0;
    sink.done(d);
  }

  std::string currentDatabase() const override { return database_; }
  std::uint16_t currentCollation() const override { return collation_; }
  std::uint64_t transactionDescriptor() const override { return transaction_; }

 private:
  std::vector<std::string> savepoints_;
  std::uint16_t collation_ = 0;

  void begin(ResultSink& sink) {
    if (transaction_ == 0) {
      transaction_ = ++ids_;
      sink.transactionChanged(ResultSink::TransactionEvent::Begin, transaction_, 0);
    }
  }

  void end(ResultSink& sink, bool commit) {
    if (transaction_ == 0) return;
    std::uint64_t old = transaction_;
    transaction_ = 0;
    sink.transactionChanged(
        commit ? ResultSink::TransactionEvent::Commit : ResultSink::TransactionEvent::Rollback, 0,
        old);
  }

  void statement(const std::string& s, ResultSink& sink, const CancelFlag& cancel) {
    std::string up = upper(s);
    if (startsWith(up, "DECLARE")) return;
    if (startsWith(up, "SET")) {
      Done d = done(false, 0);
      d.curCmd = kCmdSet;
      sink.done(d);
    } else if (startsWith(up, "SELECT")) {
      select(s, sink, cancel);
    } else if (startsWith(up, "WAITFOR")) {
      waitFor(s, sink, cancel);
    } else if (startsWith(up, "USE")) {
      std::string db = trim(s.substr(3));
      std::string old = database_;
      database_ = db;
      sink.databaseChanged(db, old);
      // A database named cyrillic... has Cyrillic_General_CI_AS (id 128).
      const std::uint16_t collation = startsWith(upper(db), "CYRILLIC") ? 128 : 0;
      if (collation != collation_) sink.collationChanged(collation, collation_);
      collation_ = collation;
      sink.done(done(false, 0));
    } else if (startsWith(up, "BEGIN")) {
      begin(sink);
      sink.done(done(false, 0));
    } else if (startsWith(up, "COMMIT") || startsWith(up, "ROLLBACK")) {
      end(sink, startsWith(up, "COMMIT"));
      sink.done(done(false, 0));
    } else if (startsWith(up, "PRINT")) {
      std::string text = trim(s.substr(5));
      if (text.size() >= 2 && text.front() == '\'') text = text.substr(1, text.size() - 2);
      sink.message(error(0, 0, text));
      sink.done(done(false, 0));
    } else if (startsWith(up, "THROW_INTERNAL")) {
      throw std::runtime_error("stub failure");
    } else if (startsWith(up, "RAISERROR")) {
      sink.message(error(50000, 16, "stub raised an error"));
      sink.done(done(false, 0, true));
    } else {
      std::string near = s.substr(0, s.find(' '));
      sink.message(error(102, 15, "Incorrect syntax near '" + near + "'."));
      sink.done(done(false, 0, true));
    }
  }

  void select(const std::string& s, ResultSink& sink, const CancelFlag& cancel) {
    std::string rest = trim(s.substr(6));
    std::string urest = upper(rest);
    if (urest.rfind("* FROM ", 0) == 0) {
      table(trim(urest.substr(7)), sink, cancel);
      return;
    }
    if (urest == "1/0") {
      sink.message(error(8134, 16, "Divide by zero error encountered."));
      sink.done(done(false, 0, true));
      return;
    }
    std::vector<Column> columns;
    std::vector<Value> values;
    for (const std::string& item : items(rest)) {
      std::string ui = upper(item);
      Literal lit;
      if (ui == "@@SPID") {
        lit = {column("", SqlType::SmallInt, 2, false), Value(std::int64_t{login_.spid})};
      } else if (ui == "@@VERSION") {
        lit = {column("", SqlType::NVarChar, 512, false), Value(std::string("Tessel stub engine"))};
      } else if (ui == "@@OPTIONS") {
        // QUOTED_IDENTIFIER and the ANSI options after an ODBC login.
        std::int64_t options = login_.odbc ? 0x0100 | 0x0020 | 0x0008 : 0;
        lit = {column("", SqlType::Int, 4, false), Value(options)};
      } else if (ui == "DB_NAME()") {
        lit = {column("", SqlType::NVarChar, 256, true), Value(database_)};
      } else if (!parseLiteral(item, lit)) {
        sink.message(error(207, 16, "Invalid column name '" + item + "'."));
        sink.done(done(false, 0, true));
        return;
      }
      columns.push_back(lit.column);
      values.push_back(lit.value);
    }
    sink.metadata(columns);
    sink.row(values);
    sink.done(done(true, 1));
  }

  void table(const std::string& name, ResultSink& sink, const CancelFlag& cancel) {
    if (name == "PEOPLE") {
      std::vector<Column> cols = {column("id", SqlType::Int, 4, false),
                                  column("name", SqlType::VarChar, 20),
                                  column("city", SqlType::NVarChar, 40)};
      cols[0].identity = true;
      cols[1].updatable = cols[2].updatable = true;
      sink.metadata(cols);
      sink.row(std::vector<Value>{Value(std::int64_t{1}), Value(std::string("Ann")),
                                  Value(std::string("Zürich"))});
      sink.row(std::vector<Value>{Value(std::int64_t{2}), Value(std::string("Bob")), Value()});
      sink.done(done(true, 2));
    } else if (name == "TYPES") {
      typesRow(sink);
    } else if (name == "BIG" || name == "MEDIUM") {
      sink.metadata(std::vector<Column>{column("n", SqlType::Int, 4, false),
                                        column("pad", SqlType::VarChar, 100, false)});
      const std::uint64_t count = name == "BIG" ? 100000 : 2000;
      std::uint64_t n = 0;
      for (; n < count && !cancel.requested(); ++n) {
        sink.row(
            std::vector<Value>{Value(static_cast<std::int64_t>(n)), Value(std::string(100, 'x'))});
      }
      if (!cancel.requested()) sink.done(done(true, n));
    } else {
      sink.message(error(208, 16, "Invalid object name '" + name + "'."));
      sink.done(done(false, 0, true));
    }
  }

  static void typesRow(ResultSink& sink) {
    std::vector<Column> cols = {
        column("ti", SqlType::TinyInt, 1),
        column("si", SqlType::SmallInt, 2),
        column("i", SqlType::Int, 4),
        column("bi", SqlType::BigInt, 8),
        column("b", SqlType::Bit, 1),
        column("r", SqlType::Real, 4),
        column("f", SqlType::Float, 8),
        column("d", SqlType::Decimal, 9, true, 10, 2),
        column("n", SqlType::Numeric, 17, true, 38, 0),
        column("m", SqlType::Money, 8),
        column("sm", SqlType::SmallMoney, 4),
        column("dt", SqlType::DateTime, 8),
        column("sdt", SqlType::SmallDateTime, 4),
        column("c", SqlType::Char, 5),
        column("vc", SqlType::VarChar, 10),
        column("nc", SqlType::NChar, 10),
        column("nvc", SqlType::NVarChar, 20),
        column("t", SqlType::Text, 0x7FFFFFFF),
        column("nt", SqlType::NText, 0x7FFFFFFE),
        column("img", SqlType::Image, 0x7FFFFFFF),
        column("bin", SqlType::Binary, 4),
        column("vb", SqlType::VarBinary, 8),
        column("g", SqlType::UniqueIdentifier, 16),
        column("nul", SqlType::Int, 4),
    };
    for (auto& c : cols) {
      if (c.type.type == SqlType::Text || c.type.type == SqlType::NText ||
          c.type.type == SqlType::Image) {
        c.tableName = "types";
      }
    }
    GuidValue g;
    for (std::uint8_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(i + 1);
    TextPointer ptr;
    ptr.pointer.fill(0xAB);
    ptr.timestamp.fill(0x01);
    Value text(std::string("long text é"));
    text.textPointer = ptr;
    Value ntext(std::string("long ntext ж"));
    ntext.textPointer = ptr;
    Value image(BytesValue{std::string("\x01\x02\x03", 3)});
    image.textPointer = ptr;
    std::vector<Value> row = {
        Value(std::int64_t{255}),
        Value(std::int64_t{-32768}),
        Value(std::int64_t{2147483647}),
        Value(std::int64_t{-9007199254740993}),
        Value(std::int64_t{1}),
        Value(1.5),
        Value(-2.25),
        Value(DecimalValue{-12345678, 10, 2}),
        Value(DecimalValue{
            static_cast<__int128>(99999999999999999) * 1000000000000000000 + 999999999999999999, 38,
            0}),
        Value(MoneyValue{-1234567890123}),
        Value(MoneyValue{123456}),
        Value(DateTimeValue{45000, 300 * 3600}),
        Value(DateTimeValue{45000, 18000 * 90}),
        Value(std::string("ab")),
        Value(std::string("café")),
        Value(std::string("ж")),
        Value(std::string("naïve ✓")),
        text,
        ntext,
        image,
        Value(BytesValue{std::string("\xDE\xAD", 2)}),
        Value(BytesValue{std::string("\x00\xFF", 2)}),
        Value(g),
        Value(),
    };
    sink.metadata(cols);
    sink.row(row);
    sink.done(done(true, 1));
  }

  void waitFor(const std::string& s, ResultSink& sink, const CancelFlag& cancel) {
    auto q = s.find('\'');
    int h = 0, m = 0;
    double sec = 0;
    if (q != std::string::npos) std::sscanf(s.c_str() + q + 1, "%d:%d:%lf", &h, &m, &sec);
    auto until =
        std::chrono::steady_clock::now() +
        std::chrono::milliseconds(static_cast<long long>((h * 3600 + m * 60 + sec) * 1000));
    while (std::chrono::steady_clock::now() < until) {
      if (cancel.requested()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    sink.done(done(false, 0));
  }

  const RpcParam* param(const RpcRequest& r, const std::string& name) {
    for (const auto& p : r.params) {
      if (upper(p.name) == upper(name)) return &p;
    }
    return nullptr;
  }

  void executeSql(const RpcRequest& r, ResultSink& sink, const CancelFlag& cancel) {
    if (r.params.empty()) {
      sink.message(error(
          214, 16, "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'."));
      sink.done(done(false, 0, true, Done::Kind::DoneProc));
      return;
    }
    const std::string* stmt = std::get_if<std::string>(&r.params[0].value.data());
    std::string text = stmt ? *stmt : "";
    std::string up = upper(trim(text));
    if (startsWith(up, "SELECT") && up.find('@') != std::string::npos) {
      std::vector<Column> cols;
      std::vector<Value> vals;
      for (const std::string& item : items(trim(text).substr(6))) {
        const RpcParam* p = param(r, item);
        Literal lit;
        if (!p && parseLiteral(item, lit)) {
          cols.push_back(lit.column);
          vals.push_back(lit.value);
          continue;
        }
        if (!p) {
          sink.message(error(137, 15, "Must declare the scalar variable \"" + item + "\"."));
          sink.done(done(false, 0, true, Done::Kind::DoneProc));
          return;
        }
        cols.push_back(echoColumn(*p));
        vals.push_back(p->value);
      }
      sink.metadata(cols);
      sink.row(vals);
      Done d = done(true, 1, false, Done::Kind::DoneInProc);
      sink.done(d);
    } else {
      executeBatch(text, sink, cancel);
    }
    Done end = done(false, 0, false, Done::Kind::DoneProc);
    end.curCmd = 0xE0;
    end.more = false;
    sink.done(end);
  }

  // The column that returns a parameter: long fixed-length character and
  // binary values come back as the (max) types.
  static Column echoColumn(const RpcParam& p) {
    Column c;
    c.name = p.name.empty() ? "" : p.name.substr(1);
    c.type = p.type;
    c.type.nullable = true;
    if (c.type.length > 8000) {
      if (c.type.type == SqlType::Char) c.type.type = SqlType::VarChar;
      if (c.type.type == SqlType::NChar) c.type.type = SqlType::NVarChar;
      if (c.type.type == SqlType::Binary) c.type.type = SqlType::VarBinary;
    }
    return c;
  }

  void echo(const RpcRequest& r, ResultSink& sink) {
    std::vector<Column> cols;
    std::vector<Value> vals;
    for (const auto& p : r.params) {
      cols.push_back(echoColumn(p));
      vals.push_back(p.value);
    }
    if (!cols.empty()) {
      sink.metadata(cols);
      sink.row(vals);
      sink.done(done(true, 1, false, Done::Kind::DoneInProc));
    }
    sink.returnStatus(7);
    std::uint16_t ordinal = 0;
    for (const auto& p : r.params) {
      ++ordinal;
      if (!p.output) continue;
      ReturnValue v;
      v.name = p.name;
      v.column.type = p.type;
      v.column.type.nullable = true;
      if (v.column.type.length > 8000) v.column.type.length = 8000;
      v.value = p.value;
      v.ordinal = ordinal;
      sink.returnValue(v);
    }
    Done end = done(false, 0, false, Done::Kind::DoneProc);
    end.curCmd = 0xE0;
    end.more = false;
    sink.done(end);
  }

  LoginInfo login_;
  std::string database_;
  std::atomic<std::uint64_t>& ids_;
  std::uint64_t transaction_ = 0;
};

class StubEngine : public Engine {
 public:
  std::unique_ptr<Session> openSession(const LoginInfo& login, Message& err) override {
    std::string db = login.database.empty() ? defaultDatabase() : login.database;
    if (upper(db) == "NODB") {
      err = error(4060, 11,
                  "Cannot open database \"" + db + "\" requested by the login. The login failed.");
      return nullptr;
    }
    return std::make_unique<StubSession>(login, db, ids_);
  }
  std::string defaultDatabase() const override { return "master"; }

 private:
  std::atomic<std::uint64_t> ids_{0x1000};
};

}  // namespace

std::unique_ptr<Engine> createStubEngine(const EngineOptions&) {
  return std::make_unique<StubEngine>();
}

}  // namespace tessel::sqld::test
