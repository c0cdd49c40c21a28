// Binding of INSERT, UPDATE and DELETE.

#include "binder.h"
#include "convert.h"
#include "errors.h"
#include "exact.h"
#include "lexer.h"
#include "parser.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

const char* kIdentityParam = "\x01identity";

// Splits a FROM list into the target table's entry and the rest when the
// target is named in FROM (UPDATE t SET ... FROM t JOIN u ON ...). Inner
// joins with the target on their left flatten into the rest plus ON terms.
bool extractTarget(const std::vector<TableRefPtr>& from, const Name& target,
                   const TableRef*& targetRef, std::vector<const TableRef*>& others,
                   std::vector<const Expr*>& onTerms) {
  auto matches = [&](const TableRef& r) {
    if (r.kind != TableRef::Kind::Named) return false;
    if (!r.alias.empty()) return iequals(r.alias, target.back());
    return iequals(r.name.back(), target.back());
  };
  for (const auto& ref : from) {
    const TableRef* r = ref.get();
    if (matches(*r)) {
      targetRef = r;
      continue;
    }
    // Walk down the left spine of inner joins.
    std::vector<const TableRef*> rights;
    std::vector<const Expr*> ons;
    const TableRef* cur = r;
    while (cur->kind == TableRef::Kind::Join &&
           (cur->joinType == "INNER" || cur->joinType == "CROSS")) {
      rights.push_back(cur->right.get());
      if (cur->on) ons.push_back(cur->on.get());
      cur = cur->left.get();
    }
    if (matches(*cur) && !targetRef) {
      targetRef = cur;
      for (auto* x : rights) others.push_back(x);
      for (auto* x : ons) onTerms.push_back(x);
    } else {
      others.push_back(r);
    }
  }
  return targetRef != nullptr;
}

}  // namespace

std::string Binder::nextRowversion(const TableInfo& table) {
  return "t_rowversion(" + quoteText(table.schema) + ")";
}

