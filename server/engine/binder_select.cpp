// Binding of SELECT: FROM sources, select lists, UNION, ORDER BY, TOP, and
// the views that are inlined as derived tables.

#include <utility>

#include "binder.h"
#include "collations.h"
#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "sys_views.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// Values the server cannot compare: refused wherever whole rows are compared
// (DISTINCT, UNION without ALL, INTERSECT, EXCEPT).
bool notComparable(SqlType t) {
  return t == SqlType::Xml || t == SqlType::Text || t == SqlType::NText || t == SqlType::Image;
}

// INFORMATION_SCHEMA views, bound like user views over the catalog tables
// of $db (the current database, or the one the name gives); $schema is the
// schema of object o.
const char* kInfoTables =
    "CREATE VIEW TABLES AS SELECT CAST($catalog AS nvarchar(128)) AS TABLE_CATALOG, "
    "$schema AS TABLE_SCHEMA, name AS TABLE_NAME, "
    "CAST(CASE WHEN xtype = 'V' THEN 'VIEW' ELSE 'BASE TABLE' END AS varchar(10)) AS TABLE_TYPE "
    "FROM $db.sysobjects o WHERE xtype IN ('U', 'V')";

const char* kInfoViews =
    "CREATE VIEW VIEWS AS SELECT CAST($catalog AS nvarchar(128)) AS TABLE_CATALOG, "
    "$schema AS TABLE_SCHEMA, name AS TABLE_NAME, "
    "CAST((SELECT c.text FROM $db.syscomments c WHERE c.id = o.id) AS nvarchar(4000)) "
    "AS VIEW_DEFINITION, CAST('NONE' AS varchar(7)) AS CHECK_OPTION, "
    "CAST('NO' AS varchar(2)) AS IS_UPDATABLE FROM $db.sysobjects o WHERE xtype = 'V'";

const char* kInfoRoutines =
    "CREATE VIEW ROUTINES AS SELECT CAST($catalog AS nvarchar(128)) AS SPECIFIC_CATALOG, "
    "$schema AS SPECIFIC_SCHEMA, name AS SPECIFIC_NAME, "
    "CAST($catalog AS nvarchar(128)) AS ROUTINE_CATALOG, "
    "$schema AS ROUTINE_SCHEMA, name AS ROUTINE_NAME, "
    "CAST(CASE WHEN xtype = 'P' THEN 'PROCEDURE' ELSE 'FUNCTION' END AS nvarchar(20)) "
    "AS ROUTINE_TYPE, "
    "CAST(CASE WHEN xtype IN ('IF', 'TF') THEN 'TABLE' END AS nvarchar(128)) AS DATA_TYPE, "
    "CAST('SQL' AS nvarchar(30)) AS ROUTINE_BODY, "
    "CAST((SELECT c.text FROM $db.syscomments c WHERE c.id = o.id) AS nvarchar(4000)) "
    "AS ROUTINE_DEFINITION, CAST('NO' AS nvarchar(10)) AS IS_DETERMINISTIC, "
    "CAST('MODIFIES' AS nvarchar(30)) AS SQL_DATA_ACCESS, crdate AS CREATED, "
    "crdate AS LAST_ALTERED FROM $db.sysobjects o WHERE xtype IN ('P', 'FN', 'IF', 'TF')";

const char* kInfoColumns =
    "CREATE VIEW COLUMNS AS SELECT CAST($catalog AS nvarchar(128)) AS TABLE_CATALOG, "
    "$schema AS TABLE_SCHEMA, o.name AS TABLE_NAME, c.name AS COLUMN_NAME, "
    "CAST(c.colid AS smallint) AS ORDINAL_POSITION, "
    "CAST(cm.text AS nvarchar(4000)) AS COLUMN_DEFAULT, "
    "CAST(CASE WHEN c.isnullable = 1 THEN 'YES' ELSE 'NO' END AS varchar(3)) AS IS_NULLABLE, "
    "t.name AS DATA_TYPE, "
    "CASE WHEN c.xtype IN (167, 175, 231, 239, 165, 173) THEN CAST(c.prec AS int) "
    "WHEN c.xtype IN (35, 34) THEN 2147483647 WHEN c.xtype = 99 THEN 1073741823 "
    "WHEN c.xtype = 241 THEN -1 END "
    "AS CHARACTER_MAXIMUM_LENGTH, "
    "CASE WHEN c.xtype IN (167, 175, 231, 239, 165, 173) THEN CAST(c.length AS int) "
    "WHEN c.xtype IN (35, 34, 99) THEN 2147483647 WHEN c.xtype = 241 THEN -1 END "
    "AS CHARACTER_OCTET_LENGTH, "
    "CAST(CASE WHEN c.xtype IN (48, 52, 56, 127, 59, 62, 106, 108, 60, 122) THEN c.prec END "
    "AS tinyint) AS NUMERIC_PRECISION, "
    "CASE WHEN c.xtype IN (48, 52, 56, 127, 106, 108, 60, 122) THEN CAST(c.xscale AS int) END "
    "AS NUMERIC_SCALE, "
    "CAST(CASE WHEN c.xtype IN (61, 58) THEN 3 END AS smallint) AS DATETIME_PRECISION, "
    "CAST(c.collation AS nvarchar(128)) AS COLLATION_NAME "
    "FROM $db.sysobjects o JOIN $db.syscolumns c ON c.id = o.id "
    "JOIN $db.systypes t ON t.xusertype = c.xusertype "
    "LEFT JOIN $db.syscomments cm ON cm.id = c.cdefault "
    "WHERE o.xtype IN ('U', 'V')";

