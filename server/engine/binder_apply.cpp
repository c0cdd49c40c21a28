// Binding of the table-valued built-ins STRING_SPLIT and OPENJSON, which
// read through SQLite's json_each, and of CROSS APPLY and OUTER APPLY.
//
// SQLite has no lateral join, but a table-valued function in FROM may take
// the columns of the tables before it, and a join's ON may name both sides.
// So a function applied to each row is a plain join, and an applied query
// that neither groups nor limits its rows joins its own sources in, its
// WHERE becoming the join's condition. Any other applied query binds as a
// derived table of its own (it may not name the outer row).

#include <cctype>

#include "binder.h"
#include "errors.h"
#include "functions/builtin.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// Whether an expression groups or numbers rows (an aggregate or a window
// function outside a subquery): an applied query with one stays apart.
bool groupsRows(const Expr& e) {
  if (e.kind == ExprKind::Function) {
    if (e.over) return true;
    if (const builtin::Function* f = builtin::find(e.op); f && builtin::isAggregate(*f))
      return true;
  }
  for (const ExprPtr& a : e.args)
    if (a && groupsRows(*a)) return true;
  return false;
}

// Whether an applied query can join its sources in: it neither groups nor
// numbers rows, and takes all its rows, or its first n (TOP n, ORDER BY)
// from one table, which the join then keeps by row id.
bool joinsIn(const SelectStmt& s) {
  if (!s.with.empty() || s.distinct || s.offset || !s.into.empty() || !s.groupBy.empty() ||
      s.having || !s.unions.empty())
    return false;
  if ((s.top || !s.orderBy.empty()) &&
      (!s.top || s.topPercent || s.withTies || s.from.size() != 1 ||
       s.from[0]->kind != TableRef::Kind::Named))
    return false;
  for (const SelectItem& item : s.items)
    if (!item.assignVar.empty() || groupsRows(*item.expr)) return false;
  return true;
}

// The JSON path of a column named `name` ($.name, or $."name" when it is
// not a plain word).
std::string defaultPath(const std::string& name) {
  bool plain = !name.empty();
  for (char ch : name) plain = plain && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
  return plain ? "$." + name : "$.\"" + name + "\"";
}

}  // namespace

