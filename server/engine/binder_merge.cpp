// Binding of MERGE: the staging of the source rows and the UPDATE and
// DELETE over them; the INSERT clause binds as an INSERT over the staged rows.

#include "binder.h"
#include "errors.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

std::string clauseList(const std::vector<int>& clauses) {
  std::string out;
  for (int k : clauses) out += (out.empty() ? "" : ", ") + std::to_string(k);
  return out;
}

}  // namespace

BoundMerge Binder::bindMerge(const MergeStmt& m, const std::string& stage) {
  XmlNamespacesScope namespaces(*this, m.xmlNamespaces);
  WithScope with(*this, m.with);
  BoundMerge out;
  // The target: a table, or a view (or common table expression) over one,
  // whose rows the statement finds by their base table's row ids.
  TableRef targetRef;
  targetRef.name = m.table;
  targetRef.alias = m.alias;
  WriteThrough through;
  // Binds the target anew: its SQL as a FROM entry, its row id, its source.
  auto bindTarget = [&](Scope& into) {
    WriteThrough again;
    if (auto sql = bindThroughRef(targetRef, again, into)) {
      if (again.tables.size() > 1) throw SqlError(4405, {m.table.back()});
      through = std::move(again);
      const std::string alias = quoteName(into.sources.back().sqlAlias);
      return std::make_pair(*sql, alias + ".\"r1\"");
    }
    Source src = sourceForName(m.table, m.alias);
    if (!src.table || src.table->xtype != "U") throw SqlError(4406, {m.table.back()});
    const std::string alias = quoteName(src.sqlAlias);
    std::pair<std::string, std::string> out{src.table->qualifiedName() + " AS " + alias,
                                            alias + ".rowid"};
    into.sources.push_back(std::move(src));
    return out;
  };
  Scope targetOnly;
  const auto [targetSql, rowid] = bindTarget(targetOnly);
  const Source target = targetOnly.sources.back();
  const bool viaView = !through.tables.empty();
  out.target = viaView ? through.tables[0] : target.table;
  out.stage = stage;
  const TableInfo& t = *out.target;
  const std::string stageName = "temp." + quoteName(stage);

  // Matched and not-matched-by-target rows: the source joined to the target.
  Scope scope;
  const std::string sourceSql = bindTableRef(*m.source, scope);
  if (scope.sources.size() != 1 && m.source->kind != TableRef::Kind::Join)
    throw SqlError(102, {"USING"});
  // A joined source is one row source to MERGE: its columns, in order.
  Source source;
  for (const Source& s : scope.sources) {
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
      source.columns.push_back(s.columns[i]);
      source.sqlExprs.push_back(s.columnSql(i));
    }
  }
  source.exposedName = scope.sources.size() == 1 ? scope.sources[0].exposedName : m.source->alias;
  scope.sources.push_back(target);
  const std::string onSql = bindExpr(*m.on, scope).sql;

  std::string matched, notMatched, bySource;
  std::vector<int> updates, deletes, matchedClauses;
  for (std::size_t i = 0; i < m.clauses.size(); ++i) {
    const MergeClause& c = m.clauses[i];
    const int k = static_cast<int>(i + 1);
    if (c.action == MergeClause::Action::Update) updates.push_back(k);
    if (c.action == MergeClause::Action::Delete) deletes.push_back(k);
    if (c.action == MergeClause::Action::Insert) {
      if (out.insertClause) throw SqlError(102, {"WHEN"});
      out.insertClause = k;
    }
    if (c.when == MergeClause::When::NotMatchedBySource) continue;
    const std::string cond = c.condition ? bindExpr(*c.condition, scope).sql : "1";
    const std::string arm = " WHEN " + cond + " THEN " + std::to_string(k);
    if (c.when == MergeClause::When::Matched) {
      matched += arm;
      matchedClauses.push_back(k);
    } else {
      notMatched += arm;
    }
  }
  std::string columns, values;
  for (std::size_t i = 0; i < source.columns.size(); ++i) {
    const std::string name = "c" + std::to_string(i + 1);
    columns += ", " + name + " " + storageDeclaration(source.columns[i].type);
    values += ", " + source.columnSql(i);
  }
  out.createStage = "CREATE TEMP TABLE " + quoteName(stage) +
                    " (seq INTEGER PRIMARY KEY, trowid INTEGER, clause INTEGER" + columns + ")";
  std::string clause;
  if (!notMatched.empty())
    clause = "CASE WHEN " + rowid + " IS NULL THEN CASE" + notMatched + " END ELSE " +
             (matched.empty() ? "NULL" : "CASE" + matched + " END") + " END";
  else
    clause = matched.empty() ? "NULL" : "CASE" + matched + " END";
  std::string select = "SELECT " + rowid + " AS trowid, " + clause + " AS clause" + values +
                       " FROM " + sourceSql + (notMatched.empty() ? " JOIN " : " LEFT JOIN ") +
                       targetSql + " ON " + onSql;
  std::string columnNames;
  for (std::size_t i = 0; i < source.columns.size(); ++i)
    columnNames += ", c" + std::to_string(i + 1);
  std::string limit;
  if (m.top) {
    Scope none;
    limit = " LIMIT " + bindExpr(*m.top, none).sql;
  }
  out.stageSql = "INSERT INTO " + stageName + " (trowid, clause" + columnNames +
                 ") SELECT * FROM (" + select + ") WHERE clause IS NOT NULL" + limit;

  // Target rows that no source row matches.
  {
    Scope targetScope;
    const auto [byTargetSql, rid] = bindTarget(targetScope);
    std::string arms;
    for (std::size_t i = 0; i < m.clauses.size(); ++i) {
      const MergeClause& c = m.clauses[i];
      if (c.when != MergeClause::When::NotMatchedBySource) continue;
      const std::string cond = c.condition ? bindExpr(*c.condition, targetScope).sql : "1";
      arms += " WHEN " + cond + " THEN " + std::to_string(i + 1);
    }
    if (!arms.empty()) {
      Scope inner;
      inner.outer = &targetScope;
      std::string innerSource = bindTableRef(*m.source, inner);
      // ON sees both sides: the target from the enclosing query.
      std::string innerOn = bindExpr(*m.on, inner).sql;
      out.bySourceSql = "INSERT INTO " + stageName + " (trowid, clause) SELECT * FROM (SELECT " +
                        rid + " AS trowid, CASE" + arms + " END AS clause FROM " + byTargetSql +
                        " WHERE NOT EXISTS (SELECT 1 FROM " + innerSource + " WHERE " + innerOn +
                        ")) WHERE clause IS NOT NULL" + limit;
    }
  }

  out.duplicateSql = matchedClauses.empty() ? std::string()
                                            : "SELECT 1 FROM " + stageName + " WHERE clause IN (" +
                                                  clauseList(matchedClauses) +
                                                  ") GROUP BY trowid HAVING count(*) > 1 LIMIT 1";

  // The staged rows as the clauses' values read them.
  Source staged;
  staged.exposedName = source.exposedName;
  staged.sqlAlias = newAlias();
  staged.columns = source.columns;
  for (std::size_t i = 0; i < source.columns.size(); ++i)
    staged.sqlNames.push_back("c" + std::to_string(i + 1));
  out.sourceName = source.exposedName;
  out.sourceColumns = source.columns;

  if (!updates.empty()) {
    // Through a view, the values read the view's row joined to the staged
    // one; the base table's row is the one updated.
    Scope setScope;
    std::string viewJoin;
    if (viaView) {
      const auto [sql, viewRowid] = bindTarget(setScope);
      viewJoin =
          " JOIN " + sql + " ON " + viewRowid + " = " + quoteName(staged.sqlAlias) + ".trowid";
    } else {
      setScope.sources.push_back(target);
    }
    const std::string baseAlias = viaView ? newAlias() : target.sqlAlias;
    setScope.sources.push_back(staged);
    int baseIndex = -1;
    // Each column set by any clause takes the value of the clause that acts
    // on the row, or keeps its own.
    std::vector<std::pair<const ColumnInfo*, std::string>> assigned;
    for (int k : updates) {
      const MergeClause& c = m.clauses[static_cast<std::size_t>(k - 1)];
      for (const Assignment& a : c.sets) {
        if (a.column.empty()) throw SqlError(102, {a.variable});
        const ColumnInfo* col = viaView ? throughColumn(through, setScope.sources[0], a.column,
                                                        m.table.back(), baseIndex)
                                        : t.column(a.column);
        if (!col) throw SqlError(207, {a.column});
        if (col->identity) throw SqlError(8102, {col->name});
        if (col->computed()) throw SqlError(271, {col->name});
        if (col->rowversion) throw SqlError(272, {});
        const std::string value = assignedValue(a, *col, setScope);
        auto it = std::find_if(assigned.begin(), assigned.end(),
                               [&](const auto& p) { return p.first == col; });
        const std::string arm = " WHEN " + std::to_string(k) + " THEN " + value;
        if (it == assigned.end())
          assigned.emplace_back(col, arm);
        else
          it->second += arm;
        out.updatedColumns.insert(lower(col->name));
      }
    }
    const std::string stagedAlias = quoteName(staged.sqlAlias);
    std::string sets;
    for (const auto& [col, arms] : assigned) {
      const std::string name = quoteName(col->name);
      sets += (sets.empty() ? "" : ", ") + name + " = CASE " + stagedAlias + ".clause" + arms +
              " ELSE " + quoteName(baseAlias) + "." + name + " END";
    }
    // Each row written takes the database's next timestamp.
    for (const ColumnInfo& c : t.columns)
      if (c.rowversion) sets += ", " + quoteName(c.name) + " = " + nextRowversion(t);
    out.updateSql = "UPDATE " + t.qualifiedName() + " AS " + quoteName(baseAlias) + " SET " + sets +
                    " FROM " + stageName + " AS " + stagedAlias + viewJoin + " WHERE " +
                    quoteName(baseAlias) + ".rowid = " + stagedAlias + ".trowid AND " +
                    stagedAlias + ".clause IN (" + clauseList(updates) + ")";
  }
  if (!deletes.empty())
    out.deleteSql = "DELETE FROM " + t.qualifiedName() + " WHERE rowid IN (SELECT trowid FROM " +
                    stageName + " WHERE clause IN (" + clauseList(deletes) + "))";
  out.params = params_;
  return out;
}

BoundStatement Binder::bindMergeInsert(const MergeStmt& m, const BoundMerge& merge,
                                       const InsertStmt& insert, const std::string& stage) {
  XmlNamespacesScope namespaces(*this, m.xmlNamespaces);
  WithScope with(*this, m.with);
  Scope scope;
  Source src;
  src.exposedName = merge.sourceName;
  src.sqlAlias = newAlias();
  src.columns = merge.sourceColumns;
  for (std::size_t i = 0; i < merge.sourceColumns.size(); ++i)
    src.sqlNames.push_back("c" + std::to_string(i + 1));
  const std::string rows = "(SELECT * FROM temp." + quoteName(stage) +
                           " WHERE clause = " + std::to_string(merge.insertClause) +
                           " ORDER BY seq) AS " + quoteName(src.sqlAlias);
  scope.sources.push_back(std::move(src));
  changedRows_ = std::move(scope);
  changedRowsFrom_ = " FROM " + rows;
  defaultRowsFrom_ = rows;
  return bindInsert(insert);
}

}  // namespace tessel::sqld::engine
