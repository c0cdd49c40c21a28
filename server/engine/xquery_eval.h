#pragma once

// Evaluates the xml methods' XQuery (xquery_ast.h) over one value's tree.
// As SQL Server does, what would be a dynamic error (a cast that fails,
// division by zero) gives the empty sequence rather than failing the
// statement. Recursion follows the parsed expression, whose nesting the
// reader bounds; nodes the query constructs live as long as the evaluator.

#include <memory>
#include <string>
#include <vector>

#include "xml_path.h"
#include "xquery_ast.h"

namespace tessel::sqld::engine::xquery {

class Evaluator {
 public:
  Evaluator(XmlNode& root, const std::vector<XmlQuery::Outside>& outside, std::string prefix,
            int slots)
      : root_(root),
        outside_(outside),
        prefix_(std::move(prefix)),
        vars_(static_cast<std::size_t>(slots)) {}

  struct Focus {
    const Item* item;
    std::size_t position;
    std::size_t size;
  };

  Seq eval(const XExpr& e, const Focus& f);

  // The atomized items, separated by single spaces.
  static std::string joined(const Seq& s);

  const std::string& prefix() const { return prefix_; }

 private:
  // xquery_eval.cpp: paths and comparisons.
  static bool matches(const XmlNode& n, const Step& s, Kind principal);
  static void descendants(XmlNode* n, const Step& s, Seq& out);
  static Seq axis(XmlNode* n, const Step& s);
  Seq filter(Seq in, const std::vector<XExprPtr>& predicates);
  Seq path(const XExpr& e, const Focus& f);
  static bool comparePair(const std::string& op, const Item& a, const Item& b);
  static bool compare(const std::string& op, const Seq& a, const Seq& b);

  // xquery_arithmetic.cpp: arithmetic and casts.
  Seq arithmetic(const XExpr& e, const Focus& f);
  Seq negate(const XExpr& e, const Focus& f);
  Seq cast(const XExpr& e, const Focus& f);

  // xquery_instance_of.cpp.
  Seq instanceOf(const XExpr& e, const Focus& f);
  static bool kindMatches(const Item& i, const XExpr& e);

  // xquery_functions.cpp.
  Seq call(const XExpr& e, const Focus& f);
  Seq outside(const XExpr& e);
  std::string stringArg(const XExpr& e, std::size_t i, const Focus& f);

  // xquery_flwor.cpp: for, let, where, order by; some and every.
  Seq flwor(const XExpr& e, const Focus& f);
  bool quantified(const XExpr& e, const Focus& f, std::size_t clause);

  // xquery_constructors.cpp: elements, attributes, text and comments.
  Seq construct(const XExpr& e, const Focus& f);
  XmlNode* made(std::unique_ptr<XmlNode> n);

  XmlNode& root_;
  const std::vector<XmlQuery::Outside>& outside_;
  std::string prefix_;
  std::vector<Seq> vars_;                       // the variables' values, by slot
  std::vector<std::unique_ptr<XmlNode>> made_;  // nodes the query constructed
};

// A copy of a node and what is under it, without its parent.
std::unique_ptr<XmlNode> copyNode(const XmlNode& n);

}  // namespace tessel::sqld::engine::xquery
