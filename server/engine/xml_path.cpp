#include "xml_path.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include "errors.h"
#include "xml_text.h"
#include "xml_tree.h"

namespace tessel::sqld::engine {
namespace {

using Kind = XmlNode::Kind;
using Method = XmlQuery::Method;

enum class Axis : std::uint8_t { Child, Attribute, Self, Parent, Descendant, DescendantOrSelf };
enum class Test : std::uint8_t { Name, AnyName, Text, Node, Comment, Instruction };

struct XExpr;
using XExprPtr = std::unique_ptr<XExpr>;

// One step of a path: an axis and node test, or (primary) any expression,
// either with its predicates.
struct Step {
  bool primary = false;
  Axis axis = Axis::Child;
  Test test = Test::Node;
  std::string name;
  XExprPtr expr;
  std::vector<XExprPtr> predicates;
};

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
    Element,    // a direct constructor: `fragment` holds what it makes
    Attribute,  // attribute name {expr}
    Text,       // text {expr}
  };
  K k = K::Path;
  bool absolute = false;  // Path: starts at the document node
  std::vector<Step> steps;
  std::string text;  // String: its value; Compare: the operator; Call: the name
  double number = 0;
  std::vector<XExprPtr> args;
  int reference = -1;  // sql:variable and sql:column: the index of the reference
  std::shared_ptr<XmlNode> fragment;
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
  XmlNode* node = nullptr;
  std::string s;
  double d = 0;
  bool b = false;
};
using Seq = std::vector<Item>;

Item nodeItem(XmlNode* n) {
  Item i;
  i.node = n;
  return i;
}
Item stringItem(std::string s) {
  Item i;
  i.t = Item::T::String;
  i.s = std::move(s);
  return i;
}
Item numberItem(double d) {
  Item i;
  i.t = Item::T::Number;
  i.d = d;
  return i;
}
Item boolItem(bool b) {
  Item i;
  i.t = Item::T::Boolean;
  i.b = b;
  return i;
}

std::string numberText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "INF" : "-INF";
  char buf[40];
  if (d == std::floor(d) && std::fabs(d) < 1e15)
    std::snprintf(buf, sizeof buf, "%.0f", d);
  else
    std::snprintf(buf, sizeof buf, "%.15g", d);
  return buf;
}

std::string atomize(const Item& i) {
  switch (i.t) {
    case Item::T::Node:
      return i.node->text();
    case Item::T::String:
      return i.s;
    case Item::T::Number:
      return numberText(i.d);
    case Item::T::Boolean:
      return i.b ? "true" : "false";
  }
  return {};
}

// Untyped text read as xs:double: white space around it allowed.
bool toNumber(const std::string& s, double& d) {
  std::size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return false;
  std::size_t b = s.find_last_not_of(" \t\r\n");
  const std::string t = s.substr(a, b - a + 1);
  if (t == "INF" || t == "-INF" || t == "NaN") {
    d = t == "NaN" ? NAN : t == "INF" ? INFINITY : -INFINITY;
    return true;
  }
  for (char c : t)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return false;
  char* end = nullptr;
  d = std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size();
}

double itemNumber(const Item& i) {
  if (i.t == Item::T::Number) return i.d;
  if (i.t == Item::T::Boolean) return i.b ? 1 : 0;
  double d = NAN;
  return toNumber(atomize(i), d) ? d : NAN;
}

bool effectiveBoolean(const Seq& s) {
  if (s.empty()) return false;
  const Item& i = s[0];
  switch (i.t) {
    case Item::T::Node:
      return true;
    case Item::T::Boolean:
      return i.b;
    case Item::T::String:
      return !i.s.empty();
    case Item::T::Number:
      return i.d != 0 && !std::isnan(i.d);
  }
  return false;
}

std::string nodeType(const XmlNode* n) {
  switch (n->kind) {
    case Kind::Document:
      return "document-node()";
    case Kind::Element:
      return "element(" + n->name + ",xdt:untyped)";
    case Kind::Attribute:
      return "attribute(" + n->name + ",xdt:untypedAtomic)";
    case Kind::Text:
      return "text()";
    case Kind::Comment:
      return "comment()";
    case Kind::Instruction:
      return "processing-instruction()";
  }
  return "node()";
}

// ---------------------------------------------------------------------------
// Reading the query.

struct Token {
  enum class K : std::uint8_t { Name, String, Number, Symbol, End };
  K k = K::End;
  std::string text;
  std::size_t at = 0;
  std::size_t end = 0;
};

bool nameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool nameChar(unsigned char c) {
  return nameStart(c) || std::isdigit(c) || c == '-' || c == '.';
}

class QueryReader {
 public:
  QueryReader(std::string_view text, std::string prefix, std::vector<XmlQuery::Reference>& refs)
      : s_(text), refs_(refs), prefix_(std::move(prefix)) {}

  XExprPtr readQuery() {
    prolog();
    XExprPtr e = sequence();
    if (peek().k != Token::K::End) syntax(peek());
    return e;
  }