// An INFORMATION_SCHEMA view's text for the database `name` gives.
std::string infoViewText(std::string text, const Name& name) {
  const std::string db = name.size() >= 3 ? name[name.size() - 3] : std::string();
  auto replace = [&](const std::string& from, const std::string& to) {
    for (std::size_t p = text.find(from); p != std::string::npos;
         p = text.find(from, p + to.size()))
      text.replace(p, from.size(), to);
  };
  std::string bracketed = db;
  for (std::size_t p = bracketed.find(']'); p != std::string::npos; p = bracketed.find(']', p + 2))
    bracketed.insert(p, 1, ']');
  replace("$schema",
          "CAST((SELECT u.name FROM $db.sysusers u WHERE u.uid = o.uid) AS nvarchar(128))");
  replace("$dbname", db);
  replace("$db.", db.empty() ? std::string() : "[" + bracketed + "]..");
  replace("$catalog", db.empty() ? std::string("db_name()") : quoteText(db));
  return text;
}

// The SQLite operator joining a part to the ones before it.
const char* setOperator(const SelectStmt::Union& u) {
  switch (u.op) {
    case SelectStmt::SetOp::Intersect:
      return " INTERSECT ";
    case SelectStmt::SetOp::Except:
      return " EXCEPT ";
    case SelectStmt::SetOp::Union:
      break;
  }
  return u.all ? " UNION ALL " : " UNION ";
}

}  // namespace

Binder::Source Binder::sourceForName(const Name& name, const std::string& alias) {
  Source src;
  std::shared_ptr<const TableInfo> table;
  std::string viewText;
  bool quoted = false;
  std::string shownName = name.back();
  if (name.size() >= 2 && iequals(name[name.size() - 2], "INFORMATION_SCHEMA")) {
    if (iequals(name.back(), "TABLES")) {
      viewText = infoViewText(kInfoTables, name);
    } else if (iequals(name.back(), "COLUMNS")) {
      viewText = infoViewText(kInfoColumns, name);
    } else if (iequals(name.back(), "VIEWS")) {
      viewText = infoViewText(kInfoViews, name);
    } else if (iequals(name.back(), "ROUTINES")) {
      viewText = infoViewText(kInfoRoutines, name);
    } else if (iequals(name.back(), "SEQUENCES")) {
      viewText = infoViewText(sequenceInfoViewText(), name);
    } else if (auto text = constraintInfoViewText(name.back())) {
      viewText = infoViewText(*text, name);
    } else {
      throw SqlError(208, {"INFORMATION_SCHEMA." + name.back()});
    }
  } else if (auto text = catalogViewText(name)) {
    viewText = *text;
  } else if (std::string dynamic = ctx_.dynamicViewText(name); !dynamic.empty()) {
    viewText = std::move(dynamic);
  } else {
    table = ctx_.resolveTable(name);
    if (table->xtype == "V") {
      viewText = table->viewText;
      quoted = table->quotedIdentifier;
    }
  }
  src.exposedName = alias.empty() ? shownName : alias;
  src.sqlAlias = newAlias();
  src.table = table;
  if (viewText.empty()) {
    src.columns = table->columns;
    return src;
  }
  if (++viewDepth_ > 16) throw SqlError(208, {shownName});
  Batch b = parseBatch(viewText, quoted);
  auto* view =
      b.statements.empty() ? nullptr : dynamic_cast<CreateViewStmt*>(b.statements[0].get());
  if (!view) throw SqlError(208, {shownName});
  const int outerOwner = ctx_.setViewOwner(table ? table->ownerId : 0);
  BoundStatement bound;
  try {
    XmlNamespacesScope namespaces(*this, {}, true);
    bound = bindSelect(*view->select);
  } catch (...) {
    ctx_.setViewOwner(outerOwner);
    throw;
  }
  ctx_.setViewOwner(outerOwner);
  --viewDepth_;
  for (std::size_t i = 0; i < bound.columns.size(); ++i) {
    ColumnInfo c;
    c.name = i < view->columns.size() ? view->columns[i] : bound.columns[i].name;
    c.type = bound.columns[i].type;
    c.colid = static_cast<int>(i + 1);
    c.ansiPadded = !bound.columns[i].unpadded;
    src.columns.push_back(c);
    src.sqlNames.push_back("c" + std::to_string(i + 1));
  }
  // The derived table's SQL travels in viewText of a private TableInfo.
  auto derived = std::make_shared<TableInfo>();
  derived->name = shownName;
  derived->xtype = "V";
  derived->viewText = bound.sql;
  derived->columns = src.columns;
  if (table) derived->id = table->id;
  src.table = derived;
  return src;
}