std::string Binder::bindTableFunction(const TableRef& ref, Scope& scope, bool lateral) {
  Scope own;
  own.outer = scope.outer;
  Scope& argScope = lateral ? scope : own;
  if (ref.name[0] == ".NODES") return bindXmlNodes(ref, argScope, scope);
  const std::string fn = upper(ref.name[0]);
  const bool split = fn == "STRING_SPLIT";
  if (ref.args.size() < (split ? 2u : 1u)) throw SqlError(313, {fn});
  if (ref.args.size() > (split ? 3u : 2u)) throw SqlError(8144, {fn});
  Source src;
  src.exposedName = ref.alias.empty() ? ref.name[0] : ref.alias;
  src.sqlAlias = newAlias();
  const std::string a = quoteName(src.sqlAlias) + ".";
  auto column = [&](const std::string& name, TypeInfo type, bool nullable, std::string sql) {
    ColumnInfo c;
    c.name = name;
    c.type = type;
    c.type.nullable = nullable;
    c.colid = static_cast<int>(src.columns.size() + 1);
    src.columns.push_back(std::move(c));
    src.sqlExprs.push_back(std::move(sql));
  };
  std::string from;
  if (split) {
    // value: the input's kind of text, variable-length; ordinal with a
    // third argument 1.
    Typed text = bindExpr(*ref.args[0], argScope);
    Typed sep = bindExpr(*ref.args[1], argScope);
    TypeInfo value = text.type;
    switch (text.type.type) {
      case SqlType::Char:
        value.type = SqlType::VarChar;
        break;
      case SqlType::NChar:
        value.type = SqlType::NVarChar;
        break;
      case SqlType::VarChar:
      case SqlType::NVarChar:
        break;
      default:
        value = makeType(SqlType::NVarChar, 8000);
        text.sql = convertSql(text, value);
    }
    if (!isCharType(sep.type.type) && !sep.nullLiteral)
      sep.sql = convertSql(sep, makeType(SqlType::NVarChar, 2));
    from =
        "json_each(t_string_split(" + text.sql + "," + sep.sql + ")) AS " + quoteName(src.sqlAlias);
    column("value", value, true, a + "\"value\"");
    bool ordinal = false;
    if (ref.args.size() == 3) {
      const Expr& e = *ref.args[2];
      const auto* flag =
          e.kind == ExprKind::Literal ? std::get_if<std::int64_t>(&e.value.data()) : nullptr;
      if (!flag || (*flag != 0 && *flag != 1)) throw SqlError(214, {"enable_ordinal", "bit"});
      ordinal = *flag == 1;
    }
    if (ordinal) column("ordinal", makeType(SqlType::BigInt), false, "(" + a + "\"key\" + 1)");
  } else {
    Typed doc = bindExpr(*ref.args[0], argScope);
    if (!isCharType(doc.type.type) && !doc.nullLiteral)
      throw SqlError(8116, {typeName(doc.type.type), "openjson"});
    const std::string checked = "t_json_doc(" + doc.sql + ")";
    std::string path = "'$'";
    bool strict = false;
    if (ref.args.size() == 2) {
      const Expr& p = *ref.args[1];
      const auto* literal =
          p.kind == ExprKind::Literal ? std::get_if<std::string>(&p.value.data()) : nullptr;
      if (literal) {
        path = sqlLiteral(Stored::text(std::string(builtin::jsonPathMode(*literal, strict))));
      } else {
        Typed t = bindExpr(p, argScope);
        path = isCharType(t.type.type) ? t.sql : convertSql(t, makeType(SqlType::NVarChar, 8000));
      }
    }
    // A strict path must lead somewhere; a lax one that does not has no rows.
    std::string each = checked;
    if (strict)
      each = "(CASE WHEN json_type(" + checked + "," + path +
             ") IS NULL THEN t_error(13608) ELSE " + checked + " END)";
    const std::string type = a + "\"type\"";
    if (ref.jsonColumns.empty()) {
      from = "json_each(" + each + "," + path + ") AS " + quoteName(src.sqlAlias);
      // key, value (numbers as written) and the kind of value, 0 to 5.
      column("key", makeType(SqlType::NVarChar, 8000), false, "CAST(" + a + "\"key\" AS TEXT)");
      column("value", makeType(SqlType::NVarChar, kMaxLength - 1), true,
             "(CASE " + type + " WHEN 'true' THEN 'true' WHEN 'false' THEN 'false' WHEN 'null' " +
                 "THEN NULL WHEN 'integer' THEN (" + doc.sql + " -> " + a + "\"fullkey\") " +
                 "WHEN 'real' THEN (" + doc.sql + " -> " + a + "\"fullkey\") ELSE " + a +
                 "\"value\" END)");
      column("type", makeType(SqlType::Int), false,
             "(CASE " + type + " WHEN 'null' THEN 0 WHEN 'text' THEN 1 WHEN 'integer' THEN 2 " +
                 "WHEN 'real' THEN 2 WHEN 'true' THEN 3 WHEN 'false' THEN 3 WHEN 'array' THEN 4 " +
                 "ELSE 5 END)");
    } else {
      // WITH: a row for each element of an array, or one for an object.
      from = "json_each(CASE WHEN json_type(" + each + "," + path + ") = 'object' THEN " +
             "json_array(json(" + checked + " -> " + path + ")) ELSE " + checked + " END," +
             "CASE WHEN json_type(" + checked + "," + path + ") = 'object' THEN '$' ELSE " + path +
             " END) AS " + quoteName(src.sqlAlias);
    }
    // Each column read from its row's element by a path relative to it, as
    // JSON_VALUE (converted to the column's type) or JSON_QUERY.
    const std::string element = "(CASE " + type + " WHEN 'object' THEN " + a +
                                "\"value\" WHEN 'array' THEN " + a +
                                "\"value\" WHEN 'true' THEN 'true' WHEN 'false' THEN 'false' " +
                                "WHEN 'null' THEN 'null' ELSE json_quote(" + a + "\"value\") END)";
    for (const JsonColumn& jc : ref.jsonColumns) {
      bool columnStrict = false;
      std::string written = jc.path.empty() ? defaultPath(jc.name) : jc.path;
      std::string columnPath(builtin::jsonPathMode(written, columnStrict));
      std::string pathSql = sqlLiteral(Stored::text(columnPath));
      if (jc.asJson) {
        if (jc.type.type != SqlType::NVarChar || !isMaxType(jc.type)) throw SqlError(13618, {});
        column(jc.name, jc.type, true,
               builtin::jsonQuerySql(element, pathSql, columnStrict, columnPath == "$"));
        continue;
      }
      Typed value = builtin::make(builtin::jsonValueSql(element, pathSql, columnStrict),
                                  makeType(SqlType::NVarChar, 8000));
      column(jc.name, jc.type, true, convertSql(value, jc.type));
    }
  }
  scope.sources.push_back(std::move(src));
  return from;
}

