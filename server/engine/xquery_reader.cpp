// The XQuery reader: tokens, the prolog, and the expressions from FLWOR
// down to paths and their steps. Direct element constructors are read in
// xquery_reader_constructors.cpp.

#include "xquery_reader.h"

#include <cctype>

#include "errors.h"
#include "xml_text.h"

namespace tessel::sqld::engine::xquery {
namespace {

bool nameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool nameChar(unsigned char c) {
  return nameStart(c) || std::isdigit(c) || c == '-' || c == '.';
}

XExprPtr make(XExpr::K k) {
  auto e = std::make_unique<XExpr>();
  e->k = k;
  return e;
}

// The types `cast as` and the constructor functions take, by local name.
constexpr std::string_view kCastTypes[] = {
    "string",          "boolean",      "decimal",       "double",       "float",
    "integer",         "int",          "long",          "short",        "byte",
    "unsignedInt",     "unsignedLong", "unsignedShort", "unsignedByte", "nonNegativeInteger",
    "positiveInteger", "untypedAtomic"};

bool isCastType(std::string_view name) {
  for (std::string_view t : kCastTypes)
    if (t == name) return true;
  return false;
}

}  // namespace

QueryReader::Nesting::Nesting(int& d) : depth_(d) {
  if (++depth_ > kMaxNesting) {
    --depth_;
    throw SqlError(191, {});
  }
}

void QueryReader::Chain::next() {
  ++added_;
  if (++depth_ > kMaxNesting) throw SqlError(191, {});
}

void QueryReader::syntax(const Token& t) const {
  throw SqlError(2209, {prefix_, t.k == Token::K::End ? std::string_view("<EOF>") : t.text});
}
void QueryReader::unsupported(std::string_view what) const {
  throw SqlError(9335, {prefix_, what});
}
void QueryReader::throwTarget(const XExpr& target, std::string_view what) const {
  throw SqlError(2226, {prefix_, what, staticType(target)});
}
void QueryReader::notSingleton(std::string_view what, const XExpr&) const {
  throw SqlError(2389, {prefix_, what, "xdt:untypedAtomic *"});
}
void QueryReader::requireSingleton(std::string_view what, const XExpr& e) const {
  if (!singleton(e)) notSingleton(what, e);
}

XExprPtr QueryReader::readQuery() {
  prolog();
  XExprPtr e = sequence();
  if (peek().k != Token::K::End) syntax(peek());
  return e;
}

Update QueryReader::readUpdate() {
  prolog();
  Update u;
  const Token t = peek();
  if (isName("insert")) {
    take();
    if (isName("into") || isName("as") || isName("before") || isName("after")) syntax(peek());
    u.source = single();
    if (acceptName("as")) {
      if (acceptName("first"))
        u.k = Update::K::InsertFirst;
      else if (acceptName("last"))
        u.k = Update::K::InsertLast;
      else
        syntax(peek());
      expectName("into");
    } else if (acceptName("into")) {
      u.k = Update::K::InsertInto;
    } else if (acceptName("before")) {
      u.k = Update::K::InsertBefore;
    } else if (acceptName("after")) {
      u.k = Update::K::InsertAfter;
    } else {
      syntax(peek());
    }
    u.target = single();
    if (!singleton(*u.target)) throwTarget(*u.target, "insert");
  } else if (isName("delete")) {
    take();
    u.k = Update::K::Delete;
    u.target = single();
  } else if (isName("replace")) {
    take();
    expectName("value");
    expectName("of");
    u.k = Update::K::ReplaceValue;
    u.target = single();
    if (!singleton(*u.target)) throwTarget(*u.target, "replace value of");
    expectName("with");
    u.source = single();
    requireSingleton("replace value of", *u.source);
  } else if (t.k == Token::K::Name && (t.text == "rename" || t.text == "replace")) {
    unsupported(t.text);
  } else {
    syntax(t);
  }
  if (peek().k != Token::K::End) syntax(peek());
  return u;
}

bool QueryReader::singleton(const XExpr& e) const {
  switch (e.k) {
    case XExpr::K::Path: {
      for (const Step& s : e.steps) {
        bool one = s.primary ? singleton(*s.expr)
                             : s.axis == Axis::Self || s.axis == Axis::Parent ||
                                   (s.axis == Axis::Attribute && s.test == Test::Name);
        for (const XExprPtr& p : s.predicates)
          one = one || p->k == XExpr::K::Number || (p->k == XExpr::K::Call && p->text == "last");
        if (!one) return false;
      }
      return true;
    }
    case XExpr::K::Sequence:
      return e.args.size() <= 1 && (e.args.empty() || singleton(*e.args[0]));
    case XExpr::K::Call:
      if (e.text == "distinct-values") return false;
      return e.text != "data" || singleton(*e.args[0]);
    case XExpr::K::Variable:
      return singleSlot_[static_cast<std::size_t>(e.slot)];
    case XExpr::K::Flwor:
      return false;
    case XExpr::K::If:
      return singleton(*e.args[1]) && singleton(*e.args[2]);
    default:
      return true;
  }
}

std::string QueryReader::staticType(const XExpr& e) {
  if (e.k == XExpr::K::Path && !e.steps.empty() && !e.steps.back().primary) {
    const Step& s = e.steps.back();
    if (s.axis == Axis::Attribute)
      return "attribute(" + (s.test == Test::Name ? s.name : "*") + ",xdt:untypedAtomic) *";
    if (s.test == Test::Name) return "element(" + s.name + ",xdt:untyped) *";
    if (s.test == Test::Text) return "text *";
  }
  return "node() *";
}

// --- tokens

void QueryReader::skipSpace() {
  for (;;) {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    if (s_.substr(pos_, 2) != "(:") return;
    // (: comments :), which may nest.
    int depth = 0;
    while (pos_ < s_.size()) {
      if (s_.substr(pos_, 2) == "(:") {
        ++depth;
        pos_ += 2;
      } else if (s_.substr(pos_, 2) == ":)") {
        pos_ += 2;
        if (--depth == 0) break;
      } else {
        ++pos_;
      }
    }
    if (depth != 0) syntax(Token{});
  }
}

// A copy: the token read ahead changes as the reader looks further.
Token QueryReader::peek() {
  if (!cached_) {
    token_ = lex();
    cached_ = true;
  }
  return token_;
}

Token QueryReader::take() {
  Token t = peek();
  pos_ = t.end;
  cached_ = false;
  return t;
}

Token QueryReader::peekSecond() {
  const std::size_t save = pos_;
  take();
  Token second = peek();
  pos_ = save;
  cached_ = false;
  return second;
}

void QueryReader::seek(std::size_t pos) {
  pos_ = pos;
  cached_ = false;
}

Token QueryReader::lex() {
  skipSpace();
  Token t;
  t.at = pos_;
  if (pos_ >= s_.size()) {
    t.end = pos_;
    return t;
  }
  const auto c = static_cast<unsigned char>(s_[pos_]);
  std::size_t i = pos_;
  if (c == '"' || c == '\'') {
    t.k = Token::K::String;
    for (++i;; ++i) {
      if (i >= s_.size()) {
        Token bad;
        bad.text = std::string(s_.substr(pos_, 20));
        syntax(bad);
      }
      if (static_cast<unsigned char>(s_[i]) == c) {
        if (i + 1 < s_.size() && static_cast<unsigned char>(s_[i + 1]) == c) {
          t.text += s_[i];
          ++i;
          continue;
        }
        break;
      }
      if (s_[i] == '&') {
        const std::size_t semi = s_.find(';', i);
        const char32_t e =
            semi == std::string_view::npos ? 0 : xmlEntityChar(s_.substr(i + 1, semi - i - 1));
        if (e != 0) {
          t.text += static_cast<char>(e);
          i = semi;
          continue;
        }
      }
      t.text += s_[i];
    }
    t.end = i + 1;
    return t;
  }
  if (std::isdigit(c) || (c == '.' && pos_ + 1 < s_.size() &&
                          std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
    t.k = Token::K::Number;
    while (i < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i])) || s_[i] == '.')) ++i;
    if (i < s_.size() && (s_[i] == 'e' || s_[i] == 'E')) {
      ++i;
      if (i < s_.size() && (s_[i] == '+' || s_[i] == '-')) ++i;
      while (i < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i]))) ++i;
    }
    t.text = std::string(s_.substr(pos_, i - pos_));
    t.end = i;
    return t;
  }
  if (nameStart(c)) {
    t.k = Token::K::Name;
    while (i < s_.size()) {
      const auto d = static_cast<unsigned char>(s_[i]);
      if (nameChar(d)) {
        ++i;
      } else if (d == ':' && i + 1 < s_.size() &&
                 (nameStart(static_cast<unsigned char>(s_[i + 1])) || s_[i + 1] == '*') &&
                 s_.substr(i, 2) != "::") {
        // p:name, and p:* as one name test.
        i += s_[i + 1] == '*' ? 2 : 1;
        if (s_[i - 1] == '*') break;
      } else {
        break;
      }
    }
    t.text = std::string(s_.substr(pos_, i - pos_));
    t.end = i;
    return t;
  }
  t.k = Token::K::Symbol;
  static constexpr std::string_view kTwo[] = {"//", "!=", "<=", ">=", "..", "::", ":="};
  for (std::string_view two : kTwo) {
    if (s_.substr(pos_, 2) == two) {
      t.text = std::string(two);
      t.end = pos_ + 2;
      return t;
    }
  }
  t.text = std::string(1, static_cast<char>(c));
  t.end = pos_ + 1;
  return t;
}

