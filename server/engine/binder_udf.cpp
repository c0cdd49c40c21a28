// Binding of calls of user-defined functions. A scalar function and a
// multi-statement table-valued one run in the session when SQLite calls
// t_udf(schema, id, arguments...) (functions_user.cpp): the first gives its
// value, the second its table's rows as a JSON array that json_each reads
// (so that, like STRING_SPLIT, it may take the columns of the sources before
// it). An inline function's query binds in place as a derived table, its
// parameters standing for the call's arguments.

#include "binder.h"
#include "errors.h"
#include "functions/builtin.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// Restores the parameters of the enclosing inline function (if any) when
// a function's query is bound.
struct ArgumentsScope {
  std::vector<std::map<std::string, Typed>>& stack;
  ~ArgumentsScope() { stack.pop_back(); }
};

}  // namespace

TypeInfo Binder::parameterType(const TypeInfo& declared) {
  // A text parameter has the database's collation, as a variable does.
  TypeInfo t = declared;
  if (isCharType(t.type) && t.collation == 0) t.collation = ctx_.databaseCollation();
  return t;
}

bool storedAsBlob(const TypeInfo& t) {
  return isBinaryType(t.type) || t.type == SqlType::Variant ||
         (isDecimalType(t.type) && t.precision > 18);
}

std::optional<Typed> Binder::bindUserFunction(const Expr& e, Scope& scope) {
  auto f = ctx_.resolveFunction(e.names);
  const std::string written = joinName(e.names);
  if (!f || f->definition->functionType != "FN") {
    // A built-in called with a qualifier (sys.name, or a method of a value)
    // binds as it always did.
    if (builtin::find(e.op)) return std::nullopt;
    throw SqlError(4121, {e.names[0], written});
  }
  return callUserFunction(*f, written, e.args, 0, scope);
}

std::optional<Typed> Binder::bindUserFunctionNamedLikeMethod(const Expr& e, Scope& scope) {
  // dbo.value(...) reads as a column's xml method; when no column of that
  // name is in scope and the database has such a function, it is a call.
  const Expr& on = *e.args[0];
  if (on.kind != ExprKind::Column || on.names.empty()) return std::nullopt;
  Name name = on.names;
  name.push_back(lower(e.op.substr(5)));
  auto f = ctx_.resolveFunction(name);
  if (!f || f->definition->functionType != "FN") return std::nullopt;
  try {
    bindExpr(on, scope);
    return std::nullopt;
  } catch (const SqlError&) {
  }
  return callUserFunction(*f, joinName(name), e.args, 1, scope);
}

Typed Binder::callUserFunction(const FunctionRef& f, const std::string& written,
                               const std::vector<ExprPtr>& args, std::size_t first, Scope& scope) {
  const CreateProcStmt& d = *f.definition;
  const std::size_t given = args.size() - first;
  if (given > d.params.size()) throw SqlError(8144, {written});
  if (given < d.params.size()) throw SqlError(313, {written});
  std::string sql = "t_udf(" + quoteText(f.schema) + ", " + std::to_string(f.id);
  for (std::size_t i = 0; i < given; ++i)
    sql +=
        ", " + convertSql(bindExpr(*args[first + i], scope), parameterType(d.params[i].type), true);
  Typed t;
  t.sql = sql + ")";
  t.type = d.returns;
  t.type.nullable = true;
  return t;
}

std::optional<std::string> Binder::bindUserTableFunction(const TableRef& ref, Scope& scope,
                                                         const std::string* applyLeft,
                                                         bool outerApply) {
  const bool builtinFunction =
      ref.name.size() == 1 && (iequals(ref.name[0], "STRING_SPLIT") ||
                               iequals(ref.name[0], "OPENJSON") || ref.name[0] == ".NODES");
  if (builtinFunction) return std::nullopt;
  auto f = ctx_.resolveFunction(ref.name);
  if (!f || f->definition->functionType == "FN") throw SqlError(208, {joinName(ref.name)});
  const CreateProcStmt& d = *f->definition;
  const std::string written = joinName(ref.name);
  if (ref.args.size() > d.params.size()) throw SqlError(8144, {written});
  if (ref.args.size() < d.params.size()) throw SqlError(313, {written});
  // The arguments see the sources before the function only under APPLY.
  Scope own;
  own.outer = scope.outer;
  Scope& argScope = applyLeft ? scope : own;
  std::vector<Typed> args;
  for (std::size_t i = 0; i < ref.args.size(); ++i) {
    Typed a = bindExpr(*ref.args[i], argScope);
    Typed converted;
    converted.type = parameterType(d.params[i].type);
    converted.sql = convertSql(a, converted.type, true);
    args.push_back(std::move(converted));
  }
  const std::string alias = ref.alias.empty() ? ref.name.back() : ref.alias;

  if (d.functionType == "IF") {
    std::map<std::string, Typed> named;
    for (std::size_t i = 0; i < args.size(); ++i) named[lower(d.params[i].name)] = args[i];
    arguments_.push_back(std::move(named));
    ArgumentsScope restore{arguments_};
    TableRef query;
    query.kind = TableRef::Kind::Derived;
    query.derived = d.inlineSelect;
    query.alias = alias;
    if (applyLeft) return applyRight(*applyLeft, outerApply, query, scope);
    return bindTableRef(query, scope);
  }

  // A multi-statement function: its rows from json_each.
  Source src;
  src.exposedName = alias;
  src.sqlAlias = newAlias();
  std::string call = "t_udf(" + quoteText(f->schema) + ", " + std::to_string(f->id);
  for (const Typed& a : args) call += ", " + a.sql;
  call += ")";
  const std::string value = quoteName(src.sqlAlias) + ".\"value\"";
  for (std::size_t i = 0; i < d.returnTable->columns.size(); ++i) {
    const ColumnDef& def = d.returnTable->columns[i];
    ColumnInfo c;
    c.name = def.name;
    c.type = def.type;
    c.type.nullable = def.type.nullable || outerApply;
    c.colid = static_cast<int>(i + 1);
    std::string element = "json_extract(" + value + ", '$[" + std::to_string(i) + "]')";
    src.sqlExprs.push_back(storedAsBlob(c.type) ? "t_unhex(" + element + ")" : element);
    src.columns.push_back(std::move(c));
  }
  const std::string from = "json_each(" + call + ") AS " + quoteName(src.sqlAlias);
  scope.sources.push_back(std::move(src));
  if (!applyLeft) return from;
  return "(" + *applyLeft + (outerApply ? " LEFT JOIN " : " JOIN ") + from + " ON 1)";
}

}  // namespace tessel::sqld::engine