// TOP n of an applied query over one table: its row ids among the first n
// that the query, bound once more as a subquery of the outer row, returns.
std::string Binder::firstRows(const SelectStmt& s, Scope& scope, const Scope& joined) {
  const Source& table = joined.sources.at(0);
  Scope own;
  own.outer = &scope;
  std::string from = bindFrom(s.from, own);
  std::string sql = "SELECT " + quoteName(own.sources.at(0).sqlAlias) + ".rowid" + from;
  if (s.where) sql += " WHERE " + bindExpr(*s.where, own).sql;
  for (std::size_t i = 0; i < s.orderBy.size(); ++i) {
    const Expr& e = *s.orderBy[i].expr;
    // A select-list alias orders by its expression, bound over this copy.
    const Expr* keyExpr = &e;
    if (e.kind == ExprKind::Column && e.names.size() == 1)
      for (const SelectItem& item : s.items)
        if (!item.alias.empty() && iequals(item.alias, e.names[0])) keyExpr = item.expr.get();
    Typed key = bindExpr(*keyExpr, own);
    sql += (i ? ", " : " ORDER BY ") + orderKey(key) + (s.orderBy[i].descending ? " DESC" : "");
  }
  sql += " LIMIT " + rowCountSql(*s.top, RowCount::Top);
  return quoteName(table.sqlAlias) + ".rowid IN (" + sql + ")";
}

std::string Binder::bindApply(const TableRef& ref, Scope& scope) {
  std::string left = bindTableRef(*ref.left, scope);
  const bool outer = ref.joinType.starts_with("OUTER");
  if (ref.right->kind == TableRef::Kind::Function)
    if (auto user = bindUserTableFunction(*ref.right, scope, &left, outer)) return *user;
  return applyRight(left, outer, *ref.right, scope);
}

std::string Binder::applyRight(const std::string& left, bool outer, const TableRef& right,
                               Scope& scope) {
  const std::string join = outer ? " LEFT JOIN " : " JOIN ";
  if (right.kind == TableRef::Kind::Function)
    return "(" + left + join + bindTableFunction(right, scope, true) + " ON 1)";
  if (right.kind == TableRef::Kind::Derived && !joinsIn(*right.derived) &&
      right.derived->unions.empty() && !right.derived->forXml)
    return applyRows(left, outer, right, scope);
  if (right.kind != TableRef::Kind::Derived || !joinsIn(*right.derived))
    return "(" + left + join + bindTableRef(right, scope) + " ON 1)";
  // The applied query's sources join in. OUTER APPLY tells its unmatched
  // rows (all NULL) from matched ones by the row id of a lone table, else by
  // a marker row the sources join behind (SQLite hides row ids inside a
  // parenthesized join).
  const SelectStmt& s = *right.derived;
  Scope inner;
  inner.outer = &scope;
  std::string from = bindFrom(s.from, inner);
  // Its first rows are told by row id: the one source must be a table.
  if (s.top && (!inner.sources.at(0).table || inner.sources[0].table->xtype != "U"))
    return "(" + left + join + bindTableRef(right, scope) + " ON 1)";
  Source src;
  src.exposedName = right.alias;
  src.sqlAlias = newAlias();
  std::vector<Typed> items;
  std::vector<std::string> names;
  for (const SelectItem& item : s.items) {
    const Expr& e = *item.expr;
    if (e.kind != ExprKind::Star) {
      items.push_back(bindExpr(e, inner));
      names.push_back(!item.alias.empty()          ? item.alias
                      : e.kind == ExprKind::Column ? e.names.back()
                                                   : "");
      continue;
    }
    const std::string qualifier = e.names.empty() ? std::string() : e.names.back();
    for (const Source& source : inner.sources) {
      if (!qualifier.empty() && !iequals(source.exposedName, qualifier)) continue;
      for (std::size_t k = 0; k < source.columns.size(); ++k) {
        Typed t;
        t.sql = source.columnSql(k);
        t.type = source.columns[k].type;
        items.push_back(std::move(t));
        names.push_back(source.columns[k].name);
      }
    }
  }
  checkColumnAliases(right, items.size());
  std::string where = s.where ? bindExpr(*s.where, inner).sql : "1";
  if (s.top) where += " AND " + firstRows(s, scope, inner);
  const bool lone = s.from.size() == 1 && s.from[0]->kind == TableRef::Kind::Named &&
                    inner.sources.size() == 1 && inner.sources[0].table &&
                    inner.sources[0].table->xtype == "U";
  const std::string marker =
      lone ? quoteName(inner.sources[0].sqlAlias) + ".rowid" : quoteName(src.sqlAlias) + ".\"m\"";
  for (std::size_t i = 0; i < items.size(); ++i) {
    ColumnInfo c;
    c.name = i < right.columnAliases.size() ? right.columnAliases[i]
             : names[i].empty()             ? "c" + std::to_string(i + 1)
                                            : names[i];
    if (names[i].empty() && right.columnAliases.empty())
      throw SqlError(8155, {std::to_string(i + 1), right.alias});
    c.type = items[i].type;
    c.type.nullable = c.type.nullable || outer;
    c.colid = static_cast<int>(i + 1);
    src.columns.push_back(std::move(c));
    src.sqlExprs.push_back(outer ? "(CASE WHEN " + marker + " IS NOT NULL THEN " + items[i].sql +
                                       " END)"
                                 : items[i].sql);
  }
  std::string rightSql = "(SELECT 1 AS \"m\") AS " + quoteName(src.sqlAlias);
  if (lone) {
    rightSql = from.substr(6);
  } else if (!from.empty()) {
    rightSql = "(" + rightSql + ", " + from.substr(6) + ")";
  }
  scope.sources.push_back(std::move(src));
  return "(" + left + join + rightSql + " ON " + where + ")";
}