BoundStatement Binder::bindInsert(const InsertStmt& ins) {
  XmlNamespacesScope namespaces(*this, ins.xmlNamespaces);
  WithScope with(*this, ins.with);
  BoundStatement out;
  // Through a common table expression: its base table, its columns named
  // as the base table names them.
  std::vector<std::string> insertColumns = ins.columns;
  std::shared_ptr<const TableInfo> table = insertThrough(ins, insertColumns);
  if (!table) table = ctx_.resolveTable(ins.table);
  if (table->xtype != "U") throw SqlError(4406, {table->name});
  out.target = table;
  // Target columns.
  std::vector<int> targets;
  bool identityListed = false;
  if (ins.defaultValues) {
    // Every column takes its default.
  } else if (insertColumns.empty()) {
    // Computed columns take no value; a timestamp column takes one only when
    // the rows give a value for it too.
    int rowversion = -1;
    for (std::size_t i = 0; i < table->columns.size(); ++i) {
      const ColumnInfo& c = table->columns[i];
      if (c.computed() || (c.identity && !ctx_.identityInsert(*table))) continue;
      if (c.rowversion) rowversion = static_cast<int>(i);
      targets.push_back(static_cast<int>(i));
    }
    if (rowversion >= 0 && !ins.rows.empty() && ins.rows[0].size() + 1 == targets.size())
      std::erase(targets, rowversion);
  } else {
    for (const auto& name : insertColumns) {
      int idx = table->columnIndex(name);
      if (idx < 0) throw SqlError(207, {name});
      if (table->columns[static_cast<std::size_t>(idx)].computed())
        throw SqlError(271, {table->columns[static_cast<std::size_t>(idx)].name});
      targets.push_back(idx);
    }
  }
  // A timestamp column is written only with DEFAULT (or NULL, which stands
  // for it): the database gives the value.
  for (int idx : targets) {
    if (!table->columns[static_cast<std::size_t>(idx)].rowversion) continue;
    const std::size_t at =
        static_cast<std::size_t>(std::find(targets.begin(), targets.end(), idx) - targets.begin());
    if (ins.select && !(at < ins.defaultItems.size() && ins.defaultItems[at]))
      throw SqlError(273, {});
    for (const auto& row : ins.rows)
      if (at < row.size() && row[at] &&
          !(row[at]->kind == ExprKind::Literal && row[at]->value.isNull()))
        throw SqlError(273, {});
  }
  for (int idx : targets) {
    if (table->columns[static_cast<std::size_t>(idx)].identity) {
      if (!ctx_.identityInsert(*table)) throw SqlError(544, {table->name});
      identityListed = true;
    }
  }
  // Columns not listed get their DEFAULT, or the next identity value.
  std::vector<int> defaulted;
  for (std::size_t i = 0; i < table->columns.size(); ++i) {
    bool listed = std::find(targets.begin(), targets.end(), static_cast<int>(i)) != targets.end();
    if (!listed && (!table->columns[i].defaultText.empty() || table->columns[i].identity ||
                    table->columns[i].rowversion))
      defaulted.push_back(static_cast<int>(i));
  }
  auto defaultSql = [&](int idx) -> std::string {
    const ColumnInfo& c = table->columns[static_cast<std::size_t>(idx)];
    if (c.rowversion) return nextRowversion(*table);
    if (c.identity) {
      out.usesIdentity = true;
      std::string next = "(" + param(kIdentityParam) + " + (row_number() OVER ()) * " +
                         std::to_string(table->identityIncrement) + ")";
      if (exact::isWide(c.type))
        next = "t_cast(" + next + "," + std::to_string(encodeType(makeType(SqlType::BigInt))) +
               "," + std::to_string(encodeType(c.type)) + ",0,0)";
      return next;
    }
    if (c.defaultText.empty()) return "NULL";
    Batch b = parseBatch("SELECT " + c.defaultText, false);
    auto& q = static_cast<QueryStmt&>(*b.statements[0]);
    Scope none;
    Typed t = bindExpr(*q.select->items[0].expr, none);
    return columnValueSql(t, c);
  };
  std::string cols;
  auto addCol = [&](int idx) {
    if (!cols.empty()) cols += ", ";
    cols += quoteName(table->columns[static_cast<std::size_t>(idx)].name);
  };
  for (int idx : targets) addCol(idx);
  for (int idx : defaulted) addCol(idx);
  std::string head = "INSERT INTO " + table->qualifiedName() + " (" + cols + ") ";
  if (ins.defaultValues) {
    std::string values;
    for (int idx : defaulted) values += (values.empty() ? "" : ", ") + defaultSql(idx);
    if (!defaultRowsFrom_.empty()) {
      // One row for each row of the source, every column defaulted.
      if (defaulted.empty())
        out.sql = "INSERT INTO " + table->qualifiedName() + " (" +
                  quoteName(table->columns[0].name) + ") SELECT NULL FROM " + defaultRowsFrom_;
      else
        out.sql = head + "SELECT " + values + " FROM " + defaultRowsFrom_;
    } else if (defaulted.empty()) {
      out.sql = "INSERT INTO " + table->qualifiedName() + " DEFAULT VALUES";
    } else {
      out.sql = head + "SELECT " + values;
    }
  } else if (!ins.rows.empty()) {
    std::string values;
    for (const auto& row : ins.rows) {
      if (row.size() != targets.size()) {
        if (!insertColumns.empty()) throw SqlError(row.size() > targets.size() ? 110 : 109, {});
        throw SqlError(213, {});
      }
      sequenceSite_ = 0;
      values += values.empty() ? "(" : ", (";
      for (std::size_t i = 0; i < row.size(); ++i) {
        int idx = targets[i];
        const ColumnInfo& c = table->columns[static_cast<std::size_t>(idx)];
        std::string v;
        if (!row[i] || c.rowversion) {
          v = c.defaultText.empty() && !c.rowversion ? "NULL" : defaultSql(idx);
        } else {
          Scope none;
          Typed t = bindExpr(*row[i], none);
          v = columnValueSql(t, c);
        }
        values += (i ? ", " : "") + v;
      }
      values += ")";
    }
    std::string select = "SELECT ";
    for (std::size_t i = 0; i < targets.size(); ++i)
      select += (i ? ", " : "") + std::string("column") + std::to_string(i + 1);
    for (std::size_t i = 0; i < defaulted.size(); ++i)
      select += (targets.empty() && i == 0 ? "" : ", ") + defaultSql(defaulted[i]);
    out.sql = head + select + " FROM (VALUES " + values + ")";
  } else if (ins.select) {
    BoundStatement inner = bindSelect(*ins.select);
    if (inner.columns.size() != targets.size()) throw SqlError(213, {});
    std::string select = "SELECT ";
    for (std::size_t i = 0; i < targets.size(); ++i) {
      Typed t;
      t.sql = quoteName("c" + std::to_string(i + 1));
      t.type = inner.columns[i].type;
      t.unpadded = inner.columns[i].unpadded;
      // A MERGE's DEFAULT item: the column's default, NULL without one.
      const bool byDefault = i < ins.defaultItems.size() && ins.defaultItems[i];
      const ColumnInfo& c = table->columns[static_cast<std::size_t>(targets[i])];
      select += (i ? ", " : "") + (!byDefault ? columnValueSql(t, c)
                                   : c.defaultText.empty() && !c.rowversion && !c.identity
                                       ? std::string("NULL")
                                       : defaultSql(targets[i]));
    }
    for (std::size_t i = 0; i < defaulted.size(); ++i)
      select += (targets.empty() && i == 0 ? "" : ", ") + defaultSql(defaulted[i]);
    out.sql = head + select + " FROM (" + inner.sql + ")";
  } else {
    throw SqlError(102, {"EXEC"});
  }
  out.identityExplicit = identityListed;
  out.params = params_;
  return out;
}