std::string Binder::bindTableRef(const TableRef& ref, Scope& scope) {
  switch (ref.kind) {
    case TableRef::Kind::Named: {
      if (throughRef_ == &ref)
        if (auto through = bindMarkedThrough(ref, scope)) return *through;
      if (auto cte = bindCommonTable(ref, scope)) return *cte;
      Source src = sourceForName(ref.name, ref.alias);
      std::string sql;
      if (src.table->xtype == "V") {
        sql = "(" + src.table->viewText + ") AS " + quoteName(src.sqlAlias);
      } else {
        sql = src.table->qualifiedName() + " AS " + quoteName(src.sqlAlias);
      }
      scope.sources.push_back(std::move(src));
      return sql;
    }
    case TableRef::Kind::Derived: {
      BoundStatement bound = bindSelect(*ref.derived);
      checkColumnAliases(ref, bound.columns.size());
      Source src = derivedSource(bound, ref.alias, ref.columnAliases);
      std::string sql = "(" + bound.sql + ") AS " + quoteName(src.sqlAlias);
      scope.sources.push_back(std::move(src));
      return sql;
    }
    case TableRef::Kind::Values: {
      BoundStatement bound = bindValues(ref, scope);
      Source src = derivedSource(bound, ref.alias, ref.columnAliases);
      std::string sql = "(" + bound.sql + ") AS " + quoteName(src.sqlAlias);
      scope.sources.push_back(std::move(src));
      return sql;
    }
    case TableRef::Kind::Function:
      if (auto user = bindUserTableFunction(ref, scope)) return *user;
      return bindTableFunction(ref, scope, false);
    case TableRef::Kind::Join: {
      if (ref.joinType.ends_with("APPLY")) return bindApply(ref, scope);
      std::string left = bindTableRef(*ref.left, scope);
      std::string right = bindTableRef(*ref.right, scope);
      std::string sql = left + " " + ref.joinType + " JOIN " + right;
      if (ref.on) sql += " ON " + bindExpr(*ref.on, scope).sql;
      return "(" + sql + ")";
    }
  }
  return {};
}

void Binder::checkColumnAliases(const TableRef& ref, std::size_t columns) {
  if (ref.columnAliases.empty()) return;
  if (ref.columnAliases.size() < columns) throw SqlError(8158, {ref.alias});
  if (ref.columnAliases.size() > columns) throw SqlError(8159, {ref.alias});
}

// A table value constructor: each column of the type its rows meet in, as
// a SELECT over SQLite's VALUES (which has no limit on the number of rows).
BoundStatement Binder::bindValues(const TableRef& ref, Scope& scope) {
  Scope own;
  own.outer = scope.outer;
  std::vector<std::vector<Typed>> rows;
  for (const auto& row : ref.rows) {
    if (!rows.empty() && row.size() != rows[0].size()) throw SqlError(10709, {});
    auto& bound = rows.emplace_back();
    for (const ExprPtr& e : row) bound.push_back(bindExpr(*e, own));
  }
  const std::size_t width = rows[0].size();
  checkColumnAliases(ref, width);
  if (ref.columnAliases.empty()) throw SqlError(8155, {"1", ref.alias});
  BoundStatement out;
  std::string select = "SELECT ";
  for (std::size_t i = 0; i < width; ++i) {
    std::optional<TypeInfo> type;
    bool nullable = false;
    for (const auto& row : rows) {
      nullable |= row[i].nullLiteral || row[i].type.nullable;
      if (!row[i].nullLiteral) type = type ? commonType(*type, row[i].type) : row[i].type;
    }
    Column c;
    c.name = ref.columnAliases[i];
    c.type = type.value_or(makeType(SqlType::Int));
    c.type.nullable = nullable;
    out.columns.push_back(c);
    select += (i ? ", " : "") + quoteName("column" + std::to_string(i + 1)) + " AS " +
              quoteName("c" + std::to_string(i + 1));
  }
  std::string values;
  for (const auto& row : rows) {
    values += values.empty() ? "(" : ", (";
    for (std::size_t i = 0; i < width; ++i)
      values += (i ? ", " : "") + convertSql(row[i], out.columns[i].type);
    values += ")";
  }
  out.sql = select + " FROM (VALUES " + values + ")";
  return out;
}

Binder::Source Binder::derivedSource(const BoundStatement& bound, const std::string& alias,
                                     const std::vector<std::string>& names) {
  Source src;
  src.exposedName = alias;
  src.sqlAlias = newAlias();
  for (std::size_t i = 0; i < bound.columns.size(); ++i) {
    ColumnInfo c;
    c.name = i < names.size()                ? names[i]
             : bound.columns[i].name.empty() ? "c" + std::to_string(i + 1)
                                             : bound.columns[i].name;
    c.type = bound.columns[i].type;
    c.colid = static_cast<int>(i + 1);
    c.ansiPadded = !bound.columns[i].unpadded;
    src.columns.push_back(c);
    src.sqlNames.push_back("c" + std::to_string(i + 1));
  }
  return src;
}

Binder::WithScope::WithScope(Binder& b, const std::vector<CommonTable>& with)
    : b_(b), size_(b.ctes_.size()) {
  for (const CommonTable& c : with) b.ctes_.push_back(&c);
}

