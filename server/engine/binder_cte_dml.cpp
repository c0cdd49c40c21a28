// UPDATE, DELETE, INSERT and MERGE whose target is a common table expression
// or a view. Its query binds as a derived table that also carries the row
// ids of its base tables; the statement then changes the base table's rows
// whose ids the filtered query yields.

#include <utility>

#include "binder.h"
#include "errors.h"
#include "lexer.h"
#include "parser.h"

namespace tessel::sqld::engine {

const CommonTable* Binder::commonTableNamed(const Name& name) const {
  if (name.size() != 1) return nullptr;
  auto named = std::find_if(ctes_.begin(), ctes_.end(),
                            [&](const CommonTable* c) { return iequals(c->name, name[0]); });
  return named == ctes_.end() ? nullptr : *named;
}

bool Binder::writesThrough(const Name& name) {
  if (commonTableNamed(name)) return true;
  auto table = ctx_.peekTable(name);
  return table && table->xtype == "V";
}

std::optional<std::string> Binder::bindThroughRef(const TableRef& ref, WriteThrough& through,
                                                  Scope& scope) {
  const Name& name = ref.name;
  // The rows a MERGE staged are for the statement's own query, not the
  // view's or expression's.
  std::optional<Scope> changed = std::move(changedRows_);
  changedRows_.reset();
  struct Restore {
    std::optional<Scope>& slot;
    std::optional<Scope>& saved;
    ~Restore() {
      if (saved) slot = std::move(saved);
    }
  } restore{changedRows_, changed};
  std::optional<std::string> sql;
  if (const CommonTable* cte = commonTableNamed(name)) {
    if (cte->recursive) throw SqlError(4403, {name[0]});
    writeThrough_ = &through;
    sql = bindCommonTable(ref, scope);
    writeThrough_ = nullptr;
  } else {
    auto table = ctx_.peekTable(name);
    if (!table || table->xtype != "V") return std::nullopt;
    // The view's query, bound as its owner's, as a derived table.
    Batch b = parseBatch(table->viewText, table->quotedIdentifier);
    auto* view =
        b.statements.empty() ? nullptr : dynamic_cast<CreateViewStmt*>(b.statements[0].get());
    if (!view) throw SqlError(208, {name.back()});
    const int outerOwner = ctx_.setViewOwner(table->ownerId);
    BoundStatement bound;
    writeThrough_ = &through;
    try {
      XmlNamespacesScope namespaces(*this, {}, true);
      bound = bindSelect(*view->select);
    } catch (...) {
      writeThrough_ = nullptr;
      ctx_.setViewOwner(outerOwner);
      throw;
    }
    writeThrough_ = nullptr;
    ctx_.setViewOwner(outerOwner);
    Source src = derivedSource(bound, ref.alias.empty() ? name.back() : ref.alias, view->columns);
    sql = "(" + bound.sql + ") AS " + quoteName(src.sqlAlias);
    scope.sources.push_back(std::move(src));
  }
  if (through.aggregated) throw SqlError(4403, {name.back()});
  if (through.tables.empty()) throw SqlError(4406, {name.back()});
  return sql;
}

std::optional<std::string> Binder::bindWriteThrough(const Name& name, WriteThrough& through,
                                                    Scope& scope) {
  TableRef ref;
  ref.name = name;
  return bindThroughRef(ref, through, scope);
}

namespace {

// The entry of `from` that `target` names, by its alias or else its name.
const TableRef* namedIn(const TableRef& ref, const Name& target) {
  if (ref.kind == TableRef::Kind::Named)
    return iequals(ref.alias.empty() ? ref.name.back() : ref.alias, target.back()) ? &ref : nullptr;
  if (ref.kind != TableRef::Kind::Join) return nullptr;
  if (const TableRef* left = namedIn(*ref.left, target)) return left;
  return namedIn(*ref.right, target);
}

}  // namespace

std::optional<std::string> Binder::bindFromThrough(const std::vector<TableRefPtr>& from,
                                                   const Name& target, WriteThrough& through,
                                                   Scope& scope, std::string& alias) {
  const TableRef* ref = nullptr;
  for (const auto& r : from)
    if (!ref) ref = namedIn(*r, target);
  if (!ref || !writesThrough(ref->name)) return std::nullopt;
  throughRef_ = ref;
  throughFrom_ = &through;
  std::string sql = bindFrom(from, scope);
  throughRef_ = nullptr;
  throughFrom_ = nullptr;
  alias = std::move(throughAlias_);
  return sql;
}

std::optional<std::string> Binder::bindMarkedThrough(const TableRef& ref, Scope& scope) {
  if (&ref != throughRef_ || !throughFrom_) return std::nullopt;
  WriteThrough* through = std::exchange(throughFrom_, nullptr);
  std::optional<std::string> sql = bindThroughRef(ref, *through, scope);
  throughAlias_ = scope.sources.back().sqlAlias;
  return sql;
}

std::shared_ptr<const TableInfo> Binder::insertThrough(const InsertStmt& ins,
                                                       std::vector<std::string>& columns) {
  WriteThrough through;
  Scope scope;
  if (!bindWriteThrough(ins.table, through, scope)) return nullptr;
  const Source& rows = scope.sources.back();
  const std::string& name = ins.table.back();
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

const ColumnInfo* Binder::throughColumn(const WriteThrough& through, const Source& rows,
                                        const std::string& column, const std::string& name,
                                        int& table) {
  std::size_t k = 0;
  while (k < rows.columns.size() && !iequals(rows.columns[k].name, column)) ++k;
  if (k == rows.columns.size()) throw SqlError(207, {column});
  const auto& [index, base] = through.columns[k];
  if (index < 0) throw SqlError(4406, {name});
  if (table >= 0 && table != index) throw SqlError(4405, {name});
  table = index;
  return through.tables[static_cast<std::size_t>(index)]->column(base);
}

std::optional<std::string> Binder::bindChangeThrough(const Name& target,
                                                     const std::vector<TableRefPtr>& from,
                                                     WriteThrough& through, Scope& scope,
                                                     std::string& rowsAlias) {
  if (!from.empty()) {
    // UPDATE x SET ... FROM x JOIN y ...: x is bound through in the FROM.
    return bindFromThrough(from, target, through, scope, rowsAlias);
  }
  std::optional<std::string> source = bindWriteThrough(target, through, scope);
  if (!source) return std::nullopt;
  rowsAlias = scope.sources.back().sqlAlias;
  return " FROM " + *source;
}

std::optional<BoundStatement> Binder::bindUpdateThrough(const UpdateStmt& up) {
  WriteThrough through;
  Scope scope;
  std::string rowsAlias;
  const std::optional<std::string> from =
      bindChangeThrough(up.table, up.from, through, scope, rowsAlias);
  if (!from) return std::nullopt;
  const std::string& fromSql = *from;
  const Source& rows = *std::find_if(scope.sources.begin(), scope.sources.end(),
                                     [&](const Source& s) { return s.sqlAlias == rowsAlias; });
  const std::string& name = up.table.back();
  // Every column set must be a column of one and the same base table.
  int table = -1;
  std::vector<std::pair<const ColumnInfo*, const Assignment*>> sets;
  for (const Assignment& a : up.sets) {
    if (a.column.empty()) throw SqlError(102, {a.variable});
    const ColumnInfo* c = throughColumn(through, rows, a.column, name, table);
    if (c->identity) throw SqlError(8102, {c->name});
    if (c->computed()) throw SqlError(271, {c->name});
    if (c->rowversion) throw SqlError(272, {});
    sets.emplace_back(c, &a);
  }
  BoundStatement out;
  out.target = through.tables[static_cast<std::size_t>(table)];
  const std::string alias = quoteName(newAlias());
  std::string sql = "UPDATE " + out.target->qualifiedName() + " AS " + alias + " SET ";
  for (std::size_t i = 0; i < sets.size(); ++i)
    sql += (i ? ", " : "") + quoteName(sets[i].first->name) + " = " +
           assignedValue(*sets[i].second, *sets[i].first, scope);
  for (const ColumnInfo& c : out.target->columns)
    if (c.rowversion) sql += ", " + quoteName(c.name) + " = " + nextRowversion(*out.target);
  sql += fromSql + " WHERE " + alias + ".rowid = " + quoteName(rowsAlias) + "." +
         quoteName("r" + std::to_string(table + 1));
  if (up.where) sql += " AND " + bindExpr(*up.where, scope).sql;
  sql += rowLimitSql(up.top.get());
  out.sql = sql;
  out.params = params_;
  return out;
}

std::optional<BoundStatement> Binder::bindDeleteThrough(const DeleteStmt& del) {
  WriteThrough through;
  Scope scope;
  std::string rowsAlias;
  const std::optional<std::string> from =
      bindChangeThrough(del.table, del.from, through, scope, rowsAlias);
  if (!from) return std::nullopt;
  const std::string& fromSql = *from;
  if (through.tables.size() > 1) throw SqlError(4405, {del.table.back()});
  BoundStatement out;
  out.target = through.tables[0];
  std::string inner = "SELECT " + quoteName(rowsAlias) + ".\"r1\"" + fromSql;
  if (del.where) inner += " WHERE " + bindExpr(*del.where, scope).sql;
  inner += rowLimitSql(del.top.get());
  out.sql = "DELETE FROM " + out.target->qualifiedName() + " WHERE rowid IN (" + inner + ")";
  out.params = params_;
  return out;
}

}  // namespace tessel::sqld::engine