  Update readUpdate() {
    prolog();
    Update u;
    const Token t = peek();
    if (isName("insert")) {
      take();
      if (isName("into") || isName("as") || isName("before") || isName("after")) syntax(peek());
      allowConstructors_ = true;
      u.source = single();
      allowConstructors_ = false;
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
    } else if (t.k == Token::K::Name && (t.text == "rename" || t.text == "replace")) {
      unsupported(t.text);
    } else {
      syntax(t);
    }
    if (peek().k != Token::K::End) syntax(peek());
    return u;
  }

  // Whether an expression gives at most one item, as far as can be told
  // without the document: a step keeps to one item per context item when it
  // is the self or parent axis, a named attribute, or takes a position.
  static bool singleton(const XExpr& e) {
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
        return e.text != "data" || singleton(*e.args[0]);
      default:
        return true;
    }
  }

  // The static type of what an expression gives, for messages.
  static std::string staticType(const XExpr& e) {
    if (e.k == XExpr::K::Path && !e.steps.empty() && !e.steps.back().primary) {
      const Step& s = e.steps.back();
      if (s.axis == Axis::Attribute)
        return "attribute(" + (s.test == Test::Name ? s.name : "*") + ",xdt:untypedAtomic) *";
      if (s.test == Test::Name) return "element(" + s.name + ",xdt:untyped) *";
      if (s.test == Test::Text) return "text *";
    }
    return "node() *";
  }

 private:
  [[noreturn]] void syntax(const Token& t) const {
    throw SqlError(2209, {prefix_, t.k == Token::K::End ? std::string_view("<EOF>") : t.text});
  }
  [[noreturn]] void unsupported(std::string_view what) const {
    throw SqlError(9335, {prefix_, what});
  }
  [[noreturn]] void throwTarget(const XExpr& target, std::string_view what) const {
    throw SqlError(2226, {prefix_, what, staticType(target)});
  }

  // --- tokens
  void skipSpace() {
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
  Token peek() {
    if (!cached_) {
      token_ = lex();
      cached_ = true;
    }
    return token_;
  }
  Token take() {
    Token t = peek();
    pos_ = t.end;
    cached_ = false;
    return t;
  }
  // The token after the next one.
  Token peekSecond() {
    const std::size_t save = pos_;
    take();
    Token second = peek();
    pos_ = save;
    cached_ = false;
    return second;
  }

  Token lex() {
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
      while (i < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i])) || s_[i] == '.'))
        ++i;
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
                   nameStart(static_cast<unsigned char>(s_[i + 1]))) {
          i += 2;
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

  bool isSymbol(std::string_view s) { return peek().k == Token::K::Symbol && peek().text == s; }
  bool isName(std::string_view s) { return peek().k == Token::K::Name && peek().text == s; }
  bool acceptSymbol(std::string_view s) {
    if (!isSymbol(s)) return false;
    take();
    return true;
  }
  bool acceptName(std::string_view s) {
    if (!isName(s)) return false;
    take();
    return true;
  }
  void expectSymbol(std::string_view s) {
    if (!acceptSymbol(s)) syntax(peek());
  }
  void expectName(std::string_view s) {
    if (!acceptName(s)) syntax(peek());
  }

  // --- grammar
  void prolog() {
    if ((isName("declare") || isName("xquery")) && peekSecond().k == Token::K::Name)
      unsupported(isName("declare") ? "declare " + peekSecond().text : "xquery version");
  }

  XExprPtr sequence() {
    XExprPtr first = single();
    if (!isSymbol(",")) return first;
    auto seq = std::make_unique<XExpr>();
    seq->k = XExpr::K::Sequence;
    seq->args.push_back(std::move(first));
    while (acceptSymbol(",")) seq->args.push_back(single());
    return seq;
  }

  XExprPtr single() {
    // Parentheses, predicates and arguments nest through here: a bound
    // keeps the reader's recursion within its stack.
    struct Nesting {
      explicit Nesting(int& d) : depth(d) {
        if (++depth > kMaxNesting) throw SqlError(191, {});
      }
      ~Nesting() { --depth; }
      Nesting(const Nesting&) = delete;
      Nesting& operator=(const Nesting&) = delete;
      int& depth;
    } nesting(nesting_);
    const Token t = peek();
    if (t.k == Token::K::Name &&
        (t.text == "for" || t.text == "let" || t.text == "some" || t.text == "every") &&
        peekSecond().k == Token::K::Symbol && peekSecond().text == "$")
      unsupported(t.text);
    if (t.k == Token::K::Name && t.text == "if" && peekSecond().text == "(") unsupported("if");
    return logical(true);
  }

  XExprPtr logical(bool orLevel) {
    XExprPtr left = orLevel ? logical(false) : comparison();
    const std::string_view word = orLevel ? "or" : "and";
    while (isName(word)) {
      take();
      auto e = std::make_unique<XExpr>();
      e->k = orLevel ? XExpr::K::Or : XExpr::K::And;
      e->args.push_back(std::move(left));
      e->args.push_back(orLevel ? logical(false) : comparison());
      left = std::move(e);
    }
    return left;
  }

  XExprPtr comparison() {
    XExprPtr left = operand();
    static constexpr std::string_view kSymbols[] = {"=", "!=", "<", "<=", ">", ">="};
    static constexpr std::string_view kWords[] = {"eq", "ne", "lt", "le", "gt", "ge"};
    std::string op;
    const Token t = peek();
    for (std::size_t i = 0; i < 6; ++i) {
      if (t.k == Token::K::Symbol && t.text == kSymbols[i]) op = kSymbols[i];
      if (t.k == Token::K::Name && t.text == kWords[i]) op = kSymbols[i];
    }
    if (op.empty()) return left;
    take();
    auto e = std::make_unique<XExpr>();
    e->k = XExpr::K::Compare;
    e->text = op;
    e->args.push_back(std::move(left));
    e->args.push_back(operand());
    return e;
  }

  // A path, with what may not follow one told apart from a syntax error.
  XExprPtr operand() {
    if (isSymbol("-") || isSymbol("+")) unsupported("unary " + peek().text);
    XExprPtr e = path();
    const Token t = peek();
    if ((t.k == Token::K::Symbol &&
         (t.text == "+" || t.text == "-" || t.text == "*" || t.text == "|")) ||
        (t.k == Token::K::Name &&
         (t.text == "div" || t.text == "idiv" || t.text == "mod" || t.text == "union" ||
          t.text == "intersect" || t.text == "except" || t.text == "to" || t.text == "is" ||
          t.text == "instance" || t.text == "cast" || t.text == "treat" || t.text == "castable")))
      unsupported(t.text);
    return e;
  }

  bool startsStep() {
    const Token t = peek();
    if (t.k == Token::K::Name || t.k == Token::K::String || t.k == Token::K::Number) return true;
    return t.k == Token::K::Symbol &&
           (t.text == "." || t.text == ".." || t.text == "@" || t.text == "*" || t.text == "(" ||
            t.text == "$" || (t.text == "<" && allowConstructors_));
  }

  XExprPtr path() {
    auto e = std::make_unique<XExpr>();
    e->k = XExpr::K::Path;
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
    if (!e->absolute && e->steps.size() == 1 && e->steps[0].primary &&
        e->steps[0].predicates.empty())
      return std::move(e->steps[0].expr);
    return e;
  }

  static Step descendantStep() {
    Step s;
    s.axis = Axis::DescendantOrSelf;
    s.test = Test::Node;
    return s;
  }

  Step step() {
    Step s;
    const Token t = peek();
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
    } else if (t.k == Token::K::Name && peekSecond().k == Token::K::Symbol &&
               peekSecond().text == "::") {
      static constexpr std::pair<std::string_view, Axis> kAxes[] = {
          {"child", Axis::Child},
          {"attribute", Axis::Attribute},
          {"self", Axis::Self},
          {"parent", Axis::Parent},
          {"descendant", Axis::Descendant},
          {"descendant-or-self", Axis::DescendantOrSelf}};
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
    } else if (allowConstructors_ && t.k == Token::K::Name &&
               (t.text == "attribute" || t.text == "text" || t.text == "element") &&
               (peekSecond().k == Token::K::Name || peekSecond().text == "{")) {
      // A computed constructor: attribute name {...}, text {...}.
      s.primary = true;
      s.expr = primary();
    } else if (t.k == Token::K::Name && !(peekSecond().k == Token::K::Symbol &&
                                          (peekSecond().text == "(" || peekSecond().text == "{"))) {
      nodeTest(s);
    } else if (t.k == Token::K::Name && isKindTest(t.text) && peekSecond().text == "(") {
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

  static bool isKindTest(std::string_view name) {
    return name == "text" || name == "node" || name == "comment" ||
           name == "processing-instruction";
  }

  void nodeTest(Step& s) {
    const Token t = take();
    if (t.k == Token::K::Symbol && t.text == "*") {
      s.test = Test::AnyName;
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
    if (t.text.find(':') != std::string::npos) unsupported(t.text);
    s.test = Test::Name;
    s.name = t.text;
  }

  XExprPtr primary() {
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
      if (inner->k == XExpr::K::Path || inner->k == XExpr::K::Sequence) {
        // Parenthesized, a path is one primary: (/a/b)[1] takes the first
        // of all, not the first of each.
        e->k = XExpr::K::Sequence;
        e->args.push_back(std::move(inner));
        return e;
      }
      return inner;
    }
    if (t.k == Token::K::Symbol && t.text == "$") {
      take();
      unsupported("$" + (peek().k == Token::K::Name ? peek().text : std::string()));
    }
    if (t.k == Token::K::Symbol && t.text == "<" && allowConstructors_) return constructor();
    if (t.k != Token::K::Name) syntax(t);
    if (allowConstructors_ && (t.text == "attribute" || t.text == "text")) {
      take();
      e->k = t.text == "text" ? XExpr::K::Text : XExpr::K::Attribute;
      if (e->k == XExpr::K::Attribute) {
        const Token n = take();
        if (n.k != Token::K::Name) syntax(n);
        e->text = n.text;
      }
      expectSymbol("{");
      e->args.push_back(sequence());
      expectSymbol("}");
      return e;
    }
    take();
    if (!isSymbol("(")) {
      if (isSymbol("{")) unsupported(t.text + " {");
      syntax(t);
    }
    take();
    return call(t.text, std::move(e));
  }

  XExprPtr call(std::string name, XExprPtr e) {
    if (name.starts_with("fn:")) name = name.substr(3);
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
    };
    static constexpr Arity kFunctions[] = {
        {"string", 0, 1},       {"data", 1, 1},      {"number", 0, 1},        {"count", 1, 1},
        {"not", 1, 1},          {"true", 0, 0},      {"false", 0, 0},         {"contains", 2, 2},
        {"starts-with", 2, 2},  {"ends-with", 2, 2}, {"string-length", 0, 1}, {"local-name", 0, 1},
        {"name", 0, 1},         {"last", 0, 0},      {"position", 0, 0},      {"concat", 2, 64},
        {"sql:variable", 1, 1}, {"sql:column", 1, 1}};
    for (const Arity& f : kFunctions) {
      if (f.name != e->text) continue;
      if (e->args.size() < f.min || e->args.size() > f.max) unsupported(e->text + "()");
      if (name == "sql:variable" || name == "sql:column") reference(*e);
      return e;
    }
    unsupported(e->text + "()");
  }

  // sql:variable("@v") and sql:column("c") name their value in a literal.
  void reference(XExpr& e) {
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

  // A direct element constructor, read as XML up to the end of its element.
  XExprPtr constructor() {
    const std::size_t start = peek().at;
    std::size_t i = start;
    int depth = 0;
    auto fail = [&] {
      Token t;
      t.text = std::string(s_.substr(start, 20));
      syntax(t);
    };
    do {
      if (i >= s_.size() || s_[i] != '<') {
        // Text inside the element; enclosed expressions are not read.
        if (i >= s_.size()) fail();
        if (s_[i] == '{') unsupported("{");
        ++i;
        continue;
      }
      if (s_.substr(i, 4) == "<!--") {
        const std::size_t end = s_.find("-->", i);
        if (end == std::string_view::npos) fail();
        i = end + 3;
      } else if (s_.substr(i, 2) == "<?") {
        const std::size_t end = s_.find("?>", i);
        if (end == std::string_view::npos) fail();
        i = end + 2;
      } else if (s_.substr(i, 9) == "<![CDATA[") {
        const std::size_t end = s_.find("]]>", i);
        if (end == std::string_view::npos) fail();
        i = end + 3;
      } else {
        const bool closing = s_.substr(i, 2) == "</";
        char quote = 0;
        for (++i; i < s_.size(); ++i) {
          const char c = s_[i];
          if (quote) {
            if (c == quote) quote = 0;
            if (c == '{') unsupported("{");
          } else if (c == '"' || c == '\'') {
            quote = c;
          } else if (c == '{') {
            unsupported("{");
          } else if (c == '>') {
            break;
          }
        }
        if (i >= s_.size()) fail();
        const bool empty = s_[i - 1] == '/';
        ++i;
        depth += closing ? -1 : empty ? 0 : 1;
      }
    } while (depth > 0);
    auto e = std::make_unique<XExpr>();
    e->k = XExpr::K::Element;
    e->fragment = readXmlTree(xmlFromText(s_.substr(start, i - start)));
    pos_ = i;
    cached_ = false;
    return e;
  }

  static constexpr int kMaxNesting = 128;
  std::string_view s_;
  std::vector<XmlQuery::Reference>& refs_;
  int nesting_ = 0;
  std::string prefix_;
  std::size_t pos_ = 0;
  Token token_;
  bool cached_ = false;
  bool allowConstructors_ = false;
};

// ---------------------------------------------------------------------------
// Evaluation.

class Evaluator {
 public:
  Evaluator(XmlNode& root, const std::vector<XmlQuery::Outside>& outside, std::string prefix)
      : root_(root), outside_(outside), prefix_(std::move(prefix)) {}

  struct Focus {
    const Item* item;
    std::size_t position;
    std::size_t size;
  };

  Seq eval(const XExpr& e, const Focus& f) {
    switch (e.k) {
      case XExpr::K::Path:
        return path(e, f);
      case XExpr::K::String:
        return {stringItem(e.text)};
      case XExpr::K::Number:
        return {numberItem(e.number)};
      case XExpr::K::Compare:
        return {boolItem(compare(e.text, eval(*e.args[0], f), eval(*e.args[1], f)))};
      case XExpr::K::And:
        return {boolItem(effectiveBoolean(eval(*e.args[0], f)) &&
                         effectiveBoolean(eval(*e.args[1], f)))};
      case XExpr::K::Or:
        return {boolItem(effectiveBoolean(eval(*e.args[0], f)) ||
                         effectiveBoolean(eval(*e.args[1], f)))};
      case XExpr::K::Call:
        return call(e, f);
      case XExpr::K::Sequence: {
        Seq out;
        for (const XExprPtr& a : e.args) {
          Seq part = eval(*a, f);
          out.insert(out.end(), std::make_move_iterator(part.begin()),
                     std::make_move_iterator(part.end()));
        }
        return out;
      }
      case XExpr::K::Element: {
        Seq out;
        for (const auto& c : e.fragment->children) out.push_back(nodeItem(c.get()));
        return out;
      }
      case XExpr::K::Attribute:
      case XExpr::K::Text: {
        auto n = std::make_unique<XmlNode>();
        n->kind = e.k == XExpr::K::Text ? Kind::Text : Kind::Attribute;
        n->name = e.text;
        n->value = joined(eval(*e.args[0], f));
        made_.push_back(std::move(n));
        return {nodeItem(made_.back().get())};
      }
    }
    return {};
  }

  // The atomized items, separated by single spaces.
  static std::string joined(const Seq& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) out += (i ? " " : "") + atomize(s[i]);
    return out;
  }

  const std::string& prefix() const { return prefix_; }

 private:
  static bool matches(const XmlNode& n, const Step& s, Kind principal) {
    switch (s.test) {
      case Test::Name:
        return n.kind == principal && n.name == s.name;
      case Test::AnyName:
        return n.kind == principal;
      case Test::Text:
        return n.kind == Kind::Text;
      case Test::Node:
        return true;
      case Test::Comment:
        return n.kind == Kind::Comment;
      case Test::Instruction:
        return n.kind == Kind::Instruction && (s.name.empty() || s.name == n.name);
    }
    return false;
  }

  static void descendants(XmlNode* n, const Step& s, Seq& out) {
    for (auto& c : n->children) {
      if (matches(*c, s, Kind::Element)) out.push_back(nodeItem(c.get()));
      descendants(c.get(), s, out);
    }
  }

  static Seq axis(XmlNode* n, const Step& s) {
    Seq out;
    switch (s.axis) {
      case Axis::Child:
        for (auto& c : n->children)
          if (matches(*c, s, Kind::Element)) out.push_back(nodeItem(c.get()));
        break;
      case Axis::Attribute:
        for (auto& a : n->attributes)
          if (matches(*a, s, Kind::Attribute)) out.push_back(nodeItem(a.get()));
        break;
      case Axis::Self:
        if (matches(*n, s, n->kind == Kind::Attribute ? Kind::Attribute : Kind::Element))
          out.push_back(nodeItem(n));
        break;
      case Axis::Parent:
        if (n->parent && matches(*n->parent, s, Kind::Element)) out.push_back(nodeItem(n->parent));
        break;
      case Axis::DescendantOrSelf:
        if (matches(*n, s, Kind::Element)) out.push_back(nodeItem(n));
        descendants(n, s, out);
        break;
      case Axis::Descendant:
        descendants(n, s, out);
        break;
    }
    return out;
  }

  Seq filter(Seq in, const std::vector<XExprPtr>& predicates) {
    for (const XExprPtr& p : predicates) {
      Seq out;
      for (std::size_t i = 0; i < in.size(); ++i) {
        Seq v = eval(*p, Focus{&in[i], i + 1, in.size()});
        const bool keep = v.size() == 1 && v[0].t == Item::T::Number
                              ? v[0].d == static_cast<double>(i + 1)
                              : effectiveBoolean(v);
        if (keep) out.push_back(in[i]);
      }
      in = std::move(out);
    }
    return in;
  }

  Seq path(const XExpr& e, const Focus& f) {
    Seq current;
    if (e.absolute)
      current.push_back(nodeItem(&root_));
    else if (f.item)
      current.push_back(*f.item);
    for (const Step& s : e.steps) {
      Seq next;
      const std::size_t n = current.size();
      bool nodesOnly = true;
      for (std::size_t i = 0; i < n; ++i) {
        Seq part;
        if (s.primary) {
          part = filter(eval(*s.expr, Focus{&current[i], i + 1, n}), s.predicates);
        } else {
          if (current[i].t != Item::T::Node) continue;
          part = filter(axis(current[i].node, s), s.predicates);
        }
        for (Item& it : part) {
          nodesOnly = nodesOnly && it.t == Item::T::Node;
          next.push_back(std::move(it));
        }
      }
      if (nodesOnly && next.size() > 1) {
        // Steps give their nodes once each, in document order.
        std::stable_sort(next.begin(), next.end(), [](const Item& a, const Item& b) {
          return a.node->order < b.node->order;
        });
        next.erase(std::unique(next.begin(), next.end(),
                               [](const Item& a, const Item& b) { return a.node == b.node; }),
                   next.end());
      }
      current = std::move(next);
    }
    return current;
  }

  static bool comparePair(const std::string& op, const Item& a, const Item& b) {
    int c = 0;
    if (a.t == Item::T::Boolean || b.t == Item::T::Boolean) {
      const bool x = effectiveBoolean({a}), y = effectiveBoolean({b});
      c = x == y ? 0 : x ? 1 : -1;
    } else if (a.t == Item::T::Number || b.t == Item::T::Number) {
      const double x = itemNumber(a), y = itemNumber(b);
      // Text that is no number compares with no number.
      if (std::isnan(x) || std::isnan(y)) return false;
      c = x < y ? -1 : x > y ? 1 : 0;
    } else {
      const std::string x = atomize(a), y = atomize(b);
      c = x.compare(y);
    }
    if (op == "=") return c == 0;
    if (op == "!=") return c != 0;
    if (op == "<") return c < 0;
    if (op == "<=") return c <= 0;
    if (op == ">") return c > 0;
    return c >= 0;
  }

  // A general comparison: true when any pair of the operands' items compares so.
  static bool compare(const std::string& op, const Seq& a, const Seq& b) {
    for (const Item& x : a)
      for (const Item& y : b)
        if (comparePair(op, x, y)) return true;
    return false;
  }

  std::string stringArg(const XExpr& e, std::size_t i, const Focus& f) {
    if (i >= e.args.size()) return f.item ? atomize(*f.item) : std::string();
    Seq s = eval(*e.args[i], f);
    return s.empty() ? std::string() : atomize(s[0]);
  }

  Seq call(const XExpr& e, const Focus& f) {
    const std::string& n = e.text;
    if (n == "sql:variable" || n == "sql:column") {
      const XmlQuery::Outside& o = outside_.at(static_cast<std::size_t>(e.reference));
      if (o.kind == 0) return {};
      if (o.kind == 'n') {
        double d = NAN;
        if (toNumber(o.text, d)) return {numberItem(d)};
      }
      if (o.kind == 'x') {
        // An xml value: its nodes.
        auto tree = readXmlTree(o.text);
        Seq out;
        for (auto& c : tree->children) out.push_back(nodeItem(c.get()));
        made_.push_back(std::move(tree));
        return out;
      }
      return {stringItem(o.text)};
    }
    if (n == "string") return {stringItem(stringArg(e, 0, f))};
    if (n == "data") {
      Seq out;
      for (const Item& i : eval(*e.args[0], f))
        out.push_back(i.t == Item::T::Node ? stringItem(atomize(i)) : i);
      return out;
    }
    if (n == "number") {
      Seq s = e.args.empty() ? Seq{} : eval(*e.args[0], f);
      if (e.args.empty() && f.item) s.push_back(*f.item);
      return {numberItem(s.empty() ? NAN : itemNumber(s[0]))};
    }
    if (n == "count") return {numberItem(static_cast<double>(eval(*e.args[0], f).size()))};
    if (n == "not") return {boolItem(!effectiveBoolean(eval(*e.args[0], f)))};
    if (n == "true" || n == "false") return {boolItem(n == "true")};
    if (n == "contains" || n == "starts-with" || n == "ends-with") {
      const std::string a = stringArg(e, 0, f), b = stringArg(e, 1, f);
      const bool r = n == "contains"      ? a.find(b) != std::string::npos
                     : n == "starts-with" ? a.starts_with(b)
                                          : a.ends_with(b);
      return {boolItem(r)};
    }
    if (n == "string-length") {
      std::size_t chars = 0;
      for (char c : stringArg(e, 0, f)) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      return {numberItem(static_cast<double>(chars))};
    }
    if (n == "local-name" || n == "name") {
      Seq s = e.args.empty() ? Seq{} : eval(*e.args[0], f);
      if (e.args.empty() && f.item) s.push_back(*f.item);
      if (s.empty() || s[0].t != Item::T::Node) return {stringItem("")};
      std::string name = s[0].node->name;
      if (n == "local-name" && name.find(':') != std::string::npos)
        name = name.substr(name.find(':') + 1);
      return {stringItem(name)};
    }
    if (n == "last") return {numberItem(static_cast<double>(f.size))};
    if (n == "position") return {numberItem(static_cast<double>(f.position))};
    if (n == "concat") {
      std::string out;
      for (std::size_t i = 0; i < e.args.size(); ++i) out += stringArg(e, i, f);
      return {stringItem(out)};
    }
    return {};
  }

  XmlNode& root_;
  const std::vector<XmlQuery::Outside>& outside_;
  std::string prefix_;
  std::vector<std::unique_ptr<XmlNode>> made_;  // nodes the query constructed
};