std::optional<std::string> Binder::bindCommonTable(const TableRef& ref, Scope& scope) {
  if (ref.name.size() != 1) return std::nullopt;
  const std::string& name = ref.name[0];
  const std::string exposed = ref.alias.empty() ? name : ref.alias;
  // The recursive part's reference to its own expression reads the rows
  // produced so far.
  for (auto w = working_.rbegin(); w != working_.rend(); ++w) {
    if (!iequals(w->name, name)) continue;
    Source src;
    src.exposedName = exposed;
    src.sqlAlias = newAlias();
    src.columns = w->columns;
    for (std::size_t i = 0; i < w->columns.size(); ++i)
      src.sqlNames.push_back("c" + std::to_string(i + 1));
    std::string sql = quoteName(w->sqlName) + " AS " + quoteName(src.sqlAlias);
    w->lastAlias = src.sqlAlias;
    scope.sources.push_back(std::move(src));
    return sql;
  }
  std::size_t k = ctes_.size();
  while (k > 0 && !iequals(ctes_[k - 1]->name, name)) --k;
  if (k == 0) return std::nullopt;
  const CommonTable& cte = *ctes_[k - 1];
  // Its body sees only the expressions defined before it; no text pointers
  // inside, since its rows are not a table's.
  std::vector<const CommonTable*> saved = ctes_;
  ctes_.resize(k - 1);
  bool pointers = textPointers;
  textPointers = false;
  struct Restore {
    Binder& b;
    std::vector<const CommonTable*>& saved;
    bool pointers;
    ~Restore() {
      b.ctes_ = std::move(saved);
      b.textPointers = pointers;
    }
  } restore{*this, saved, pointers};
  BoundStatement anchor = bindSelect(*cte.select);
  if (!cte.columns.empty() && cte.columns.size() != anchor.columns.size())
    throw SqlError(anchor.columns.size() > cte.columns.size() ? 8158 : 8159, {cte.name});
  Source src = derivedSource(anchor, exposed, cte.columns);
  std::string body = anchor.sql;
  if (cte.recursive) {
    Working w{cte.name, newAlias(), src.columns, {}};
    std::string columns;
    for (std::size_t i = 0; i < src.columns.size(); ++i)
      columns += (i ? ", " : "") + quoteName("c" + std::to_string(i + 1));
    working_.push_back(w);
    struct Pop {
      std::vector<Working>& v;
      ~Pop() { v.pop_back(); }
    } pop{working_};
    // Each row carries its recursion level in a last column, which the
    // recursive parts check against MAXRECURSION.
    std::string parts = "SELECT *, 0 FROM (" + anchor.sql + ")";
    for (const auto& [all, part] : cte.recursiveParts)
      parts += (all ? " UNION ALL " : " UNION ") + bindRecursivePart(*part, anchor.columns.size());
    body = "WITH RECURSIVE " + quoteName(w.sqlName) + "(" + columns + ", \"lvl\") AS (" + parts +
           ") SELECT " + columns + " FROM " + quoteName(w.sqlName);
  }
  std::string sql = "(" + body + ") AS " + quoteName(src.sqlAlias);
  scope.sources.push_back(std::move(src));
  return sql;
}

std::string Binder::bindRecursivePart(const SelectStmt& part, std::size_t columns) {
  Working& w = working_.back();
  w.lastAlias.clear();
  if (!part.with.empty() || !part.unions.empty() || !part.orderBy.empty() || part.top)
    return bindSelect(part).sql;
  Core core = bindCore(part, nullptr);
  if (core.items.size() != columns) throw SqlError(205, {});
  std::string sql = core.head;
  for (std::size_t i = 0; i < core.items.size(); ++i)
    sql += (i ? ", " : "") + core.items[i].sql + " AS " + quoteName("c" + std::to_string(i + 1));
  std::string level = working_.back().lastAlias.empty()
                          ? "1"
                          : quoteName(working_.back().lastAlias) + ".\"lvl\" + 1";
  return sql + ", t_recursion(" + level + ", " + std::to_string(maxRecursion_) + ")" + core.tail;
}

std::string Binder::bindFrom(const std::vector<TableRefPtr>& from, Scope& scope) {
  if (from.empty()) return {};
  std::string sql = " FROM ";
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (i) sql += ", ";
    sql += bindTableRef(*from[i], scope);
  }
  return sql;
}