BoundStatement Binder::bindUpdate(const UpdateStmt& up) {
  XmlNamespacesScope namespaces(*this, up.xmlNamespaces);
  WithScope with(*this, up.with);
  if (auto through = bindUpdateThrough(up)) return *through;
  BoundStatement out;
  Scope scope;
  const TableRef* targetRef = nullptr;
  std::vector<const TableRef*> others;
  std::vector<const Expr*> onTerms;
  Name targetName = up.table;
  std::string alias;
  if (!up.from.empty() && extractTarget(up.from, up.table, targetRef, others, onTerms)) {
    targetName = targetRef->name;
    alias = targetRef->alias;
  }
  Source target = sourceForName(targetName, alias);
  if (!target.table || target.table->xtype != "U") throw SqlError(4406, {targetName.back()});
  out.target = target.table;
  std::string sql =
      "UPDATE " + target.table->qualifiedName() + " AS " + quoteName(target.sqlAlias) + " SET ";
  scope.sources.push_back(target);
  std::string fromSql;
  if (!up.from.empty()) {
    if (targetRef) {
      for (const TableRef* r : others)
        fromSql += (fromSql.empty() ? "" : ", ") + bindTableRef(*r, scope);
    } else {
      for (const auto& r : up.from)
        fromSql += (fromSql.empty() ? "" : ", ") + bindTableRef(*r, scope);
    }
  }
  const TableInfo& t = *out.target;
  for (std::size_t i = 0; i < up.sets.size(); ++i) {
    const Assignment& a = up.sets[i];
    if (a.column.empty()) throw SqlError(102, {a.variable});
    const ColumnInfo* c = t.column(a.column);
    if (!c) throw SqlError(207, {a.column});
    if (c->identity) throw SqlError(8102, {c->name});
    if (c->computed()) throw SqlError(271, {c->name});
    if (c->rowversion) throw SqlError(272, {});
    const std::string value = assignedValue(a, *c, scope);
    sql += (i ? ", " : "") + quoteName(c->name) + " = " + value;
  }
  // Each row written takes the database's next timestamp.
  for (const ColumnInfo& c : t.columns)
    if (c.rowversion) sql += ", " + quoteName(c.name) + " = " + nextRowversion(t);
  if (!fromSql.empty()) sql += " FROM " + fromSql;
  std::string where;
  for (const Expr* on : onTerms) where += (where.empty() ? "" : " AND ") + bindExpr(*on, scope).sql;
  if (up.where) where += (where.empty() ? "" : " AND ") + bindExpr(*up.where, scope).sql;
  if (!where.empty()) sql += " WHERE " + where;
  sql += rowLimitSql(up.top.get());

  out.sql = sql;
  out.params = params_;
  return out;
}

