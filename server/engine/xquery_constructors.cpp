// Constructed nodes: elements with their attributes and content, computed
// attributes and text, and comments. The nodes an enclosed expression gives
// are copied in; its values become text, a space between adjacent ones.

#include "errors.h"
#include "xquery_eval.h"

namespace tessel::sqld::engine::xquery {
namespace {

// Adds text to an element's content, joined to text just before it.
void appendText(XmlNode& element, const std::string& text) {
  if (text.empty()) return;
  if (!element.children.empty() && element.children.back()->kind == Kind::Text) {
    element.children.back()->value += text;
    return;
  }
  auto t = std::make_unique<XmlNode>();
  t->kind = Kind::Text;
  t->value = text;
  t->parent = &element;
  element.children.push_back(std::move(t));
}

void appendAttribute(XmlNode& element, std::unique_ptr<XmlNode> a) {
  for (const auto& have : element.attributes)
    if (have->name == a->name) throw SqlError(9437, {"1", "1"});
  a->parent = &element;
  element.attributes.push_back(std::move(a));
}

void appendNode(XmlNode& element, const XmlNode& n) {
  switch (n.kind) {
    case Kind::Attribute:
      appendAttribute(element, copyNode(n));
      return;
    case Kind::Document:
      for (const auto& c : n.children) appendNode(element, *c);
      return;
    case Kind::Text:
      appendText(element, n.value);
      return;
    default: {
      auto c = copyNode(n);
      // An element from a document keeps the namespaces its names use.
      if (n.kind == Kind::Element) {
        auto declarations = inheritedDeclarations(n);
        for (auto& d : declarations) d->parent = c.get();
        c->attributes.insert(c->attributes.begin(), std::make_move_iterator(declarations.begin()),
                             std::make_move_iterator(declarations.end()));
      }
      c->parent = &element;
      element.children.push_back(std::move(c));
    }
  }
}

}  // namespace

XmlNode* Evaluator::made(std::unique_ptr<XmlNode> n) {
  numberNodes(*n);
  made_.push_back(std::move(n));
  return made_.back().get();
}

Seq Evaluator::construct(const XExpr& e, const Focus& f) {
  auto n = std::make_unique<XmlNode>();
  n->name = e.text;
  switch (e.k) {
    case XExpr::K::Element: {
      n->kind = Kind::Element;
      for (const XExprPtr& a : e.attributes) {
        auto attribute = std::make_unique<XmlNode>();
        attribute->kind = Kind::Attribute;
        attribute->name = a->text;
        for (const XExprPtr& part : a->args) attribute->value += joined(eval(*part, f));
        appendAttribute(*n, std::move(attribute));
      }
      for (const XExprPtr& part : e.args) {
        std::string text;
        bool atomic = false;
        for (const Item& i : eval(*part, f)) {
          if (i.t != Item::T::Node) {
            text += (atomic ? " " : "") + atomize(i);
            atomic = true;
            continue;
          }
          appendText(*n, text);
          text.clear();
          atomic = false;
          appendNode(*n, *i.node);
        }
        appendText(*n, text);
      }
      break;
    }
    case XExpr::K::Attribute:
      n->kind = Kind::Attribute;
      for (const XExprPtr& part : e.args) n->value += joined(eval(*part, f));
      break;
    case XExpr::K::Text: {
      n->kind = Kind::Text;
      if (e.args.empty()) return {};
      const Seq s = eval(*e.args[0], f);
      if (s.empty()) return {};
      n->value = joined(s);
      break;
    }
    default:
      n->kind = Kind::Comment;
      n->value = e.text;
      break;
  }
  return {nodeItem(made(std::move(n)))};
}

}  // namespace tessel::sqld::engine::xquery