void Binder::readChangedRows(const TableInfo& target, const std::string& table, bool inserted,
                             bool deleted, const BoundMerge* merge) {
  const bool action = merge != nullptr;
  Scope scope;
  const std::string alias = newAlias();
  for (const char* name : {"inserted", "deleted"}) {
    bool wanted = name[0] == 'i' ? inserted : deleted;
    if (!wanted) continue;
    Source src;
    src.exposedName = name;
    src.sqlAlias = alias;
    src.columns = target.columns;
    // A MERGE row that was inserted has no deleted values, and the other way round.
    if (action)
      for (ColumnInfo& c : src.columns) c.type.nullable = true;
    for (std::size_t i = 0; i < target.columns.size(); ++i)
      src.sqlNames.push_back(std::string(1, name[0]) + std::to_string(i + 1));
    scope.sources.push_back(std::move(src));
  }
  if (action) {
    Source src;
    src.sqlAlias = alias;
    ColumnInfo c;
    c.name = "$action";
    c.type = makeType(SqlType::NVarChar, 20);
    c.type.nullable = false;
    src.columns.push_back(c);
    src.sqlNames.push_back("action");
    scope.sources.push_back(std::move(src));
  }
  changedRowsFrom_ = " FROM temp." + quoteName(table) + " AS " + quoteName(alias);
  if (merge) {
    // The source row of each change: an updated or deleted row's by its row
    // id, the n-th inserted row's as the n-th staged row of the INSERT clause.
    Source src;
    src.exposedName = merge->sourceName;
    src.sqlAlias = newAlias();
    src.columns = merge->sourceColumns;
    for (ColumnInfo& c : src.columns) c.type.nullable = true;
    for (std::size_t i = 0; i < src.columns.size(); ++i)
      src.sqlNames.push_back("c" + std::to_string(i + 1));
    const std::string a = quoteName(alias), s = quoteName(src.sqlAlias);
    const std::string inserting = std::to_string(merge->insertClause);
    changedRowsFrom_ =
        " FROM (SELECT *, CASE WHEN action = 'INSERT' THEN row_number() OVER (PARTITION BY action "
        "= 'INSERT' ORDER BY seq) END AS n FROM temp." +
        quoteName(table) + ") AS " + a +
        " LEFT JOIN (SELECT *, row_number() OVER (PARTITION BY clause ORDER BY seq) AS n FROM "
        "temp." +
        quoteName(merge->stage) + ") AS " + s + " ON CASE WHEN " + a + ".action = 'INSERT' THEN " +
        s + ".clause = " + inserting + " AND " + s + ".n = " + a + ".n ELSE " + s +
        ".trowid = " + a + ".rid AND " + s + ".clause <> " + inserting + " END";
    scope.sources.push_back(std::move(src));
  }
  changedRows_ = std::move(scope);
}

Binder::Core Binder::bindCore(const SelectStmt& s, Scope* outer) {
  // Only a statement's outermost query has OPTION, before its FROM binds
  // the common table expressions.
  if (s.maxRecursion) maxRecursion_ = *s.maxRecursion;
  // Window functions stand in the select list only (and ORDER BY).
  WindowClause windows(*this, WindowUse::Forbidden);
  Core c;
  c.scope.outer = outer;
  c.distinct = s.distinct;
  c.head = s.distinct ? "SELECT DISTINCT " : "SELECT ";
  if (changedRows_) {
    c.scope.sources = std::move(changedRows_->sources);
    changedRows_.reset();
    c.tail = changedRowsFrom_;
  }
  c.tail += bindFrom(s.from, c.scope);
  for (const SelectItem& item : s.items) {
    const Expr& e = *item.expr;
    if (e.kind == ExprKind::Star) {
      std::string qualifier = e.names.empty() ? std::string() : e.names.back();
      bool any = false;
      for (const Source& src : c.scope.sources) {
        if (!qualifier.empty() && !iequals(src.exposedName, qualifier)) continue;
        any = true;
        for (std::size_t k = 0; k < src.columns.size(); ++k) {
          const ColumnInfo& col = src.columns[k];
          // The column of nodes() is no value to show.
          if (col.type.type == SqlType::Xml && col.type.precision == kXmlContextNode)
            throw SqlError(493, {col.name});
          Typed t;
          t.sql = src.columnSql(k);
          t.type = col.type;
          t.unpadded = isFixedLengthType(col.type.type) && trimsTrailing(col);
          if (src.table && src.table->xtype != "V") {
            t.table = src.table.get();
            t.column = &col;
          }
          t.sourceAlias = src.sqlAlias;
          c.items.push_back(t);
          c.names.push_back(col.name);
          c.assignVars.emplace_back();
        }
      }
      if (!any) {
        if (qualifier.empty()) throw SqlError(263, {});
        throw SqlError(4104, {qualifier});
      }
      continue;
    }
    windowUse_ = WindowUse::Allowed;
    Typed t = bindExpr(e, c.scope);
    windowUse_ = WindowUse::Forbidden;
    std::string name = item.alias;
    if (name.empty() && e.kind == ExprKind::Column) name = e.names.back();
    c.items.push_back(std::move(t));
    c.names.push_back(name);
    c.assignVars.push_back(item.assignVar);
  }
  if (c.distinct)
    for (const Typed& t : c.items)
      if (notComparable(t.type.type)) throw SqlError(421, {typeName(t.type.type)});
  if (s.where) c.tail += " WHERE " + bindExpr(*s.where, c.scope).sql;
  if (!s.groupBy.empty()) {
    c.grouped = true;
    c.tail += " GROUP BY ";
    for (std::size_t i = 0; i < s.groupBy.size(); ++i) {
      if (containsXmlMethod(*s.groupBy[i])) throw SqlError(4148, {});
      Typed g = bindExpr(*s.groupBy[i], c.scope);
      if (g.type.type == SqlType::Xml) throw SqlError(305, {});
      c.tail += (i ? ", " : "") + g.sql +
                (isCharType(g.type.type) ? collateClause(g.type.collation) : "");
    }
  }
  if (s.having) {
    c.grouped = true;
    c.tail += " HAVING " + bindExpr(*s.having, c.scope).sql;
  }
  for (const Typed& t : c.items)
    if (t.isAggregate) c.grouped = true;
  return c;
}

