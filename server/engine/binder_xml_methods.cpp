// Binding of the xml type's methods. The query text is parsed here, so that
// a malformed or unsupported query, or a value() that may meet more than one
// item, fails before any row is read; each call becomes a SQLite function of
// xml_methods.cpp that evaluates it on each value.

#include "binder.h"
#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "sqlite_util.h"
#include "types.h"
#include "xml_path.h"

namespace tessel::sqld::engine {
namespace {

// Sets a flag for the life of a scope.
class FlagScope {
 public:
  FlagScope(bool& flag, bool value) : flag_(flag), saved_(flag) { flag_ = value; }
  ~FlagScope() { flag_ = saved_; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

const TypeInfo kNVarCharMax = makeType(SqlType::NVarChar, kMaxLength / 2 * 2);

XmlQuery::Method methodOf(const std::string& name) {
  if (name == "value") return XmlQuery::Method::Value;
  if (name == "query") return XmlQuery::Method::Query;
  if (name == "exist") return XmlQuery::Method::Exist;
  if (name == "nodes") return XmlQuery::Method::Nodes;
  return XmlQuery::Method::Modify;
}

// A method's argument, which must be a string literal.
const std::string& literalArg(const std::vector<ExprPtr>& args, std::size_t i,
                              const std::string& method) {
  const Expr& a = *args[i];
  const auto* text =
      a.kind == ExprKind::Literal ? std::get_if<std::string>(&a.value.data()) : nullptr;
  if (!text) throw SqlError(8172, {std::to_string(i), method});
  return *text;
}

bool isNumber(SqlType t) {
  return isIntegerType(t) || isExactType(t) || t == SqlType::Real || t == SqlType::Float;
}

}  // namespace

bool containsXmlMethod(const Expr& root) {
  // Operator chains may be as deep as a batch is long: no recursion.
  std::vector<const Expr*> pending{&root};
  while (!pending.empty()) {
    const Expr* e = pending.back();
    pending.pop_back();
    if (e->kind == ExprKind::Function && e->op.starts_with(".XML_")) return true;
    for (const ExprPtr& a : e->args)
      if (a) pending.push_back(a.get());
  }
  return false;
}

std::string Binder::xmlMethodSql(const std::string& method, const std::vector<ExprPtr>& args,
                                 Scope& scope, Typed& target) {
  const std::size_t count = method == "value" ? 3 : 2;
  if (args.size() != count) throw SqlError(174, {method, std::to_string(count - 1)});
  const Expr& on = *args[0];
  {
    FlagScope context(xmlContextUse_, on.kind == ExprKind::Column && method != "modify");
    target = bindExpr(on, scope);
  }
  if (target.type.type != SqlType::Xml)
    throw SqlError(258, {target.nullLiteral ? "NULL" : typeName(target.type.type)});
  const std::string& text = literalArg(args, 1, method);
  // Messages name a table's column as table.column.
  const std::string where =
      target.table && target.column ? target.table->name + "." + target.column->name : "";
  std::shared_ptr<const XmlQuery> query =
      XmlQuery::parse(text, methodOf(method), where, xmlNamespaces_);
  // What the query reads from outside: each value as text, with its kind.
  std::string kinds, values;
  FlagScope plain(xmlContextUse_, false);
  for (const XmlQuery::Reference& r : query->references()) {
    Expr ref;
    ref.kind = r.column ? ExprKind::Column : ExprKind::Variable;
    if (r.column)
      ref.names = splitName(r.name);
    else
      ref.op = r.name;
    Typed v = bindExpr(ref, scope);
    target.isAggregate = target.isAggregate || v.isAggregate;
    const char kind = v.type.type == SqlType::Xml ? 'x' : isNumber(v.type.type) ? 'n' : 's';
    kinds += kind;
    values += "," + (kind == 'x' ? v.sql : convertSql(v, kNVarCharMax));
  }
  // What modify() names in its message for a NULL value.
  const std::string label = on.kind == ExprKind::Variable ? on.op
                            : on.names.empty()            ? std::string()
                                                          : on.names.back();
  // A column of nodes(): its document and its node's place.
  std::string value = target.sql + ",-1";
  if (auto context = xmlContextSql_.find(target.sql); context != xmlContextSql_.end())
    value = context->second.first + "," + context->second.second;
  return "t_xml_" + method + "(" + value + "," + quoteText(text) + "," + quoteText(kinds) + "," +
         quoteText(where) + "," + quoteText(label) + "," + quoteText(xmlNamespaces_) + values + ")";
}

Typed Binder::bindXmlMethod(const Expr& e, Scope& scope) {
  if (auto call = bindUserFunctionNamedLikeMethod(e, scope)) return *call;
  const std::string method = lower(e.op.substr(5));
  Typed target;
  const std::string call = xmlMethodSql(method, e.args, scope, target);
  Typed r;
  r.isAggregate = target.isAggregate;
  r.sql = call;
  if (method == "value") {
    const TypeInfo type = parseTypeName(literalArg(e.args, 2, method));
    switch (type.type) {
      case SqlType::Xml:
      case SqlType::Text:
      case SqlType::NText:
      case SqlType::Image:
      case SqlType::Variant:
        throw SqlError(9500, {typeName(type.type)});
      default:
        break;
    }
    // The text of the item found, converted as CONVERT would.
    Typed text;
    text.sql = call;
    text.type = kNVarCharMax;
    r.sql = convertSql(text, type);
    r.type = type;
  } else {
    r.type = makeType(method == "exist" ? SqlType::Bit : SqlType::Xml);
  }
  r.type.nullable = true;
  return r;
}

std::string Binder::bindXmlNodes(const TableRef& ref, Scope& argScope, Scope& scope) {
  // Its one column needs one name: AS t(c).
  if (ref.columnAliases.size() != 1)
    throw SqlError(ref.columnAliases.empty() ? 8158 : 8159, {ref.alias});
  Typed target;
  const std::string call = xmlMethodSql("nodes", ref.args, argScope, target);
  Source src;
  src.exposedName = ref.alias;
  src.sqlAlias = newAlias();
  ColumnInfo c;
  c.name = ref.columnAliases[0];
  c.type = makeType(SqlType::Xml);
  c.type.precision = kXmlContextNode;
  c.type.nullable = true;
  c.colid = 1;
  src.columns.push_back(std::move(c));
  // json_each gives the nodes' places. The methods take a row's document
  // and place apart; elsewhere (IS NULL, a nested nodes()) the node is made
  // a handle, so that the rows do not hold the document each.
  const std::string place = quoteName(src.sqlAlias) + ".\"value\"";
  // Under another nodes() column, the places are in that column's document.
  const auto outer = xmlContextSql_.find(target.sql);
  const std::string document = outer != xmlContextSql_.end() ? outer->second.first : target.sql;
  const std::string handle = "t_xml_node(" + document + "," + place + ")";
  xmlContextSql_[handle] = {document, place};
  src.sqlExprs.push_back(handle);
  const std::string from = "json_each(" + call + ") AS " + quoteName(src.sqlAlias);
  scope.sources.push_back(std::move(src));
  return from;
}

}  // namespace tessel::sqld::engine