std::unique_ptr<XmlNode> copyNode(const XmlNode& n) {
  auto c = std::make_unique<XmlNode>();
  c->kind = n.kind;
  c->name = n.name;
  c->value = n.value;
  for (const auto& a : n.attributes) {
    c->attributes.push_back(copyNode(*a));
    c->attributes.back()->parent = c.get();
  }
  for (const auto& k : n.children) {
    c->children.push_back(copyNode(*k));
    c->children.back()->parent = c.get();
  }
  return c;
}

// A node that nodes() selected travels as "\1order\1document": the value's
// text with the node's place in it. XML text holds no \1, so a handle is
// never taken for a value.
constexpr char kHandle = '\x01';

// The document of a value or handle, and the handle's node order.
std::string_view splitHandle(std::string_view xml, std::size_t& order) {
  order = 0;
  if (xml.empty() || xml[0] != kHandle) return xml;
  const std::size_t end = xml.find(kHandle, 1);
  if (end == std::string_view::npos) throw SqlError(9400, {"1", "1"});
  order = static_cast<std::size_t>(
      std::strtoull(std::string(xml.substr(1, end - 1)).c_str(), nullptr, 10));
  return xml.substr(end + 1);
}

struct Loaded {
  std::shared_ptr<XmlNode> root;
  XmlNode* context = nullptr;
};