std::string Binder::orderKey(const Typed& t, const std::string& sql) {
  const std::string& x = sql.empty() ? t.sql : sql;
  if (t.type.type == SqlType::Xml) throw SqlError(305, {});
  if (t.type.type == SqlType::Variant) return "t_variant_key(" + x + ")";
  return x + (isCharType(t.type.type) ? collateClause(t.type.collation) : "");
}

// A TOP, OFFSET or FETCH row count, checked when the statement runs (a
// variable may hold it): a negative or zero count is an error, not SQLite's
// "no limit".
std::string Binder::rowCountSql(const Expr& e, RowCount kind) {
  Scope none;
  Typed n = bindExpr(e, none);
  bool percent = kind == RowCount::Percent;
  TypeInfo to = makeType(percent ? SqlType::Float : SqlType::BigInt);
  if (!percent && !isIntegerType(n.type.type) && !n.nullLiteral)
    throw SqlError(kind == RowCount::Offset ? 10743 : 1060, {});
  std::string value = n.type.type == to.type ? n.sql : convertSql(n, to);
  return "t_rowcount(" + value + "," + std::to_string(static_cast<int>(kind)) + ")";
}

BoundStatement Binder::bindSelect(const SelectStmt& s) {
  XmlNamespacesScope namespaces(*this, s.xmlNamespaces);
  if (s.forXml) return bindForXml(s);
  WriteThrough* through = std::exchange(writeThrough_, nullptr);
  WithScope with(*this, s.with);
  Core first = bindCore(s, nullptr);
  std::vector<Core> rest;
  for (const auto& u : s.unions) {
    rest.push_back(bindCore(*u.select, nullptr));
    if (rest.back().items.size() != first.items.size()) throw SqlError(205, {});
  }
  // A data change through this query finds the base tables' rows by row id.
  std::string rowids;
  if (through) {
    through->aggregated = first.grouped || first.distinct || !rest.empty();
    std::vector<std::string> aliases;
    for (const Source& src : first.scope.sources) {
      if (!src.table || src.table->xtype != "U" || !src.sqlExprs.empty()) continue;
      through->tables.push_back(src.table);
      aliases.push_back(src.sqlAlias);
      if (rest.empty())
        rowids += ", " + quoteName(src.sqlAlias) + ".rowid AS " +
                  quoteName("r" + std::to_string(aliases.size()));
    }
    for (const Typed& t : first.items) {
      auto at = std::find(aliases.begin(), aliases.end(), t.sourceAlias);
      if (t.column && t.table && at != aliases.end())
        through->columns.emplace_back(static_cast<int>(at - aliases.begin()), t.column->name);
      else
        through->columns.emplace_back(-1, std::string());
    }
  }
  std::vector<TypeInfo> types;
  for (std::size_t i = 0; i < first.items.size(); ++i) {
    TypeInfo t = first.items[i].type;
    bool known = !first.items[i].nullLiteral;
    for (const Core& r : rest) {
      if (r.items[i].nullLiteral) continue;
      t = known ? commonType(t, r.items[i].type) : r.items[i].type;
      known = true;
    }
    if (!rest.empty()) {
      t.nullable = true;
      if (isCharType(t.type)) {
        // The parts' text meets in one column: it holds the collation its
        // parts hold most firmly.
        Typed labels = first.items[i];
        for (const Core& r : rest) foldCollation(labels, r.items[i]);
        if (!labels.nullLiteral) t.collation = labels.type.collation;
      }
    }
    types.push_back(t);
  }
  // UNION without ALL, INTERSECT and EXCEPT compare whole rows, which values
  // of these types cannot take part in.
  const bool comparesRows = std::any_of(s.unions.begin(), s.unions.end(), [](const auto& u) {
    return !u.all || u.op != SelectStmt::SetOp::Union;
  });
  for (const TypeInfo& t : types) {
    if (comparesRows && notComparable(t.type)) throw SqlError(5335, {typeName(t.type)});
  }
  BoundStatement out;
  auto emitCore = [&](const Core& c, bool withPointers, const std::string& extra = {}) {
    std::string sql = c.head;
    for (std::size_t i = 0; i < c.items.size(); ++i) {
      if (i) sql += ", ";
      std::string item = rest.empty() ? c.items[i].sql : convertSql(c.items[i], types[i]);
      // The parts of a compound find equal rows by the first part's
      // collation: text compares as SQL Server's does.
      if (!rest.empty() && isCharType(types[i].type)) item += collateClause(types[i].collation);
      sql += item + " AS " + quoteName("c" + std::to_string(i + 1));
    }
    if (withPointers) {
      int hidden = 0;
      for (std::size_t i = 0; i < c.items.size(); ++i) {
        const Typed& t = c.items[i];
        if (!t.column || !t.table || !isLargeType(t.type.type)) continue;
        sql += ", " + quoteName(t.sourceAlias) + ".rowid";
        out.textPointers.push_back({static_cast<int>(i), static_cast<int>(c.items.size()) + hidden,
                                    t.table->id, t.column->colid});
        ++hidden;
      }
      out.hiddenColumns = hidden;
    }
    return sql + extra + c.tail;
  };
  if (s.withTies && s.orderBy.empty()) throw SqlError(1062, {});
  if (s.top && s.offset) throw SqlError(10741, {});
  bool pointers = textPointers && rest.empty() && !first.grouped && !first.distinct && !s.withTies;
  out.sql = emitCore(first, pointers, rowids);
  for (std::size_t i = 0; i < rest.size(); ++i)
    out.sql += setOperator(s.unions[i]) + emitCore(rest[i], false);
  // TOP n WITH TIES ranks the rows by the ORDER BY: over the result's own
  // columns for a compound or DISTINCT query, else inside the query, where
  // any expression can be a key.
  const bool rankOutside = !rest.empty() || first.distinct;
  std::string unordered = out.sql;
  std::string rankKeys;
  if (!s.orderBy.empty()) {
    // SQLite cannot apply a collation to the ORDER BY of a compound whose
    // parts group ("no such column"); ordering the compound as a whole can.
    if (!rest.empty()) out.sql = "SELECT * FROM (" + out.sql + ")";
    out.sql += " ORDER BY ";
    for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
      const OrderItem& o = s.orderBy[i];
      const Expr& e = *o.expr;
      std::string term;
      int ordinal = 0;
      if (e.kind == ExprKind::Literal) {
        if (auto* v = std::get_if<std::int64_t>(&e.value.data())) {
          ordinal = static_cast<int>(*v);
          if (ordinal < 1 || ordinal > static_cast<int>(first.items.size()))
            throw SqlError(108, {std::to_string(ordinal)});
        }
      }
      if (!ordinal && e.kind == ExprKind::Column && e.names.size() == 1) {
        // A select-list alias (or column name) wins over other columns.
        for (std::size_t k = 0; k < first.names.size(); ++k) {
          if (iequals(first.names[k], e.names[0])) {
            ordinal = static_cast<int>(k + 1);
            break;
          }
        }
      }
      if (ordinal) {
        term = std::to_string(ordinal);
        const TypeInfo& t = types[static_cast<std::size_t>(ordinal - 1)];
        if (isCharType(t.type))
          term = quoteName("c" + std::to_string(ordinal)) + collateClause(t.collation);
        // sql_variant values order by base type family, then value.
        if (t.type == SqlType::Variant)
          term = "t_variant_key(" + quoteName("c" + std::to_string(ordinal)) + ")";
        out.orderColumns.push_back(static_cast<std::uint16_t>(ordinal));
        const auto k = static_cast<std::size_t>(ordinal - 1);
        Typed column;
        column.type = types[k];
        rankKeys += rankOutside ? orderKey(column, quoteName("c" + std::to_string(ordinal)))
                                : orderKey(first.items[k]);
      } else {
        if (!rest.empty()) throw SqlError(104, {});
        WindowClause windows(*this, WindowUse::Allowed);
        Typed t = bindExpr(e, first.scope);
        term = orderKey(t);
        std::string outside;
        for (std::size_t k = 0; k < first.items.size(); ++k) {
          if (first.items[k].sql != t.sql) continue;
          out.orderColumns.push_back(static_cast<std::uint16_t>(k + 1));
          outside = orderKey(t, quoteName("c" + std::to_string(k + 1)));
        }
        if (rankOutside && s.withTies && outside.empty()) throw SqlError(145, {});
        rankKeys += rankOutside ? outside : term;
      }
      out.sql += (i ? ", " : "") + term + (o.descending ? " DESC" : "");
      rankKeys += std::string(o.descending ? " DESC" : "") + (i + 1 < s.orderBy.size() ? ", " : "");
    }
  }
  if (s.offset) {
    // ORDER BY ... OFFSET n ROWS [FETCH NEXT m ROWS ONLY].
    out.sql += " LIMIT " + (s.fetch ? rowCountSql(*s.fetch, RowCount::Fetch) : "-1") + " OFFSET " +
               rowCountSql(*s.offset, RowCount::Offset);
  }
  if (s.top) {
    std::string n = rowCountSql(*s.top, s.topPercent ? RowCount::Percent : RowCount::Top);
    if (s.topPercent) {
      // TOP n PERCENT: the share of the rows the query returns, rounded up.
      n = "(SELECT CAST(ceil(count(*) * " + n + " / 100.0) AS INTEGER) FROM (" + unordered + "))";
    }
    if (s.withTies) {
      std::string columns;
      for (std::size_t i = 0; i < first.items.size(); ++i)
        columns += (i ? ", " : "") + quoteName("c" + std::to_string(i + 1));
      std::string rank = "rank() OVER (ORDER BY " + rankKeys + ") AS \"$rank\"";
      std::string ranked = rankOutside ? "SELECT *, " + rank + " FROM (" + unordered + ")"
                                       : emitCore(first, false, ", " + rank);
      // The rows ranked within the first n, in rank order: ties keep the
      // order the keys give them.
      out.sql = "SELECT " + columns + " FROM (" + ranked + ") WHERE \"$rank\" <= " + n +
                " ORDER BY \"$rank\"";
    } else {
      out.sql += " LIMIT " + n;
    }
  }
  for (std::size_t i = 0; i < first.items.size(); ++i) {
    Column col;
    col.name = first.names[i];
    col.type = types[i];
    const Typed& t = first.items[i];
    BoundStatement::Origin origin;
    // Another schema's table goes by its two-part name: a client that writes
    // back through browse information must not reach dbo's table of that name.
    if (t.column && t.table && rest.empty())
      origin = {t.table->ownerId == kDboSchemaId ? t.table->name : t.table->ownerQualified(),
                t.column->name};
    out.origins.push_back(std::move(origin));
    if (t.column && rest.empty()) {
      col.identity = t.column->identity;
      if (col.identity && t.table) {
        out.identitySeed = t.table->identitySeed;
        out.identityIncrement = t.table->identityIncrement;
      }
      col.updatable = t.table && t.table->xtype == "U";
      if (isLargeType(t.type.type)) col.tableName = t.table->name;
      if (t.column->rowversion && out.rowversionColumn < 0)
        out.rowversionColumn = static_cast<int>(i);
    }
    col.unpadded = t.unpadded && rest.empty();
    out.columns.push_back(std::move(col));
  }
  out.assignVars = first.assignVars;
  bool anyAssign = false;
  for (const auto& v : out.assignVars) anyAssign |= !v.empty();
  if (!anyAssign) out.assignVars.clear();
  out.params = params_;
  return out;
}

