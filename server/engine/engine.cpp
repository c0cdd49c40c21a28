#include <map>
#include <mutex>

#include "errors.h"
#include "parser.h"
#include "sqld/engine.h"
#include "types.h"

namespace tessel::sqld {
namespace engine {
namespace {

class LiteralSession : public Session {
 public:
  explicit LiteralSession(std::string db) : db_(std::move(db)) {}
  void executeBatch(std::string_view sql, ResultSink& sink, const CancelFlag&) override {
    try {
      Batch b = parseBatch(sql, false);
      for (auto& st : b.statements) {
        if (st->kind != StmtKind::Select) throw SqlError(102, {"?"});
        auto& q = static_cast<QueryStmt&>(*st);
        std::vector<Column> cols;
        std::vector<Value> vals;
        for (auto& item : q.select->items) {
          if (item.expr->kind != ExprKind::Literal) throw SqlError(207, {"?"});
          Column c;
          c.name = item.alias;
          c.type = item.expr->type;
          cols.push_back(c);
          vals.push_back(item.expr->value);
        }
        sink.metadata(cols);
        sink.row(vals);
        Done d;
        d.countValid = true;
        d.rowCount = 1;
        sink.done(d);
      }
    } catch (const SqlError& e) {
      sink.message(e.message());
      Done d;
      d.error = true;
      sink.done(d);
    }
  }
  void executeRpc(const RpcRequest&, ResultSink& sink, const CancelFlag&) override {
    sink.message(makeMessage(2812, {"?"}));
    Done d;
    d.error = true;
    d.kind = Done::Kind::DoneProc;
    sink.done(d);
  }
  void transaction(TransactionRequest, ResultSink& sink) override {
    Done d;
    sink.done(d);
  }
  std::string currentDatabase() const override { return db_; }
  std::uint64_t transactionDescriptor() const override { return 0; }

 private:
  std::string db_;
};

class LiteralEngine : public Engine {
 public:
  std::unique_ptr<Session> openSession(const LoginInfo& login, Message& error) override {
    std::string db = login.database.empty() ? "tessel" : login.database;
    if (db != "tessel" && db != "master") {
      error = makeMessage(4060, {db});
      return nullptr;
    }
    return std::make_unique<LiteralSession>(db);
  }
  std::string defaultDatabase() const override { return "tessel"; }
};

}  // namespace
}  // namespace engine

std::unique_ptr<Engine> createSqliteEngine(const EngineOptions&) {
  return std::make_unique<engine::LiteralEngine>();
}

}  // namespace tessel::sqld
