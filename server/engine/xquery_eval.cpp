// The evaluator's dispatch, paths over the axes, and comparisons.

#include "xquery_eval.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace tessel::sqld::engine::xquery {

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

Seq Evaluator::eval(const XExpr& e, const Focus& f) {
  switch (e.k) {
    case XExpr::K::Path:
      return path(e, f);
    case XExpr::K::String:
      return {stringItem(e.text)};
    case XExpr::K::Number:
      return {numberItem(e.number, e.numeric)};
    case XExpr::K::Compare:
      return {boolItem(compare(e.text, eval(*e.args[0], f), eval(*e.args[1], f)))};
    case XExpr::K::And:
      return {
          boolItem(effectiveBoolean(eval(*e.args[0], f)) && effectiveBoolean(eval(*e.args[1], f)))};
    case XExpr::K::Or:
      return {
          boolItem(effectiveBoolean(eval(*e.args[0], f)) || effectiveBoolean(eval(*e.args[1], f)))};
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
    case XExpr::K::Arithmetic:
      return arithmetic(e, f);
    case XExpr::K::Negate:
      return negate(e, f);
    case XExpr::K::Cast:
      return cast(e, f);
    case XExpr::K::InstanceOf:
      return instanceOf(e, f);
    case XExpr::K::Variable:
      return vars_[static_cast<std::size_t>(e.slot)];
    case XExpr::K::Flwor:
      return flwor(e, f);
    case XExpr::K::Quantified:
      return {boolItem(quantified(e, f, 0))};
    case XExpr::K::If:
      return eval(*e.args[effectiveBoolean(eval(*e.args[0], f)) ? 1 : 2], f);
    case XExpr::K::Element:
    case XExpr::K::Attribute:
    case XExpr::K::Text:
    case XExpr::K::Comment:
      return construct(e, f);
  }
  return {};
}

std::string Evaluator::joined(const Seq& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) out += (i ? " " : "") + atomize(s[i]);
  return out;
}

