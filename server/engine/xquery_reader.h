#pragma once

// Reads the XQuery text of an xml method into the tree of xquery_ast.h:
// the prolog's namespace declarations, paths over all axes, arithmetic,
// comparisons, casts, FLWOR, if and some/every, element and attribute
// constructors, instance of, and modify()'s insert, delete and replace
// value of. Throws
// SqlError 2209 for malformed text, 9335 for what is not supported and
// 2389 where an operator needs one item and may meet more.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "xml_path.h"
#include "xquery_ast.h"

namespace tessel::sqld::engine::xquery {

// A new expression node of kind `k`, for the reader's files to fill in.
inline XExprPtr make(XExpr::K k) {
  auto e = std::make_unique<XExpr>();
  e->k = k;
  return e;
}

struct Token {
  enum class K : std::uint8_t { Name, String, Number, Symbol, End };
  K k = K::End;
  std::string text;
  std::size_t at = 0;
  std::size_t end = 0;
};

class QueryReader {
 public:
  QueryReader(std::string_view text, std::string prefix, std::vector<XmlQuery::Reference>& refs)
      : s_(text), refs_(refs), prefix_(std::move(prefix)) {}

  // A namespace in scope before the prolog (WITH XMLNAMESPACES): prefix
  // "" is the default element namespace. The prolog may declare it again.
  void declareNamespace(const std::string& prefix, const std::string& uri);

  XExprPtr readQuery();
  Update readUpdate();
  // How many variables the query binds: the evaluator's slots.
  int slots() const { return slots_; }

  // Whether an expression gives at most one item, as far as can be told
  // without the document.
  bool singleton(const XExpr& e) const;
  // The static type of what an expression gives, for messages.
  static std::string staticType(const XExpr& e);

 private:
  [[noreturn]] void syntax(const Token& t) const;
  [[noreturn]] void unsupported(std::string_view what) const;
  [[noreturn]] void notSingleton(std::string_view what, const XExpr& e) const;
  [[noreturn]] void throwTarget(const XExpr& target, std::string_view what) const;
  void requireSingleton(std::string_view what, const XExpr& e) const;

  // Tokens.
  void skipSpace();
  Token peek();
  Token take();
  Token peekSecond();
  Token lex();
  bool isSymbol(std::string_view s);
  bool isName(std::string_view s);
  bool acceptSymbol(std::string_view s);
  bool acceptName(std::string_view s);
  void expectSymbol(std::string_view s);
  void expectName(std::string_view s);
  // Moves the reader to a place in the text (after a constructor).
  void seek(std::size_t pos);

  // Grammar.
  void prolog();
  XExprPtr sequence();
  XExprPtr single();
  XExprPtr flwor();
  XExprPtr quantified();
  XExprPtr conditional();
  XExprPtr logical(bool orLevel);
  XExprPtr comparison();
  XExprPtr additive();
  XExprPtr multiplicative();
  XExprPtr instanceOf();
  void sequenceType(XExpr& e);
  XExprPtr unary();
  XExprPtr castExpr();
  XExprPtr path();
  static Step descendantStep();
  Step step();
  static bool isKindTest(std::string_view name);
  void nodeTest(Step& s);
  bool startsStep();
  XExprPtr primary();
  XExprPtr computedConstructor(const Token& t);
  XExprPtr call(std::string name, XExprPtr e);
  XExprPtr castCall(std::string_view type, XExprPtr e);
  void reference(XExpr& e);
  XExprPtr directConstructor();
  int bindVariable(const std::string& name);
  int variable();

  // The namespace a prefix of the query stands for; `element`: an
  // unprefixed name takes the default element namespace.
  std::string resolvePrefix(std::string_view prefix, bool element) const;

  // A bound on the reader's recursion, so that nesting keeps within its stack.
  class Nesting {
   public:
    explicit Nesting(int& d);
    ~Nesting() { --depth_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    int& depth_;
  };

  // Counts each operator of a chain (a + b + c ...) as a level: the tree
  // it builds is as deep as the chain is long.
  class Chain {
   public:
    explicit Chain(int& d) : depth_(d) {}
    ~Chain() { depth_ -= added_; }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;
    void next();

   private:
    int& depth_;
    int added_ = 0;
  };

  static constexpr int kMaxNesting = 128;
  std::string_view s_;
  std::vector<XmlQuery::Reference>& refs_;
  int nesting_ = 0;
  std::string prefix_;
  std::size_t pos_ = 0;
  Token token_;
  bool cached_ = false;
  std::map<std::string, std::string, std::less<>> namespaces_;
  std::string defaultElementNamespace_;
  // The variables in scope, innermost last, and their slots.
  std::vector<std::pair<std::string, int>> scope_;
  std::vector<bool> singleSlot_;  // whether a slot holds one item at most
  int slots_ = 0;
  // The namespace declarations of the direct constructors being read.
  std::vector<std::string> ctorDeclared_;
};

}  // namespace tessel::sqld::engine::xquery
