// Bulk loads. INSERT BULK and WRITETEXT BULK only name their target; the data
// follows in the client's next message, which the listener decodes. The rows
// of INSERT BULK go through the same INSERT as a batch's, one row at a time
// with the row's values as variables of the types the client sent, so
// conversions, defaults, constraints and identity behave alike. All rows of
// one message are one unit: an error leaves none of them inserted.

#include <sqlite3.h>

#include "errors.h"
#include "lexer.h"
#include "session.h"
#include "sqld/charset.h"

namespace tessel::sqld::engine {

namespace {

constexpr std::uint16_t kCmdInsert = 0xC3;
constexpr std::uint16_t kCmdUpdate = 0xC5;
// How many rows go in between checks for a cancel.
constexpr std::size_t kCancelCheckRows = 256;

std::string bulkVariable(std::size_t i) {
  return "@bulk column " + std::to_string(i + 1);
}

}  // namespace

void SqliteSession::execInsertBulk(const InsertStmt& s, Frame& f) {
  auto table = resolveTable(s.table);
  for (const auto& c : s.columns)
    if (!table->column(c)) throw SqlError(207, {c});
  BulkTarget target;
  target.kind = BulkWait::Rows;
  target.table = s.table;
  target.columns = s.columns;
  target.fireTriggers = s.fireTriggers;
  bulk_ = std::move(target);
  statementDone(doneKind(f), kCmdInsert, false, 0);
}

void SqliteSession::reportBulkFailure(const std::exception_ptr& failure, Frame& frame) {
  try {
    std::rethrow_exception(failure);
  } catch (const SqlError& e) {
    reportError(e, nullptr, frame);
  } catch (const SqliteFailure& e) {
    reportError(translate(e.code(), e.what(), nullptr, "INSERT"), nullptr, frame);
  } catch (const Cancelled&) {
    throw;
  } catch (const std::exception& e) {
    Message m;
    m.number = 8180;
    m.severity = 16;
    m.text = std::string("Statement could not be executed: ") + e.what();
    out_->message(m);
  }
  noteAutoRollback();
}

void SqliteSession::bulkRows(BulkRowReader& rows, ResultSink& sink, const CancelFlag& cancel) {
  std::optional<BulkTarget> target = std::move(bulk_);
  bulk_.reset();
  beginRequest(sink, cancel);
  Frame frame;
  currentFrame_ = &frame;
  bool open = false;
  try {
    if (!target || target->kind != BulkWait::Rows)
      throw std::runtime_error("no bulk load waits for this data");
    // The rows are written as one statement: its write lock comes first.
    if (std::string database = databaseOf(target->table);
        !database.empty() && engine_.exists(database))
      lockForWrite(database);
    refreshSnapshot();
    auto table = resolveTable(target->table);
    // The statement that inserts one row: the client's columns, each from a
    // variable that holds the row's value in the type the client sent.
    InsertStmt insert;
    insert.table = target->table;
    std::vector<Variable*> slots;
    std::vector<TypeInfo> types;
    std::vector<ExprPtr> values;
    const auto& columns = rows.columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const ColumnInfo* col = table->column(columns[i].name);
      if (!col) throw SqlError(207, {columns[i].name});
      insert.columns.push_back(col->name);
      auto v = std::make_unique<Expr>();
      v->kind = ExprKind::Variable;
      v->op = bulkVariable(i);
      values.push_back(std::move(v));
      Variable var;
      var.type = columns[i].type;
      frame.vars[lower(bulkVariable(i))] = var;
      types.push_back(columns[i].type);
    }
    for (std::size_t i = 0; i < columns.size(); ++i)
      slots.push_back(&frame.vars[lower(bulkVariable(i))]);
    insert.rows.push_back(std::move(values));

    const bool outermost = sqlite3_get_autocommit(db_.get());
    execSql(db_.get(), "SAVEPOINT tessel_bulk");
    open = true;
    // A bulk load fires the table's insert triggers only when asked to, once
    // for all its rows.
    auto load = [&] {
      std::int64_t count = 0;
      std::vector<Value> row;
      while (rows.next(row)) {
        if (count % kCancelCheckRows == 0) checkCancel();
        for (std::size_t i = 0; i < slots.size() && i < row.size(); ++i)
          slots[i]->value = storedFromValue(row[i], types[i]);
        count += insertRows(insert, frame);
      }
      return count;
    };
    auto count = static_cast<std::uint64_t>(withTriggers(target->fireTriggers ? table : nullptr,
                                                         kTriggerInsert, {}, frame, load, &insert));
    open = false;
    releaseSavepoint("tessel_bulk", outermost);
    rowCount_ = static_cast<std::int64_t>(count);
    statementDone(Done::Kind::Done, kCmdInsert, true, count);
    out_->finish();
  } catch (const Cancelled&) {
    if (open) {
      sqlite3_exec(db_.get(), "ROLLBACK TO tessel_bulk; RELEASE tessel_bulk", nullptr, nullptr,
                   nullptr);
    }
    out_->abandon();
  } catch (...) {
    if (open) {
      sqlite3_exec(db_.get(), "ROLLBACK TO tessel_bulk; RELEASE tessel_bulk", nullptr, nullptr,
                   nullptr);
    }
    try {
      reportBulkFailure(std::current_exception(), frame);
      out_->finish(Done::Kind::Done, true);
    } catch (const Cancelled&) {
      out_->abandon();
    }
  }
  currentFrame_ = nullptr;
  endRequest();
}

void SqliteSession::bulkText(std::string bytes, ResultSink& sink) {
  std::optional<BulkTarget> target = std::move(bulk_);
  bulk_.reset();
  CancelFlag never;
  beginRequest(sink, never);
  Frame frame;
  currentFrame_ = &frame;
  try {
    if (!target || target->kind != BulkWait::Text)
      throw std::runtime_error("no bulk load waits for this data");
    // The rows are written as one statement: its write lock comes first.
    if (std::string database = databaseOf(target->table);
        !database.empty() && engine_.exists(database))
      lockForWrite(database);
    refreshSnapshot();
    auto table = resolveTable(target->table);
    const ColumnInfo* col = table->column(target->columns.front());
    if (!col) throw SqlError(207, {target->columns.front()});
    Stored value;
    switch (col->type.type) {
      case SqlType::NText:
      case SqlType::NChar:
      case SqlType::NVarChar:
        value = Stored::text(ucs2leToUtf8(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
        break;
      case SqlType::Text:
      case SqlType::Char:
      case SqlType::VarChar:
        value = Stored::text(cp1252ToUtf8(bytes));
        break;
      default:
        value = Stored::blob(std::move(bytes));
        break;
    }
    storeColumnValue(table, *col, value, target->rowid);
    statementDone(Done::Kind::Done, kCmdUpdate, false, 0);
    out_->finish();
  } catch (...) {
    reportBulkFailure(std::current_exception(), frame);
    out_->finish(Done::Kind::Done, true);
  }
  currentFrame_ = nullptr;
  endRequest();
}

}  // namespace tessel::sqld::engine