// The tree of a value, or of a handle's document with its node as the
// context. The methods on the rows of nodes() read one document again and
// again: the last tree read is kept for the next call, unless the caller
// will change it (`own`).
Loaded load(std::string_view xml, std::optional<std::size_t> at = {}, bool own = false) {
  struct Last {
    std::string text;
    std::shared_ptr<XmlNode> root;
  };
  thread_local Last last;
  std::size_t order = 0;
  const std::string_view document = splitHandle(xml, order);
  if (at) order = *at;
  Loaded l;
  if (!own && last.root && last.text == document) {
    l.root = last.root;
  } else {
    l.root = readXmlTree(document);
    if (!own) {
      last.text = std::string(document);
      last.root = l.root;
    }
  }
  l.context = findNode(*l.root, order);
  if (!l.context) throw SqlError(9400, {"1", "1"});
  return l;
}

}  // namespace

struct XmlQuery::Impl {
  Method method = Method::Query;
  std::string prefix;  // of its error messages
  std::vector<Reference> references;
  XExprPtr expr;
  Update update;

  Seq run(Loaded& l, Evaluator& ev) const {
    Item context = nodeItem(l.context);
    return ev.eval(*expr, Evaluator::Focus{&context, 1, 1});
  }
};

std::string xqueryErrorPrefix(XmlQuery::Method method, std::string_view where) {
  static constexpr std::string_view kNames[] = {"value", "query", "exist", "nodes", "modify"};
  return "XQuery [" + std::string(where) + (where.empty() ? "" : ".") +
         std::string(kNames[static_cast<int>(method)]) + "()]: ";
}

