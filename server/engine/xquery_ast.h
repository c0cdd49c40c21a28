#pragma once

// The parsed form of the xml methods' XQuery and the items it evaluates to:
// the reader (xquery_reader.*) builds these, the evaluator (xquery_eval.*)
// walks them over an XmlNode tree.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml_tree.h"

namespace tessel::sqld::engine::xquery {

using Kind = XmlNode::Kind;

enum class Axis : std::uint8_t {
  Child,
  Attribute,
  Self,
  Parent,
  Descendant,
  DescendantOrSelf,
  Ancestor,
  AncestorOrSelf,
  FollowingSibling,
  PrecedingSibling,
};
enum class Test : std::uint8_t { Name, AnyName, Text, Node, Comment, Instruction };

struct XExpr;
using XExprPtr = std::unique_ptr<XExpr>;

// One step of a path: an axis and node test, or (primary) any expression,
// either with its predicates.
struct Step {
  bool primary = false;
  Axis axis = Axis::Child;
  Test test = Test::Node;
  std::string name;        // Name: the local name
  std::string uri;         // Name: the namespace the name's prefix stands for
  bool anyPrefix = false;  // AnyName: *; otherwise p:* keeps to `uri`
  XExprPtr expr;
  std::vector<XExprPtr> predicates;
};

// A clause of a FLWOR expression (and the bindings of some/every).
struct Clause {
  enum class K : std::uint8_t { For, Let, Where, OrderBy };
  struct Key {
    XExprPtr expr;
    bool descending = false;
    bool emptyGreatest = false;
  };
  K k = K::For;
  int slot = -1;      // the variable bound
  int position = -1;  // for ... at $i: its variable
  XExprPtr expr;
  std::vector<Key> keys;
};

enum class Numeric : std::uint8_t { Integer, Decimal, Double };

struct XExpr {
  enum class K : std::uint8_t {
    Path,
    String,
    Number,
    Compare,
    And,
    Or,
    Call,
    Sequence,
    Arithmetic,  // text: + - * div idiv mod
    Negate,
    Cast,        // text: the type's local name; optional: `?` allowed empty
    Variable,    // slot
    Flwor,       // clauses, args[0]: return
    Quantified,  // text: some or every; clauses (For), args[0]: satisfies
    If,          // args: condition, then, else
    Element,     // a constructor: text its name, attributes, args its content
    Attribute,   // attribute name {expr}, or name="..{expr}.." in an element
    Text,        // text {expr}
    Comment,     // <!--...--> in a constructor
    InstanceOf,  // args[0] instance of text (xs:T, xdt:T, or a kind test such as
                 // element(); steps[0] its name test); optional: `?`
  };
  K k = K::Path;
  bool absolute = false;  // Path: starts at the document node
  bool optional = false;  // Cast: `cast as T?`; InstanceOf: `instance of T?`
  std::vector<Step> steps;
  std::string text;  // String: its value; Compare: the operator; Call: the name
  double number = 0;
  Numeric numeric = Numeric::Integer;  // Number: the literal's type
  std::vector<XExprPtr> args;
  std::vector<XExprPtr> attributes;  // Element: its attribute constructors
  std::vector<Clause> clauses;
  int reference = -1;  // sql:variable and sql:column: the index of the reference
  int slot = -1;       // Variable
};

// A modify() statement.
struct Update {
  enum class K : std::uint8_t {
    InsertInto,
    InsertFirst,
    InsertLast,
    InsertBefore,
    InsertAfter,
    Delete,
    ReplaceValue
  };
  K k = K::Delete;
  XExprPtr source;  // insert: what; replace value of: the new value
  XExprPtr target;
};

struct Item {
  enum class T : std::uint8_t { Node, String, Number, Boolean };
  T t = T::Node;
  Numeric numeric = Numeric::Double;  // Number
  XmlNode* node = nullptr;
  std::string s;
  double d = 0;
  bool b = false;
  bool untyped = false;      // String: xdt:untypedAtomic (a node's value), not xs:string
  std::string_view derived;  // Number: the integer type or float a cast gave, if any
};
using Seq = std::vector<Item>;

Item nodeItem(XmlNode* n);
Item stringItem(std::string s);
Item numberItem(double d, Numeric numeric = Numeric::Double);
Item boolItem(bool b);

// A number as text: integers plainly, xs:double in exponent form outside
// 1e-6 .. 1e6, as casting to xs:string writes it.
std::string numberText(double d, Numeric numeric = Numeric::Double);
// The string value of an item.
std::string atomize(const Item& i);
// Text read as xs:double: white space around it allowed.
bool toNumber(std::string_view s, double& d);
// An item as a number, NaN when it is none.
double itemNumber(const Item& i);
bool effectiveBoolean(const Seq& s);
// The sequence type of a node, for messages.
std::string nodeType(const XmlNode* n);

// Namespaces. The local part and prefix of a name as written.
std::string_view localName(std::string_view name);
std::string_view namePrefix(std::string_view name);
// The namespace a prefix ("" for the default) stands for at a node, from
// the declarations on it and its ancestors.
std::string namespaceAt(const XmlNode& n, std::string_view prefix);
// The namespace of an element or attribute node's name.
std::string namespaceOf(const XmlNode& n);
bool isNamespaceDeclaration(const XmlNode& attribute);
// The namespace declarations an element taken out of its document needs:
// those of its ancestors that its names, or the names within it, use and
// that it does not make itself.
std::vector<std::unique_ptr<XmlNode>> inheritedDeclarations(const XmlNode& element);

}  // namespace tessel::sqld::engine::xquery
