// The xml type's methods on a value: each reads the value's tree, runs the
// query parsed when the statement was bound (xquery_reader.*) with the
// evaluator (xquery_eval.*), and gives its result in the method's form.

#include "xml_path.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>

#include "errors.h"
#include "xml_text.h"
#include "xml_tree.h"
#include "xquery_eval.h"
#include "xquery_reader.h"

namespace tessel::sqld::engine {
namespace {

using namespace xquery;
using Method = XmlQuery::Method;

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

// A node as query() writes it: an element keeps its namespaces.
void writeResultNode(std::string& out, const XmlNode& n) {
  auto declarations =
      n.kind == Kind::Element ? inheritedDeclarations(n) : std::vector<std::unique_ptr<XmlNode>>();
  if (declarations.empty()) return writeXmlNode(out, n);
  auto copy = copyNode(n);
  for (auto& d : declarations) d->parent = copy.get();
  copy->attributes.insert(copy->attributes.begin(), std::make_move_iterator(declarations.begin()),
                          std::make_move_iterator(declarations.end()));
  writeXmlNode(out, *copy);
}

}  // namespace

struct XmlQuery::Impl {
  Method method = Method::Query;
  std::string prefix;  // of its error messages
  std::vector<Reference> references;
  XExprPtr expr;
  Update update;
  int slots = 0;  // the query's variables

  Evaluator evaluator(XmlNode& root, const std::vector<Outside>& o) const {
    return Evaluator(root, o, prefix, slots);
  }

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

void encodeXmlNamespace(std::string& out, std::string_view prefix, std::string_view uri) {
  for (std::string_view part : {prefix, uri}) {
    out += std::to_string(part.size());
    out += ':';
    out += part;
  }
}

std::vector<std::pair<std::string, std::string>> decodeXmlNamespaces(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  auto part = [&text](std::string& into) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    const std::size_t n = static_cast<std::size_t>(
        std::strtoull(std::string(text.substr(0, colon)).c_str(), nullptr, 10));
    if (n > text.size() - colon - 1) return false;
    into = std::string(text.substr(colon + 1, n));
    text.remove_prefix(colon + 1 + n);
    return true;
  };
  std::pair<std::string, std::string> ns;
  while (!text.empty() && part(ns.first) && part(ns.second)) out.push_back(ns);
  return out;
}

std::shared_ptr<const XmlQuery> XmlQuery::parse(std::string_view text, Method method,
                                                std::string_view where,
                                                std::string_view namespaces) {
  auto impl = std::make_unique<Impl>();
  impl->method = method;
  impl->prefix = xqueryErrorPrefix(method, where);
  QueryReader reader(text, impl->prefix, impl->references);
  for (const auto& [prefix, uri] : decodeXmlNamespaces(namespaces))
    reader.declareNamespace(prefix, uri);
  if (method == Method::Modify) {
    impl->update = reader.readUpdate();
  } else {
    impl->expr = reader.readQuery();
    if (method == Method::Value && !reader.singleton(*impl->expr))
      throw SqlError(2389, {impl->prefix, "value()", "xdt:untypedAtomic *"});
  }
  impl->slots = reader.slots();
  return std::shared_ptr<const XmlQuery>(new XmlQuery(std::move(impl)));
}

const std::vector<XmlQuery::Reference>& XmlQuery::references() const {
  return impl_->references;
}

std::optional<std::string> XmlQuery::value(std::string_view xml, const std::vector<Outside>& o,
                                           At at) const {
  Loaded l = load(xml, at);
  Evaluator ev = impl_->evaluator(*l.root, o);
  Seq s = impl_->run(l, ev);
  if (s.empty()) return std::nullopt;
  return atomize(s[0]);
}

std::string XmlQuery::query(std::string_view xml, const std::vector<Outside>& o, At at) const {
  Loaded l = load(xml, at);
  Evaluator ev = impl_->evaluator(*l.root, o);
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
    writeResultNode(out, *i.node);
  }
  return out;
}

bool XmlQuery::exist(std::string_view xml, const std::vector<Outside>& o, At at) const {
  Loaded l = load(xml, at);
  Evaluator ev = impl_->evaluator(*l.root, o);
  return !impl_->run(l, ev).empty();
}

std::string XmlQuery::nodes(std::string_view xml, const std::vector<Outside>& o, At at) const {
  Loaded l = load(xml, at);
  Evaluator ev = impl_->evaluator(*l.root, o);
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
  Evaluator ev = impl_->evaluator(*l.root, o);
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