std::string Binder::applyRows(const std::string& left, bool outer, const TableRef& right,
                              Scope& scope) {
  const SelectStmt& s = *right.derived;
  WithScope with(*this, s.with);
  Core c = bindCore(s, &scope);
  checkColumnAliases(right, c.items.size());
  std::string inner = c.head, values;
  for (std::size_t i = 0; i < c.items.size(); ++i) {
    const std::string name = quoteName("c" + std::to_string(i + 1));
    inner += (i ? ", " : "") + c.items[i].sql + " AS " + name;
    values += (i ? ", " : "") + (storedAsBlob(c.items[i].type) ? "hex(" + name + ")" : name);
  }
  inner += c.tail;
  if (!s.orderBy.empty() && (s.top || s.offset)) {
    WindowClause windows(*this, WindowUse::Allowed);
    std::string keys;
    for (const OrderItem& o : s.orderBy)
      keys += (keys.empty() ? "" : ", ") + bindExpr(*o.expr, c.scope).sql +
              (o.descending ? " DESC" : "");
    inner += " ORDER BY " + keys;
  }
  if (s.top) inner += " LIMIT " + rowCountSql(*s.top, RowCount::Top);
  if (s.offset)
    inner += " LIMIT " + (s.fetch ? rowCountSql(*s.fetch, RowCount::Fetch) : "-1") + " OFFSET " +
             rowCountSql(*s.offset, RowCount::Offset);
  Source src;
  src.exposedName = right.alias;
  src.sqlAlias = newAlias();
  const std::string value = quoteName(src.sqlAlias) + ".\"value\"";
  for (std::size_t i = 0; i < c.items.size(); ++i) {
    ColumnInfo col;
    col.name = i < right.columnAliases.size() ? right.columnAliases[i] : c.names[i];
    if (col.name.empty()) throw SqlError(8155, {std::to_string(i + 1), right.alias});
    col.type = c.items[i].type;
    col.type.nullable = col.type.nullable || outer;
    col.colid = static_cast<int>(i + 1);
    const std::string element = "json_extract(" + value + ", '$[" + std::to_string(i) + "]')";
    src.sqlExprs.push_back(storedAsBlob(col.type) ? "t_unhex(" + element + ")" : element);
    src.columns.push_back(std::move(col));
  }
  const std::string rows = "json_each((SELECT json_group_array(json_array(" + values + ")) FROM (" +
                           inner + "))) AS " + quoteName(src.sqlAlias);
  scope.sources.push_back(std::move(src));
  return "(" + left + (outer ? " LEFT JOIN " : " JOIN ") + rows + " ON 1)";
}

}  // namespace tessel::sqld::engine
