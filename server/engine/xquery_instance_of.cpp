// `instance of`: reading the sequence type (an atomic type or a kind test,
// with at most the `?` occurrence indicator) and testing an operand's items
// against it.

#include <array>

#include "errors.h"
#include "xquery_eval.h"
#include "xquery_reader.h"

namespace tessel::sqld::engine::xquery {
namespace {

constexpr std::string_view kSchemaNamespace = "http://www.w3.org/2001/XMLSchema";
constexpr std::string_view kDatatypesNamespace = "http://www.w3.org/2004/07/xpath-datatypes";

// The atomic types a sequence type may name. Values of the date, time and
// binary types never arise here, so testing for them is simply false.
constexpr std::string_view kSchemaTypes[] = {"anyAtomicType",
                                             "string",
                                             "boolean",
                                             "decimal",
                                             "double",
                                             "float",
                                             "integer",
                                             "long",
                                             "int",
                                             "short",
                                             "byte",
                                             "unsignedLong",
                                             "unsignedInt",
                                             "unsignedShort",
                                             "unsignedByte",
                                             "nonNegativeInteger",
                                             "positiveInteger",
                                             "date",
                                             "dateTime",
                                             "time",
                                             "duration",
                                             "anyURI",
                                             "QName",
                                             "base64Binary",
                                             "hexBinary"};

constexpr std::string_view kKindTests[] = {
    "item",         "node", "element", "attribute", "text", "comment", "processing-instruction",
    "document-node"};

// The integer types and the type each is derived from.
constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kIntegerParents = {{
    {"long", "integer"},
    {"int", "long"},
    {"short", "int"},
    {"byte", "short"},
    {"nonNegativeInteger", "integer"},
    {"positiveInteger", "nonNegativeInteger"},
    {"unsignedLong", "nonNegativeInteger"},
    {"unsignedInt", "unsignedLong"},
    {"unsignedShort", "unsignedInt"},
    {"unsignedByte", "unsignedShort"},
}};

bool derivesFrom(std::string_view type, std::string_view base) {
  for (;;) {
    if (type == base) return true;
    std::string_view parent;
    for (const auto& [name, of] : kIntegerParents)
      if (name == type) parent = of;
    if (parent.empty()) return false;
    type = parent;
  }
}

template <std::size_t N>
bool listed(const std::string_view (&list)[N], std::string_view name) {
  for (std::string_view n : list)
    if (n == name) return true;
  return false;
}

// Whether an item is a value of the atomic type `type` (xs:local or xdt:local).
bool atomicMatches(const Item& i, std::string_view type) {
  if (i.t == Item::T::Node) return false;
  if (type == "xs:anyAtomicType" || type == "xdt:anyAtomicType") return true;
  switch (i.t) {
    case Item::T::String:
      return type == (i.untyped ? "xdt:untypedAtomic" : "xs:string");
    case Item::T::Boolean:
      return type == "xs:boolean";
    case Item::T::Number:
      if (i.numeric == Numeric::Double)
        return type == (i.derived == "float" ? "xs:float" : "xs:double");
      if (type == "xs:decimal") return true;
      if (i.numeric == Numeric::Decimal || !type.starts_with("xs:")) return false;
      return derivesFrom(i.derived.empty() ? "integer" : i.derived, type.substr(3));
    case Item::T::Node:
      break;
  }
  return false;
}

}  // namespace

XExprPtr QueryReader::instanceOf() {
  XExprPtr operand = unary();
  if (!isName("instance")) return operand;
  take();
  expectName("of");
  auto e = make(XExpr::K::InstanceOf);
  e->args.push_back(std::move(operand));
  sequenceType(*e);
  return e;
}

void QueryReader::sequenceType(XExpr& e) {
  const Token t = take();
  if (t.k != Token::K::Name) syntax(t);
  if (acceptSymbol("(")) {
    if (!listed(kKindTests, t.text)) unsupported(t.text + "()");
    e.text = t.text + "()";
    if ((t.text == "element" || t.text == "attribute") && !isSymbol(")")) {
      Step s;
      s.axis = t.text == "attribute" ? Axis::Attribute : Axis::Child;
      nodeTest(s);
      // A type annotation names a schema type: untyped xml has none to test.
      if (isSymbol(",")) unsupported(t.text + "(name, type)");
      e.steps.push_back(std::move(s));
    } else if (!isSymbol(")")) {
      unsupported(t.text + "(...)");
    }
    expectSymbol(")");
  } else {
    const std::string_view local = localName(t.text);
    const std::string uri = resolvePrefix(namePrefix(t.text), false);
    if (uri == kSchemaNamespace && listed(kSchemaTypes, local)) {
      e.text = "xs:" + std::string(local);
    } else if (uri == kDatatypesNamespace &&
               (local == "untypedAtomic" || local == "anyAtomicType")) {
      e.text = "xdt:" + std::string(local);
    } else {
      unsupported("instance of " + t.text);
    }
  }
  if (acceptSymbol("?")) {
    e.optional = true;
  } else if (isSymbol("*") || isSymbol("+")) {
    unsupported("instance of " + t.text + peek().text);
  }
}

bool Evaluator::kindMatches(const Item& i, const XExpr& e) {
  if (e.text == "item()") return true;
  if (i.t != Item::T::Node) return false;
  const XmlNode& n = *i.node;
  if (e.text == "node()") return true;
  if (e.text == "element()")
    return n.kind == Kind::Element && (e.steps.empty() || matches(n, e.steps[0], Kind::Element));
  if (e.text == "attribute()")
    return n.kind == Kind::Attribute &&
           (e.steps.empty() || matches(n, e.steps[0], Kind::Attribute));
  if (e.text == "text()") return n.kind == Kind::Text;
  if (e.text == "comment()") return n.kind == Kind::Comment;
  if (e.text == "processing-instruction()") return n.kind == Kind::Instruction;
  return n.kind == Kind::Document;  // document-node()
}

// Without `?`, exactly one item of the type; with it, at most one.
Seq Evaluator::instanceOf(const XExpr& e, const Focus& f) {
  const Seq s = eval(*e.args[0], f);
  if (s.size() != 1) return {boolItem(s.empty() && e.optional)};
  const bool kindTest = e.text.ends_with("()");
  return {boolItem(kindTest ? kindMatches(s[0], e) : atomicMatches(s[0], e.text))};
}

}  // namespace tessel::sqld::engine::xquery