bool QueryReader::isSymbol(std::string_view s) {
  return peek().k == Token::K::Symbol && peek().text == s;
}
bool QueryReader::isName(std::string_view s) {
  return peek().k == Token::K::Name && peek().text == s;
}
bool QueryReader::acceptSymbol(std::string_view s) {
  if (!isSymbol(s)) return false;
  take();
  return true;
}
bool QueryReader::acceptName(std::string_view s) {
  if (!isName(s)) return false;
  take();
  return true;
}
void QueryReader::expectSymbol(std::string_view s) {
  if (!acceptSymbol(s)) syntax(peek());
}
void QueryReader::expectName(std::string_view s) {
  if (!acceptName(s)) syntax(peek());
}

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

// --- expressions

XExprPtr QueryReader::sequence() {
  XExprPtr first = single();
  if (!isSymbol(",")) return first;
  auto seq = make(XExpr::K::Sequence);
  seq->args.push_back(std::move(first));
  while (acceptSymbol(",")) seq->args.push_back(single());
  return seq;
}

XExprPtr QueryReader::single() {
  // Parentheses, predicates, arguments and clauses nest through here.
  Nesting nesting(nesting_);
  const Token t = peek();
  if (t.k == Token::K::Name && peekSecond().text == "$") {
    if (t.text == "for" || t.text == "let") return flwor();
    if (t.text == "some" || t.text == "every") return quantified();
  }
  if (t.k == Token::K::Name && t.text == "if" && peekSecond().text == "(") return conditional();
  return logical(true);
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

XExprPtr QueryReader::logical(bool orLevel) {
  XExprPtr left = orLevel ? logical(false) : comparison();
  const std::string_view word = orLevel ? "or" : "and";
  Chain chain(nesting_);
  while (isName(word)) {
    take();
    chain.next();
    auto e = make(orLevel ? XExpr::K::Or : XExpr::K::And);
    e->args.push_back(std::move(left));
    e->args.push_back(orLevel ? logical(false) : comparison());
    left = std::move(e);
  }
  return left;
}

XExprPtr QueryReader::comparison() {
  XExprPtr left = additive();
  static constexpr std::string_view kSymbols[] = {"=", "!=", "<", "<=", ">", ">="};
  static constexpr std::string_view kWords[] = {"eq", "ne", "lt", "le", "gt", "ge"};
  std::string op;
  bool valueComparison = false;
  const Token t = peek();
  for (std::size_t i = 0; i < 6; ++i) {
    if (t.k == Token::K::Symbol && t.text == kSymbols[i]) op = kSymbols[i];
    if (t.k == Token::K::Name && t.text == kWords[i]) {
      op = kSymbols[i];
      valueComparison = true;
    }
  }
  if (op.empty()) {
    if (t.k == Token::K::Name && (t.text == "is" || t.text == "to")) unsupported(t.text);
    return left;
  }
  take();
  auto e = make(XExpr::K::Compare);
  e->text = op;
  e->args.push_back(std::move(left));
  e->args.push_back(additive());
  if (valueComparison) {
    requireSingleton(t.text, *e->args[0]);
    requireSingleton(t.text, *e->args[1]);
  }
  return e;
}

XExprPtr QueryReader::additive() {
  XExprPtr left = multiplicative();
  Chain chain(nesting_);
  while (isSymbol("+") || isSymbol("-")) {
    chain.next();
    auto e = make(XExpr::K::Arithmetic);
    e->text = take().text;
    e->args.push_back(std::move(left));
    e->args.push_back(multiplicative());
    requireSingleton(e->text, *e->args[0]);
    requireSingleton(e->text, *e->args[1]);
    left = std::move(e);
  }
  return left;
}

XExprPtr QueryReader::multiplicative() {
  XExprPtr left = unary();
  Chain chain(nesting_);
  while (isSymbol("*") || isName("div") || isName("idiv") || isName("mod")) {
    chain.next();
    auto e = make(XExpr::K::Arithmetic);
    e->text = take().text;
    e->args.push_back(std::move(left));
    e->args.push_back(unary());
    requireSingleton(e->text, *e->args[0]);
    requireSingleton(e->text, *e->args[1]);
    left = std::move(e);
  }
  const Token t = peek();
  if ((t.k == Token::K::Symbol && t.text == "|") ||
      (t.k == Token::K::Name &&
       (t.text == "union" || t.text == "intersect" || t.text == "except" || t.text == "instance" ||
        t.text == "treat" || t.text == "castable")))
    unsupported(t.text);
  return left;
}

XExprPtr QueryReader::unary() {
  if (isSymbol("-") || isSymbol("+")) {
    const bool minus = take().text == "-";
    Nesting nesting(nesting_);
    XExprPtr operand = unary();
    requireSingleton(minus ? "unary -" : "unary +", *operand);
    if (!minus) return operand;
    auto e = make(XExpr::K::Negate);
    e->args.push_back(std::move(operand));
    return e;
  }
  return castExpr();
}

XExprPtr QueryReader::castExpr() {
  XExprPtr e = path();
  if (!isName("cast")) return e;
  take();
  expectName("as");
  const Token type = take();
  if (type.k != Token::K::Name) syntax(type);
  auto cast = castCall(type.text, make(XExpr::K::Cast));
  cast->optional = acceptSymbol("?");
  cast->args.push_back(std::move(e));
  requireSingleton("cast as", *cast->args[0]);
  return cast;
}

bool QueryReader::startsStep() {
  const Token t = peek();
  if (t.k == Token::K::Name || t.k == Token::K::String || t.k == Token::K::Number) return true;
  return t.k == Token::K::Symbol &&
         (t.text == "." || t.text == ".." || t.text == "@" || t.text == "*" || t.text == "(" ||
          t.text == "$" || t.text == "<");
}

XExprPtr QueryReader::path() {
  auto e = make(XExpr::K::Path);
  if (acceptSymbol("/")) {
    e->absolute = true;
    if (!startsStep()) return e;
  } else if (acceptSymbol("//")) {
    e->absolute = true;
    e->steps.push_back(descendantStep());
  }
  e->steps.push_back(step());
  for (;;) {
    if (acceptSymbol("/")) {
      e->steps.push_back(step());
    } else if (acceptSymbol("//")) {
      e->steps.push_back(descendantStep());
      e->steps.push_back(step());
    } else {
      break;
    }
  }
  // A lone primary is the expression itself.
  if (!e->absolute && e->steps.size() == 1 && e->steps[0].primary && e->steps[0].predicates.empty())
    return std::move(e->steps[0].expr);
  return e;
}

Step QueryReader::descendantStep() {
  Step s;
  s.axis = Axis::DescendantOrSelf;
  s.test = Test::Node;
  return s;
}

Step QueryReader::step() {
  Step s;
  const Token t = peek();
  const Token second = t.k == Token::K::Name ? peekSecond() : Token{};
  if (t.k == Token::K::Symbol && t.text == ".") {
    take();
    s.axis = Axis::Self;
  } else if (t.k == Token::K::Symbol && t.text == "..") {
    take();
    s.axis = Axis::Parent;
  } else if (t.k == Token::K::Symbol && t.text == "@") {
    take();
    s.axis = Axis::Attribute;
    nodeTest(s);
  } else if (t.k == Token::K::Name && second.k == Token::K::Symbol && second.text == "::") {
    static constexpr std::pair<std::string_view, Axis> kAxes[] = {
        {"child", Axis::Child},
        {"attribute", Axis::Attribute},
        {"self", Axis::Self},
        {"parent", Axis::Parent},
        {"descendant", Axis::Descendant},
        {"descendant-or-self", Axis::DescendantOrSelf},
        {"ancestor", Axis::Ancestor},
        {"ancestor-or-self", Axis::AncestorOrSelf},
        {"following-sibling", Axis::FollowingSibling},
        {"preceding-sibling", Axis::PrecedingSibling}};
    bool known = false;
    for (const auto& [name, axis] : kAxes) {
      if (t.text == name) {
        s.axis = axis;
        known = true;
      }
    }
    if (!known) unsupported(t.text + "::");
    take();
    take();
    nodeTest(s);
  } else if (t.k == Token::K::Symbol && t.text == "*") {
    nodeTest(s);
  } else if (t.k == Token::K::Name &&
             (t.text == "attribute" || t.text == "text" || t.text == "element") &&
             (second.k == Token::K::Name || second.text == "{")) {
    s.primary = true;
    s.expr = computedConstructor(take());
  } else if (t.k == Token::K::Name &&
             !(second.k == Token::K::Symbol && (second.text == "(" || second.text == "{"))) {
    nodeTest(s);
  } else if (t.k == Token::K::Name && isKindTest(t.text) && second.text == "(") {
    nodeTest(s);
  } else {
    s.primary = true;
    s.expr = primary();
  }
  while (acceptSymbol("[")) {
    s.predicates.push_back(sequence());
    expectSymbol("]");
  }
  return s;
}

bool QueryReader::isKindTest(std::string_view name) {
  return name == "text" || name == "node" || name == "comment" || name == "processing-instruction";
}

void QueryReader::nodeTest(Step& s) {
  const Token t = take();
  if (t.k == Token::K::Symbol && t.text == "*") {
    s.test = Test::AnyName;
    s.anyPrefix = true;
    return;
  }
  if (t.k != Token::K::Name) syntax(t);
  if (isKindTest(t.text) && isSymbol("(")) {
    take();
    s.test = t.text == "text"      ? Test::Text
             : t.text == "node"    ? Test::Node
             : t.text == "comment" ? Test::Comment
                                   : Test::Instruction;
    if (s.test == Test::Instruction && peek().k != Token::K::Symbol) s.name = take().text;
    expectSymbol(")");
    return;
  }
  const bool element = s.axis != Axis::Attribute;
  if (t.text.ends_with(":*")) {
    s.test = Test::AnyName;
    s.uri = resolvePrefix(namePrefix(t.text), element);
    return;
  }
  s.test = Test::Name;
  s.name = std::string(localName(t.text));
  s.uri = resolvePrefix(namePrefix(t.text), element);
}

XExprPtr QueryReader::primary() {
  const Token t = peek();
  auto e = std::make_unique<XExpr>();
  if (t.k == Token::K::String) {
    take();
    e->k = XExpr::K::String;
    e->text = t.text;
    return e;
  }
  if (t.k == Token::K::Number) {
    take();
    e->k = XExpr::K::Number;
    if (!toNumber(t.text, e->number)) syntax(t);
    e->numeric = t.text.find_first_of("eE") != std::string::npos ? Numeric::Double
                 : t.text.find('.') != std::string::npos         ? Numeric::Decimal
                                                                 : Numeric::Integer;
    return e;
  }
  if (t.k == Token::K::Symbol && t.text == "(") {
    take();
    if (acceptSymbol(")")) {
      e->k = XExpr::K::Sequence;
      return e;
    }
    XExprPtr inner = sequence();
    expectSymbol(")");
    if (inner->k == XExpr::K::Path || inner->k == XExpr::K::Sequence ||
        inner->k == XExpr::K::Flwor) {
      // Parenthesized, a path is one primary: (/a/b)[1] takes the first
      // of all, not the first of each.
      e->k = XExpr::K::Sequence;
      e->args.push_back(std::move(inner));
      return e;
    }
    return inner;
  }
  if (t.k == Token::K::Symbol && t.text == "$") {
    e->k = XExpr::K::Variable;
    e->slot = variable();
    return e;
  }
  if (t.k == Token::K::Symbol && t.text == "<") return directConstructor();
  if (t.k != Token::K::Name) syntax(t);
  take();
  if (!isSymbol("(")) {
    if (isSymbol("{")) unsupported(t.text + " {");
    syntax(t);
  }
  take();
  return call(t.text, std::move(e));
}

// attribute name {...}, element name {...}, text {...}.
XExprPtr QueryReader::computedConstructor(const Token& t) {
  auto e = make(t.text == "text"        ? XExpr::K::Text
                : t.text == "attribute" ? XExpr::K::Attribute
                                        : XExpr::K::Element);
  if (e->k != XExpr::K::Text) {
    const Token n = take();
    if (n.k == Token::K::Symbol && n.text == "{") unsupported(t.text + " {");
    if (n.k != Token::K::Name) syntax(n);
    e->text = n.text;
  }
  expectSymbol("{");
  if (!isSymbol("}")) e->args.push_back(sequence());
  expectSymbol("}");
  return e;
}

XExprPtr QueryReader::castCall(std::string_view type, XExprPtr e) {
  if (!type.starts_with("xs:") || !isCastType(type.substr(3)))
    unsupported("cast as " + std::string(type));
  e->k = XExpr::K::Cast;
  e->text = std::string(type.substr(3));
  return e;
}

XExprPtr QueryReader::call(std::string name, XExprPtr e) {
  if (name.starts_with("fn:")) name = name.substr(3);
  if (name.starts_with("xs:")) {
    // A constructor function: xs:int(...) casts its argument, () for ().
    auto cast = castCall(name, std::move(e));
    cast->optional = true;
    cast->args.push_back(single());
    expectSymbol(")");
    requireSingleton(name + "()", *cast->args[0]);
    return cast;
  }
  e->k = XExpr::K::Call;
  e->text = name;
  if (!isSymbol(")")) {
    do e->args.push_back(single());
    while (acceptSymbol(","));
  }
  expectSymbol(")");
  struct Arity {
    std::string_view name;
    std::size_t min, max;
    bool single;  // its arguments must be one item each
  };
  static constexpr Arity kFunctions[] = {
      {"string", 0, 1, false},    {"data", 1, 1, false},          {"number", 0, 1, false},
      {"count", 1, 1, false},     {"not", 1, 1, false},           {"true", 0, 0, false},
      {"false", 0, 0, false},     {"contains", 2, 2, false},      {"starts-with", 2, 2, false},
      {"ends-with", 2, 2, false}, {"string-length", 0, 1, false}, {"local-name", 0, 1, false},
      {"name", 0, 1, false},      {"namespace-uri", 0, 1, false}, {"last", 0, 0, false},
      {"position", 0, 0, false},  {"concat", 2, 64, true},        {"sum", 1, 1, false},
      {"avg", 1, 1, false},       {"min", 1, 1, false},           {"max", 1, 1, false},
      {"empty", 1, 1, false},     {"exists", 1, 1, false},        {"distinct-values", 1, 1, false},
      {"substring", 2, 3, true},  {"upper-case", 1, 1, true},     {"lower-case", 1, 1, true},
      {"floor", 1, 1, true},      {"ceiling", 1, 1, true},        {"round", 1, 1, true},
      {"abs", 1, 1, true},        {"boolean", 1, 1, false},       {"sql:variable", 1, 1, false},
      {"sql:column", 1, 1, false}};
  for (const Arity& f : kFunctions) {
    if (f.name != e->text) continue;
    if (e->args.size() < f.min || e->args.size() > f.max) unsupported(e->text + "()");
    if (name == "sql:variable" || name == "sql:column") reference(*e);
    if (f.single)
      for (const XExprPtr& a : e->args) requireSingleton(e->text + "()", *a);
    return e;
  }
  unsupported(e->text + "()");
}

// sql:variable("@v") and sql:column("c") name their value in a literal.
void QueryReader::reference(XExpr& e) {
  const XExpr& arg = *e.args[0];
  const bool column = e.text == "sql:column";
  if (arg.k != XExpr::K::String || arg.text.empty() || (!column && arg.text[0] != '@'))
    unsupported(e.text + "()");
  for (std::size_t i = 0; i < refs_.size(); ++i) {
    if (refs_[i].column == column && refs_[i].name == arg.text) {
      e.reference = static_cast<int>(i);
      return;
    }
  }
  e.reference = static_cast<int>(refs_.size());
  refs_.push_back({column, arg.text});
}

}  // namespace tessel::sqld::engine::xquery