std::string Binder::rowLimitSql(const Expr* top) {
  if (top) {
    Scope none;
    return " LIMIT " + bindExpr(*top, none).sql;
  }
  const auto rows = ctx_.settings().rowCount;
  return rows > 0 ? " LIMIT " + std::to_string(rows) : std::string();
}

std::string Binder::assignedValue(const Assignment& a, const ColumnInfo& column, Scope& scope) {
  if (a.value) return columnValueSql(bindExpr(*a.value, scope), column);
  if (column.defaultText.empty()) return "NULL";
  Batch b = parseBatch("SELECT " + column.defaultText, false);
  Scope none;
  return columnValueSql(
      bindExpr(*static_cast<QueryStmt&>(*b.statements[0]).select->items[0].expr, none), column);
}

BoundStatement Binder::bindDelete(const DeleteStmt& del) {
  XmlNamespacesScope namespaces(*this, del.xmlNamespaces);
  WithScope with(*this, del.with);
  if (auto through = bindDeleteThrough(del)) return *through;
  BoundStatement out;
  Scope scope;
  if (del.from.empty()) {
    Source target = sourceForName(del.table, "");
    if (!target.table || target.table->xtype != "U") throw SqlError(4406, {del.table.back()});
    out.target = target.table;
    scope.sources.push_back(target);
    out.sql = "DELETE FROM " + target.table->qualifiedName() + " AS " + quoteName(target.sqlAlias);
    if (del.where) out.sql += " WHERE " + bindExpr(*del.where, scope).sql;
    out.sql += rowLimitSql(del.top.get());
    out.params = params_;
    return out;
  }
  // DELETE t FROM t JOIN u ...: delete the target's rows that the join finds.
  std::string fromSql = bindFrom(del.from, scope);
  const Source* target = nullptr;
  for (const Source& s : scope.sources)
    if (iequals(s.exposedName, del.table.back()) ||
        (s.table && iequals(s.table->name, del.table.back())))
      if (!target) target = &s;
  std::string inner;
  if (!target) {
    // The target is not among the FROM sources: a plain DELETE with a correlated filter.
    Source t = sourceForName(del.table, "");
    out.target = t.table;
    std::string alias = t.sqlAlias;
    std::string tableSql = t.table->qualifiedName();
    scope.sources.push_back(std::move(t));
    inner = "SELECT " + quoteName(alias) + ".rowid FROM " + tableSql + " AS " + quoteName(alias) +
            ", " + fromSql.substr(6);
  } else {
    out.target = target->table;
    inner = "SELECT " + quoteName(target->sqlAlias) + ".rowid" + fromSql;
  }
  if (!out.target || out.target->xtype != "U") throw SqlError(4406, {del.table.back()});
  if (del.where) inner += " WHERE " + bindExpr(*del.where, scope).sql;
  out.sql = "DELETE FROM " + out.target->qualifiedName() + " WHERE rowid IN (" + inner + ")";
  out.params = params_;
  return out;
}

}  // namespace tessel::sqld::engine