std::string Binder::subquerySql(const SelectStmt& s, Scope& scope, TypeInfo* firstType,
                                const TypeInfo* firstTarget) {
  if (s.forXml) {
    if (firstType) *firstType = forXmlType(*s.forXml);
    return forXmlSql(s, &scope);
  }
  auto item = [&](const Core& core, std::size_t i) {
    return i == 0 && firstTarget ? convertSql(core.items[i], *firstTarget) : core.items[i].sql;
  };
  Core c = bindCore(s, &scope);
  std::string sql = c.head;
  for (std::size_t i = 0; i < c.items.size(); ++i) sql += (i ? ", " : "") + item(c, i);
  sql += c.tail;
  for (const auto& u : s.unions) {
    Core r = bindCore(*u.select, &scope);
    sql += setOperator(u) + r.head;
    for (std::size_t i = 0; i < r.items.size(); ++i) sql += (i ? ", " : "") + item(r, i);
    sql += r.tail;
  }
  if (!s.orderBy.empty() && (s.top || s.offset)) {
    sql += " ORDER BY ";
    WindowClause windows(*this, WindowUse::Allowed);
    for (std::size_t i = 0; i < s.orderBy.size(); ++i)
      sql += (i ? ", " : "") + bindExpr(*s.orderBy[i].expr, c.scope).sql +
             (s.orderBy[i].descending ? " DESC" : "");
  }
  if (s.top) sql += " LIMIT " + rowCountSql(*s.top, RowCount::Top);
  if (s.offset)
    sql += " LIMIT " + (s.fetch ? rowCountSql(*s.fetch, RowCount::Fetch) : "-1") + " OFFSET " +
           rowCountSql(*s.offset, RowCount::Offset);
  if (firstType) *firstType = c.items.empty() ? makeType(SqlType::Int) : c.items[0].type;
  return sql;
}

