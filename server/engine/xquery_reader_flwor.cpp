// The XQuery reader's prolog (namespace declarations) and the expressions
// that bind variables: FLWOR and some/every, with if beside them.

#include "errors.h"
#include "xquery_reader.h"

namespace tessel::sqld::engine::xquery {

// --- the prolog

void QueryReader::prolog() {
  if (isName("xquery") && peekSecond().text == "version") {
    take();
    take();
    const Token v = take();
    if (v.k != Token::K::String) syntax(v);
    if (v.text != "1.0") unsupported("xquery version \"" + v.text + "\"");
    expectSymbol(";");
  }
  while (isName("declare") && peekSecond().k == Token::K::Name) {
    take();
    if (acceptName("namespace")) {
      const Token name = take();
      if (name.k != Token::K::Name || name.text.find(':') != std::string::npos) syntax(name);
      expectSymbol("=");
      const Token uri = take();
      if (uri.k != Token::K::String) syntax(uri);
      namespaces_[name.text] = uri.text;
    } else if (isName("default") && peekSecond().text == "element") {
      take();
      take();
      expectName("namespace");
      const Token uri = take();
      if (uri.k != Token::K::String) syntax(uri);
      defaultElementNamespace_ = uri.text;
    } else {
      unsupported("declare " + peek().text);
    }
    expectSymbol(";");
  }
}

void QueryReader::declareNamespace(const std::string& prefix, const std::string& uri) {
  if (prefix.empty())
    defaultElementNamespace_ = uri;
  else
    namespaces_[prefix] = uri;
}

std::string QueryReader::resolvePrefix(std::string_view prefix, bool element) const {
  if (prefix.empty()) return element ? defaultElementNamespace_ : std::string();
  if (auto it = namespaces_.find(prefix); it != namespaces_.end()) return it->second;
  static constexpr std::pair<std::string_view, std::string_view> kPredefined[] = {
      {"xml", "http://www.w3.org/XML/1998/namespace"},
      {"xs", "http://www.w3.org/2001/XMLSchema"},
      {"xsi", "http://www.w3.org/2001/XMLSchema-instance"},
      {"fn", "http://www.w3.org/2005/xpath-functions"},
      {"xdt", "http://www.w3.org/2004/07/xpath-datatypes"},
      {"sql", "urn:schemas-microsoft-com:xml-sql"}};
  for (const auto& [name, uri] : kPredefined)
    if (name == prefix) return std::string(uri);
  throw SqlError(2229, {prefix_, prefix});
}

int QueryReader::bindVariable(const std::string& name) {
  const int slot = slots_++;
  scope_.emplace_back(name, slot);
  singleSlot_.push_back(true);
  return slot;
}

// $name, in scope.
int QueryReader::variable() {
  expectSymbol("$");
  const Token name = take();
  if (name.k != Token::K::Name) syntax(name);
  for (auto it = scope_.rbegin(); it != scope_.rend(); ++it)
    if (it->first == name.text) return it->second;
  throw SqlError(2227, {prefix_, "$" + name.text});
}

XExprPtr QueryReader::flwor() {
  auto e = make(XExpr::K::Flwor);
  const std::size_t scoped = scope_.size();
  while (isName("for") || isName("let")) {
    const bool isFor = take().text == "for";
    do {
      Clause c;
      c.k = isFor ? Clause::K::For : Clause::K::Let;
      expectSymbol("$");
      const Token name = take();
      if (name.k != Token::K::Name) syntax(name);
      std::string positionName;
      if (isFor && acceptName("at")) {
        expectSymbol("$");
        const Token p = take();
        if (p.k != Token::K::Name) syntax(p);
        positionName = p.text;
      }
      if (isFor) {
        expectName("in");
      } else {
        expectSymbol(":=");
      }
      c.expr = single();
      c.slot = bindVariable(name.text);
      if (!isFor) singleSlot_[static_cast<std::size_t>(c.slot)] = singleton(*c.expr);
      if (!positionName.empty()) c.position = bindVariable(positionName);
      e->clauses.push_back(std::move(c));
      // Each clause is a level of the evaluator's recursion.
      if (e->clauses.size() > kMaxNesting) throw SqlError(191, {});
    } while (acceptSymbol(","));
  }
  if (acceptName("where")) {
    Clause c;
    c.k = Clause::K::Where;
    c.expr = single();
    e->clauses.push_back(std::move(c));
  }
  if (isName("order") || (isName("stable") && peekSecond().text == "order")) {
    acceptName("stable");
    take();
    expectName("by");
    Clause c;
    c.k = Clause::K::OrderBy;
    do {
      Clause::Key key;
      key.expr = single();
      requireSingleton("order by", *key.expr);
      if (acceptName("descending"))
        key.descending = true;
      else
        acceptName("ascending");
      if (acceptName("empty")) {
        if (acceptName("greatest"))
          key.emptyGreatest = true;
        else
          expectName("least");
      }
      c.keys.push_back(std::move(key));
    } while (acceptSymbol(","));
    e->clauses.push_back(std::move(c));
  }
  expectName("return");
  e->args.push_back(single());
  scope_.resize(scoped);
  return e;
}

XExprPtr QueryReader::quantified() {
  auto e = make(XExpr::K::Quantified);
  e->text = take().text;
  const std::size_t scoped = scope_.size();
  do {
    Clause c;
    expectSymbol("$");
    const Token name = take();
    if (name.k != Token::K::Name) syntax(name);
    expectName("in");
    c.expr = single();
    c.slot = bindVariable(name.text);
    e->clauses.push_back(std::move(c));
    if (e->clauses.size() > kMaxNesting) throw SqlError(191, {});
  } while (acceptSymbol(","));
  expectName("satisfies");
  e->args.push_back(single());
  scope_.resize(scoped);
  return e;
}

XExprPtr QueryReader::conditional() {
  auto e = make(XExpr::K::If);
  take();
  expectSymbol("(");
  e->args.push_back(sequence());
  expectSymbol(")");
  expectName("then");
  e->args.push_back(single());
  expectName("else");
  e->args.push_back(single());
  return e;
}

}  // namespace tessel::sqld::engine::xquery