bool Evaluator::matches(const XmlNode& n, const Step& s, Kind principal) {
  switch (s.test) {
    case Test::Name:
      // The namespace is looked up only for a name that matches.
      return n.kind == principal && localName(n.name) == s.name && namespaceOf(n) == s.uri;
    case Test::AnyName:
      return n.kind == principal && (s.anyPrefix || namespaceOf(n) == s.uri);
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

void Evaluator::descendants(XmlNode* n, const Step& s, Seq& out) {
  for (auto& c : n->children) {
    if (matches(*c, s, Kind::Element)) out.push_back(nodeItem(c.get()));
    descendants(c.get(), s, out);
  }
}

namespace {

// The place of a node among its parent's children, found by its order.
std::size_t indexOf(const XmlNode* n) {
  const auto& list = n->parent->children;
  auto it = std::lower_bound(
      list.begin(), list.end(), n->order,
      [](const std::unique_ptr<XmlNode>& c, std::size_t order) { return c->order < order; });
  if (it == list.end() || it->get() != n)
    it = std::find_if(list.begin(), list.end(),
                      [n](const std::unique_ptr<XmlNode>& c) { return c.get() == n; });
  return static_cast<std::size_t>(it - list.begin());
}

bool isSiblingAxis(Axis a) {
  return a == Axis::FollowingSibling || a == Axis::PrecedingSibling;
}

}  // namespace

Seq Evaluator::axis(XmlNode* n, const Step& s) {
  Seq out;
  switch (s.axis) {
    case Axis::Child:
      for (auto& c : n->children)
        if (matches(*c, s, Kind::Element)) out.push_back(nodeItem(c.get()));
      break;
    case Axis::Attribute:
      for (auto& a : n->attributes)
        if (!isNamespaceDeclaration(*a) && matches(*a, s, Kind::Attribute))
          out.push_back(nodeItem(a.get()));
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
    case Axis::AncestorOrSelf:
      if (matches(*n, s, n->kind == Kind::Attribute ? Kind::Attribute : Kind::Element))
        out.push_back(nodeItem(n));
      [[fallthrough]];
    case Axis::Ancestor:
      // Nearest first: reverse document order, as predicates count.
      for (XmlNode* p = n->parent; p; p = p->parent)
        if (matches(*p, s, Kind::Element)) out.push_back(nodeItem(p));
      break;
    case Axis::FollowingSibling:
    case Axis::PrecedingSibling: {
      if (!n->parent || n->kind == Kind::Attribute) break;
      const auto& list = n->parent->children;
      const std::size_t at = indexOf(n);
      // following-sibling::e[1] and the like need no more than their
      // position's worth: the next sibling costs as much as the last.
      const XExpr* first = s.predicates.empty() ? nullptr : s.predicates[0].get();
      const std::size_t enough = first && first->k == XExpr::K::Number && first->number >= 1
                                     ? static_cast<std::size_t>(first->number)
                                     : list.size();
      if (s.axis == Axis::FollowingSibling) {
        for (std::size_t i = at + 1; i < list.size() && out.size() < enough; ++i)
          if (matches(*list[i], s, Kind::Element)) out.push_back(nodeItem(list[i].get()));
      } else {
        for (std::size_t i = at; i-- > 0 && out.size() < enough;)
          if (matches(*list[i], s, Kind::Element)) out.push_back(nodeItem(list[i].get()));
      }
      break;
    }
  }
  return out;
}

Seq Evaluator::filter(Seq in, const std::vector<XExprPtr>& predicates) {
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

Seq Evaluator::path(const XExpr& e, const Focus& f) {
  Seq current;
  if (e.absolute)
    current.push_back(nodeItem(&root_));
  else if (f.item)
    current.push_back(*f.item);
  for (const Step& s : e.steps) {
    Seq next;
    const std::size_t n = current.size();
    bool nodesOnly = true;
    if (!s.primary && s.predicates.empty() && isSiblingAxis(s.axis) && n > 1) {
      // Siblings of many nodes: per parent, those after its first node (or
      // before its last) are all there are, found once rather than per node.
      std::unordered_map<XmlNode*, std::size_t> bound;
      for (const Item& i : current) {
        if (i.t != Item::T::Node || !i.node->parent || i.node->kind == Kind::Attribute) continue;
        const std::size_t at = indexOf(i.node);
        auto [it, added] = bound.try_emplace(i.node->parent, at);
        if (!added)
          it->second = s.axis == Axis::FollowingSibling ? std::min(it->second, at)
                                                        : std::max(it->second, at);
      }
      for (const auto& [parent, at] : bound) {
        const auto& list = parent->children;
        const std::size_t from = s.axis == Axis::FollowingSibling ? at + 1 : 0;
        const std::size_t to = s.axis == Axis::FollowingSibling ? list.size() : at;
        for (std::size_t i = from; i < to; ++i)
          if (matches(*list[i], s, Kind::Element)) next.push_back(nodeItem(list[i].get()));
      }
    } else {
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
    }
    if (nodesOnly && next.size() > 1) {
      // Steps give their nodes once each, in document order.
      std::stable_sort(next.begin(), next.end(),
                       [](const Item& a, const Item& b) { return a.node->order < b.node->order; });
      next.erase(std::unique(next.begin(), next.end(),
                             [](const Item& a, const Item& b) { return a.node == b.node; }),
                 next.end());
    }
    current = std::move(next);
  }
  return current;
}

bool Evaluator::comparePair(const std::string& op, const Item& a, const Item& b) {
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
bool Evaluator::compare(const std::string& op, const Seq& a, const Seq& b) {
  for (const Item& x : a)
    for (const Item& y : b)
      if (comparePair(op, x, y)) return true;
  return false;
}

}  // namespace tessel::sqld::engine::xquery