BoundStatement Binder::bindExpression(const Expr& expr) {
  Scope none;
  Typed t = bindExpr(expr, none);
  BoundStatement out;
  out.sql = "SELECT " + t.sql;
  Column c;
  c.type = t.type;
  out.columns.push_back(c);
  out.params = params_;
  return out;
}

BoundStatement Binder::bindCondition(const Expr& cond) {
  Scope none;
  Typed t = bindExpr(cond, none);
  BoundStatement out;
  out.sql = "SELECT CASE WHEN " + t.sql + " THEN 1 ELSE 0 END";
  Column c;
  c.type = makeType(SqlType::Int);
  out.columns.push_back(c);
  out.params = params_;
  return out;
}

Typed Binder::bindTableExpression(const Expr& expr, const TableInfo& table) {
  Scope scope;
  Source src;
  src.exposedName = table.name;
  src.sqlAlias = table.name;
  src.columns = table.columns;
  scope.sources.push_back(src);
  Typed t = bindExpr(expr, scope);
  // Inside CREATE TABLE, columns are named without a qualifier.
  std::string prefix = quoteName(table.name) + ".";
  std::string sql;
  for (std::size_t i = 0; i < t.sql.size();) {
    if (t.sql.compare(i, prefix.size(), prefix) == 0) {
      i += prefix.size();
    } else {
      sql += t.sql[i++];
    }
  }
  t.sql = sql;
  return t;
}

}  // namespace tessel::sqld::engine
