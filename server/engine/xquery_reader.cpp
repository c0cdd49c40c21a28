// The XQuery reader: the query and modify() statements, and the
// expressions from the logical operators down to paths and their steps.
// Tokens, the prolog and FLWOR, and direct element constructors are read
// in the other xquery_reader_*.cpp files.

#include "xquery_reader.h"

#include "errors.h"

namespace tessel::sqld::engine::xquery {
namespace {

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
  XExprPtr left = instanceOf();
  Chain chain(nesting_);
  while (isSymbol("*") || isName("div") || isName("idiv") || isName("mod")) {
    chain.next();
    auto e = make(XExpr::K::Arithmetic);
    e->text = take().text;
    e->args.push_back(std::move(left));
    e->args.push_back(instanceOf());
    requireSingleton(e->text, *e->args[0]);
    requireSingleton(e->text, *e->args[1]);
    left = std::move(e);
  }
  const Token t = peek();
  if ((t.k == Token::K::Symbol && t.text == "|") ||
      (t.k == Token::K::Name && (t.text == "union" || t.text == "intersect" || t.text == "except" ||
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
