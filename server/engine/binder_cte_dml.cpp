// UPDATE and DELETE whose target is a common table expression. The
// expression's query binds as a derived table that also carries the row ids
// of its base tables; the statement then changes the base table's rows
// whose ids the filtered query yields.

#include "binder.h"
#include "errors.h"
#include "lexer.h"

namespace tessel::sqld::engine {

std::optional<std::string> Binder::bindWriteThrough(const Name& name, WriteThrough& through,
                                                    Scope& scope) {
  if (name.size() != 1) return std::nullopt;
  auto named = std::find_if(ctes_.begin(), ctes_.end(),
                            [&](const CommonTable* c) { return iequals(c->name, name[0]); });
  if (named == ctes_.end()) return std::nullopt;
  if ((*named)->recursive) throw SqlError(4403, {name[0]});
  TableRef ref;
  ref.name = name;
  writeThrough_ = &through;
  std::optional<std::string> sql = bindCommonTable(ref, scope);
  writeThrough_ = nullptr;
  if (through.aggregated) throw SqlError(4403, {name[0]});
  if (through.tables.empty()) throw SqlError(4406, {name[0]});
  return sql;
}

std::shared_ptr<const TableInfo> Binder::insertThrough(const InsertStmt& ins,
                                                       std::vector<std::string>& columns) {
  WriteThrough through;
  Scope scope;
  if (!bindWriteThrough(ins.table, through, scope)) return nullptr;
  const Source& rows = scope.sources.back();
  const std::string& name = ins.table[0];
  if (through.tables.size() > 1) throw SqlError(4405, {name});
  // The expression's columns, all of them when none are listed, as the
  // base table's.
  std::vector<std::string> named = columns;
  if (named.empty())
    for (const ColumnInfo& c : rows.columns) named.push_back(c.name);
  columns.clear();
  for (const std::string& n : named) {
    std::size_t k = 0;
    while (k < rows.columns.size() && !iequals(rows.columns[k].name, n)) ++k;
    if (k == rows.columns.size()) throw SqlError(207, {n});
    if (through.columns[k].first < 0) throw SqlError(4406, {name});
    columns.push_back(through.columns[k].second);
  }
  return through.tables[0];
}

std::optional<BoundStatement> Binder::bindUpdateThrough(const UpdateStmt& up) {
  if (!up.from.empty()) return std::nullopt;
  WriteThrough through;
  Scope scope;
  std::optional<std::string> from = bindWriteThrough(up.table, through, scope);
  if (!from) return std::nullopt;
  const Source& rows = scope.sources.back();
  const std::string& name = up.table[0];
  // Every column set must be a column of one and the same base table.
  int table = -1;
  std::vector<std::pair<const ColumnInfo*, const Assignment*>> sets;
  for (const Assignment& a : up.sets) {
    if (a.column.empty()) throw SqlError(102, {a.variable});
    std::size_t k = 0;
    while (k < rows.columns.size() && !iequals(rows.columns[k].name, a.column)) ++k;
    if (k == rows.columns.size()) throw SqlError(207, {a.column});
    const auto& [index, column] = through.columns[k];
    if (index < 0) throw SqlError(4406, {name});
    if (table >= 0 && table != index) throw SqlError(4405, {name});
    table = index;
    const ColumnInfo* c = through.tables[static_cast<std::size_t>(index)]->column(column);
    if (c->identity) throw SqlError(8102, {c->name});
    sets.emplace_back(c, &a);
  }
  BoundStatement out;
  out.target = through.tables[static_cast<std::size_t>(table)];
  const std::string alias = quoteName(newAlias());
  std::string sql = "UPDATE " + out.target->qualifiedName() + " AS " + alias + " SET ";
  for (std::size_t i = 0; i < sets.size(); ++i)
    sql += (i ? ", " : "") + quoteName(sets[i].first->name) + " = " +
           assignedValue(*sets[i].second, *sets[i].first, scope);
  sql += " FROM " + *from + " WHERE " + alias + ".rowid = " + quoteName(rows.sqlAlias) + "." +
         quoteName("r" + std::to_string(table + 1));
  if (up.where) sql += " AND " + bindExpr(*up.where, scope).sql;
  sql += rowLimitSql(up.top.get());
  out.sql = sql;
  out.params = params_;
  return out;
}

std::optional<BoundStatement> Binder::bindDeleteThrough(const DeleteStmt& del) {
  if (!del.from.empty()) return std::nullopt;
  WriteThrough through;
  Scope scope;
  std::optional<std::string> from = bindWriteThrough(del.table, through, scope);
  if (!from) return std::nullopt;
  if (through.tables.size() > 1) throw SqlError(4405, {del.table[0]});
  const Source& rows = scope.sources.back();
  BoundStatement out;
  out.target = through.tables[0];
  std::string inner = "SELECT " + quoteName(rows.sqlAlias) + ".\"r1\" FROM " + *from;
  if (del.where) inner += " WHERE " + bindExpr(*del.where, scope).sql;
  inner += rowLimitSql(del.top.get());
  out.sql = "DELETE FROM " + out.target->qualifiedName() + " WHERE rowid IN (" + inner + ")";
  out.params = params_;
  return out;
}

}  // namespace tessel::sqld::engine
