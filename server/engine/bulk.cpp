// Bulk loads. INSERT BULK and WRITETEXT BULK only name their target; the data
// follows in the client's next message, which the listener decodes. The rows
// of INSERT BULK go through the same INSERT as a batch's, one row at a time
// with the row's values as variables of the types the client sent, so
// conversions, defaults, constraints and identity behave alike. All rows of
// one message are one unit: an error leaves none of them inserted.

#include <sqlite3.h>

#include "collations.h"
#include "errors.h"
#include "functions.h"
#include "lexer.h"
#include "session.h"
#include "sqld/charset.h"
#include "types.h"

namespace tessel::sqld::engine {

namespace {

constexpr std::uint16_t kCmdInsert = 0xC3;
constexpr std::uint16_t kCmdUpdate = 0xC5;
// How many rows go in between checks for a cancel.
constexpr std::size_t kCancelCheckRows = 256;

std::string bulkVariable(std::size_t i) {
  return "@bulk column " + std::to_string(i + 1);
}

// The order the ORDER hint of INSERT BULK promises: NULL first, numbers by
// value, text as the default collation sorts it, anything else by its bytes.
int compareForOrder(const Stored& a, const Stored& b) {
  using K = Stored::Kind;
  if (a.kind == K::Null || b.kind == K::Null) return (a.kind != K::Null) - (b.kind != K::Null);
  if (a.kind == K::Int && b.kind == K::Int) return (a.i > b.i) - (a.i < b.i);
  if ((a.kind == K::Int || a.kind == K::Real) && (b.kind == K::Int || b.kind == K::Real)) {
    double x = a.kind == K::Int ? static_cast<double>(a.i) : a.r;
    double y = b.kind == K::Int ? static_cast<double>(b.i) : b.r;
    return (x > y) - (x < y);
  }
  if (a.kind == K::Text && b.kind == K::Text) return compareCaseInsensitive(a.s, b.s);
  int c = a.s.compare(b.s);
  return (c > 0) - (c < 0);
}

std::string orderKeyText(const std::vector<Stored>& key) {
  std::string out = "(";
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (i) out += ", ";
    const Stored& v = key[i];
    out += v.kind == Stored::Kind::Null   ? "NULL"
           : v.kind == Stored::Kind::Int  ? std::to_string(v.i)
           : v.kind == Stored::Kind::Real ? std::to_string(v.r)
                                          : v.s;
  }
  return out + ")";
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
  for (const auto& [column, descending] : s.bulkOrder)
    if (!table->column(column)) throw SqlError(207, {column});
  target.order = s.bulkOrder;
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
      // A timestamp column takes the database's next timestamp whatever the
      // client sends for it (DEFAULT).
      if (col->rowversion) {
        values.push_back(nullptr);
      } else {
        auto v = std::make_unique<Expr>();
        v->kind = ExprKind::Variable;
        v->op = bulkVariable(i);
        values.push_back(std::move(v));
      }
      Variable var;
      var.type = columns[i].type;
      // Text arrives in the code page of the column it is for, whatever
      // collation the client described it with.
      if (isCharType(col->type.type) && !isUnicodeType(col->type.type) &&
          isCharType(var.type.type) && !isUnicodeType(var.type.type)) {
        rows.readTextAs(i, collationCodePage(col->type.collation));
        var.type.collation = col->type.collation;
      }
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
    // The client's columns the ORDER hint names, and whether each descends;
    // rows out of that order fail the load.
    std::vector<std::pair<std::size_t, bool>> orderSlots;
    for (const auto& [column, descending] : target->order) {
      for (std::size_t i = 0; i < columns.size(); ++i)
        if (iequals(columns[i].name, column)) orderSlots.emplace_back(i, descending);
    }
    std::vector<Stored> previousKey, key;
    auto checkOrder = [&](bool first) {
      key.clear();
      for (const auto& [slot, descending] : orderSlots) key.push_back(slots[slot]->value);
      if (!first) {
        for (std::size_t k = 0; k < key.size(); ++k) {
          int c = compareForOrder(previousKey[k], key[k]);
          if (orderSlots[k].second) c = -c;
          if (c < 0) break;
          if (c > 0) throw SqlError(4819, {orderKeyText(previousKey), orderKeyText(key)});
        }
      }
      previousKey.swap(key);
    };
    auto load = [&] {
      std::int64_t count = 0;
      std::vector<Value> row;
      bool first = true;
      while (rows.next(row)) {
        if (count % kCancelCheckRows == 0) checkCancel();
        for (std::size_t i = 0; i < slots.size() && i < row.size(); ++i)
          slots[i]->value = storedFromValue(row[i], types[i]);
        if (!orderSlots.empty()) checkOrder(first);
        first = false;
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
        value = Stored::text(codePageToUtf8(bytes, collationCodePage(col->type.collation)));
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