XmlQuery::XmlQuery(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
XmlQuery::~XmlQuery() = default;

std::shared_ptr<const XmlQuery> XmlQuery::parse(std::string_view text, Method method,
                                                std::string_view where) {
  auto impl = std::make_unique<Impl>();
  impl->method = method;
  impl->prefix = xqueryErrorPrefix(method, where);
  QueryReader reader(text, impl->prefix, impl->references);
  if (method == Method::Modify) {
    impl->update = reader.readUpdate();
  } else {
    impl->expr = reader.readQuery();
    if (method == Method::Value && !QueryReader::singleton(*impl->expr))
      throw SqlError(2389, {impl->prefix, "xdt:untypedAtomic *"});
  }
  return std::shared_ptr<const XmlQuery>(new XmlQuery(std::move(impl)));
}

const std::vector<XmlQuery::Reference>& XmlQuery::references() const {
  return impl_->references;
}

std::optional<std::string> XmlQuery::value(std::string_view xml, const std::vector<Outside>& o,
                                           At at) const {
  Loaded l = load(xml, at);
  Evaluator ev(*l.root, o, impl_->prefix);
  Seq s = impl_->run(l, ev);
  if (s.empty()) return std::nullopt;
  return atomize(s[0]);
}

std::string XmlQuery::query(std::string_view xml, const std::vector<Outside>& o, At at) const {
  Loaded l = load(xml, at);
  Evaluator ev(*l.root, o, impl_->prefix);
  Seq s = impl_->run(l, ev);
  std::string out;
  bool atomic = false;
  for (const Item& i : s) {
    if (i.t != Item::T::Node) {
      // Adjacent values are written apart by a space.
      if (atomic) out += ' ';
      appendXmlEscaped(out, atomize(i), false);
      atomic = true;
      continue;
    }
    atomic = false;
    if (i.node->kind == Kind::Attribute) throw SqlError(2396, {ev.prefix()});
    writeXmlNode(out, *i.node);
  }
  return out;
}

bool XmlQuery::exist(std::string_view xml, const std::vector<Outside>& o, At at) const {
  Loaded l = load(xml, at);
  Evaluator ev(*l.root, o, impl_->prefix);
  return !impl_->run(l, ev).empty();
}

std::string XmlQuery::nodes(std::string_view xml, const std::vector<Outside>& o, At at) const {
  Loaded l = load(xml, at);
  Evaluator ev(*l.root, o, impl_->prefix);
  Seq s = impl_->run(l, ev);
  std::string out = "[";
  for (const Item& i : s) {
    // Constructed nodes have no place in the document.
    if (i.t != Item::T::Node || findNode(*l.root, i.node->order) != i.node) continue;
    if (out.size() > 1) out += ',';
    out += std::to_string(i.node->order);
  }
  out += ']';
  return out;
}

std::string xmlNodeHandle(std::string_view xml, std::size_t order) {
  std::size_t ignored = 0;
  const std::string_view document = splitHandle(xml, ignored);
  std::string handle = kHandle + std::to_string(order) + kHandle;
  handle += document;
  return handle;
}

std::string XmlQuery::modify(std::string_view xml, const std::vector<Outside>& o) const {
  Loaded l = load(xml, {}, true);
  Evaluator ev(*l.root, o, impl_->prefix);
  const Update& u = impl_->update;
  Item context = nodeItem(l.root.get());
  const Evaluator::Focus focus{&context, 1, 1};
  Seq targets = ev.eval(*u.target, focus);
  const std::string& prefix = ev.prefix();
  auto wrongTarget = [&](std::string_view what, std::string_view must, const XmlNode* n) {
    throw SqlError(2356, {prefix, what, must, nodeType(n)});
  };
  for (const Item& t : targets)
    if (t.t != Item::T::Node)
      throw SqlError(2356, {prefix, "modify", "a node", "xs:anyAtomicType"});
  if (u.k == Update::K::Delete) {
    // The last in document order first, so that no node goes before one
    // inside it.
    std::vector<XmlNode*> doomed;
    for (const Item& t : targets) doomed.push_back(t.node);
    std::sort(doomed.begin(), doomed.end(), [](const XmlNode* a, const XmlNode* b) {
      return a->order != b->order ? a->order > b->order : std::less<>()(a, b);
    });
    // A node named twice goes once.
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    for (XmlNode* n : doomed)
      if (n->kind == Kind::Document) wrongTarget("delete", "a non-document node", n);
    for (XmlNode* n : doomed) {
      // Only the value's own nodes go (not those of an xml variable the
      // query read).
      if (findNode(*l.root, n->order) != n) continue;
      auto& list = n->kind == Kind::Attribute ? n->parent->attributes : n->parent->children;
      list.erase(std::find_if(list.begin(), list.end(),
                              [n](const std::unique_ptr<XmlNode>& p) { return p.get() == n; }));
    }
  } else if (!targets.empty()) {
    if (targets.size() > 1)
      throw SqlError(2226, {prefix, u.k == Update::K::ReplaceValue ? "replace value of" : "insert",
                            nodeType(targets[0].node) + " *"});
    XmlNode* target = targets[0].node;
    if (u.k == Update::K::ReplaceValue) {
      if (target->kind == Kind::Document || target->kind == Kind::Element)
        wrongTarget("replace value of",
                    "a non-metadata attribute or an element with simple typed content", target);
      target->value = Evaluator::joined(ev.eval(*u.source, focus));
    } else {
      // What is inserted: copies of the nodes, values as one text node.
      std::vector<std::unique_ptr<XmlNode>> nodes;
      std::string text;
      bool pending = false;
      auto flush = [&] {
        if (!pending) return;
        auto n = std::make_unique<XmlNode>();
        n->kind = Kind::Text;
        n->value = std::move(text);
        text.clear();
        nodes.push_back(std::move(n));
        pending = false;
      };
      for (const Item& i : ev.eval(*u.source, focus)) {
        if (i.t != Item::T::Node) {
          text += (pending ? " " : "") + atomize(i);
          pending = true;
          continue;
        }
        flush();
        if (i.node->kind == Kind::Document) {
          for (const auto& c : i.node->children) nodes.push_back(copyNode(*c));
        } else {
          nodes.push_back(copyNode(*i.node));
        }
      }
      flush();
      const bool into = u.k == Update::K::InsertInto || u.k == Update::K::InsertFirst ||
                        u.k == Update::K::InsertLast;
      XmlNode* parent = into ? target : target->parent;
      if (into && target->kind != Kind::Element && target->kind != Kind::Document)
        wrongTarget("insert", "an element or document node", target);
      if (!into && (target->kind == Kind::Attribute || target->kind == Kind::Document))
        wrongTarget("insert", "a non-attribute, non-document node", target);
      std::size_t at = 0;
      if (u.k == Update::K::InsertInto || u.k == Update::K::InsertLast) {
        at = parent->children.size();
      } else if (!into) {
        while (parent->children[at].get() != target) ++at;
        if (u.k == Update::K::InsertAfter) ++at;
      }
      for (auto& n : nodes) {
        n->parent = parent;
        if (n->kind == Kind::Attribute) {
          if (parent->kind != Kind::Element || !into)
            wrongTarget("insert", "an element node for an attribute", parent);
          for (const auto& a : parent->attributes)
            if (a->name == n->name) throw SqlError(9437, {"1", "1"});
          parent->attributes.push_back(std::move(n));
          continue;
        }
        parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(at++),
                                std::move(n));
      }
    }
  }
  std::string out;
  writeXmlNode(out, *l.root);
  // Edits may leave text nodes side by side: the value is read again as the
  // type keeps it, and must not nest deeper than the type allows.
  out = xmlFromText(out);
  readXmlTree(out);
  return out;
}

}  // namespace tessel::sqld::engine
