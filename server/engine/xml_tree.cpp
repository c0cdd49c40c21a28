#include "xml_tree.h"

#include "errors.h"
#include "xml_text.h"

namespace tessel::sqld::engine {
namespace {

// Reads the type's form: markup is well formed, attributes double-quoted,
// and only the predefined entities appear. Text that is not in that form
// fails rather than being half read.
class TreeReader {
 public:
  explicit TreeReader(std::string_view s) : s_(s) {}

  std::unique_ptr<XmlNode> read() {
    auto root = std::make_unique<XmlNode>();
    XmlNode* at = root.get();
    while (i_ < s_.size()) {
      if (s_[i_] != '<') {
        auto text = std::make_unique<XmlNode>();
        text->kind = XmlNode::Kind::Text;
        text->value = unescape(until('<'));
        add(at, std::move(text));
      } else if (starts("<!--")) {
        i_ += 4;
        auto c = std::make_unique<XmlNode>();
        c->kind = XmlNode::Kind::Comment;
        c->value = through("-->");
        add(at, std::move(c));
      } else if (starts("<?")) {
        i_ += 2;
        std::string body = through("?>");
        auto pi = std::make_unique<XmlNode>();
        pi->kind = XmlNode::Kind::Instruction;
        const std::size_t space = body.find(' ');
        pi->name = body.substr(0, space);
        if (space != std::string::npos) pi->value = body.substr(space + 1);
        add(at, std::move(pi));
      } else if (starts("</")) {
        i_ += 2;
        const std::string name(until('>'));
        if (at->kind != XmlNode::Kind::Element || at->name != name) bad();
        ++i_;
        at = at->parent;
        --depth_;
      } else {
        ++i_;
        auto e = std::make_unique<XmlNode>();
        e->kind = XmlNode::Kind::Element;
        e->name = name();
        for (;;) {
          if (i_ >= s_.size()) bad();
          if (s_[i_] == '>' || starts("/>")) break;
          if (s_[i_] != ' ') bad();
          ++i_;
          auto a = std::make_unique<XmlNode>();
          a->kind = XmlNode::Kind::Attribute;
          a->name = name();
          if (!starts("=\"")) bad();
          i_ += 2;
          a->value = unescape(until('"'));
          ++i_;
          a->parent = e.get();
          e->attributes.push_back(std::move(a));
        }
        const bool empty = s_[i_] == '/';
        i_ += empty ? 2 : 1;
        XmlNode* element = e.get();
        add(at, std::move(e));
        if (!empty) {
          at = element;
          // The type holds no deeper nesting; the tree's walks recurse.
          if (++depth_ > kMaxDepth) throw SqlError(6335, {});
        }
      }
    }
    if (at != root.get()) bad();
    numberNodes(*root);
    return root;
  }

 private:
  [[noreturn]] static void bad() { throw SqlError(9400, {"1", "1"}); }
  bool starts(std::string_view what) const { return s_.substr(i_, what.size()) == what; }
  static void add(XmlNode* parent, std::unique_ptr<XmlNode> child) {
    child->parent = parent;
    parent->children.push_back(std::move(child));
  }
  std::string name() {
    const std::size_t from = i_;
    while (i_ < s_.size() && s_[i_] != ' ' && s_[i_] != '>' && s_[i_] != '/' && s_[i_] != '=') ++i_;
    if (i_ == from) bad();
    return std::string(s_.substr(from, i_ - from));
  }
  // The text up to `end` (not consumed).
  std::string_view until(char end) {
    const std::size_t at = s_.find(end, i_);
    if (at == std::string_view::npos) {
      if (end != '<') bad();
      std::string_view rest = s_.substr(i_);
      i_ = s_.size();
      return rest;
    }
    std::string_view part = s_.substr(i_, at - i_);
    i_ = at;
    return part;
  }
  // The text up to `end`, which is consumed.
  std::string through(std::string_view end) {
    const std::size_t at = s_.find(end, i_);
    if (at == std::string_view::npos) bad();
    std::string part(s_.substr(i_, at - i_));
    i_ = at + end.size();
    return part;
  }
  static std::string unescape(std::string_view text) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (text[k] != '&') {
        out += text[k];
        continue;
      }
      const std::size_t semi = text.find(';', k);
      const char32_t c =
          semi == std::string_view::npos ? 0 : xmlEntityChar(text.substr(k + 1, semi - k - 1));
      if (c == 0) bad();
      out += static_cast<char>(c);
      k = semi;
    }
    return out;
  }

  static constexpr int kMaxDepth = 128;
  std::string_view s_;
  std::size_t i_ = 0;
  int depth_ = 0;
};

void appendText(std::string& out, const XmlNode& node) {
  for (const auto& child : node.children) {
    if (child->kind == XmlNode::Kind::Text) out += child->value;
    if (child->kind == XmlNode::Kind::Element) appendText(out, *child);
  }
}

void number(XmlNode& node, std::size_t& next) {
  node.order = next++;
  for (auto& a : node.attributes) a->order = next++;
  for (auto& c : node.children) number(*c, next);
}

}  // namespace

std::string XmlNode::text() const {
  if (kind != Kind::Document && kind != Kind::Element) return value;
  std::string out;
  appendText(out, *this);
  return out;
}

std::unique_ptr<XmlNode> readXmlTree(std::string_view xml) {
  return TreeReader(xml).read();
}

void numberNodes(XmlNode& root) {
  std::size_t next = 0;
  number(root, next);
}

XmlNode* findNode(XmlNode& root, std::size_t order) {
  XmlNode* at = &root;
  while (at->order != order) {
    for (auto& a : at->attributes)
      if (a->order == order) return a.get();
    XmlNode* into = nullptr;
    for (auto& c : at->children) {
      if (c->order > order) break;
      into = c.get();
    }
    if (!into) return nullptr;
    at = into;
  }
  return at;
}

void appendXmlEscaped(std::string& out, std::string_view text, bool attribute) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += attribute ? "&quot;" : "\"";
        break;
      default:
        out += c;
    }
  }
}

void writeXmlNode(std::string& out, const XmlNode& node) {
  switch (node.kind) {
    case XmlNode::Kind::Document:
      for (const auto& c : node.children) writeXmlNode(out, *c);
      return;
    case XmlNode::Kind::Element:
      out += "<" + node.name;
      for (const auto& a : node.attributes) {
        out += " " + a->name + "=\"";
        appendXmlEscaped(out, a->value, true);
        out += "\"";
      }
      if (node.children.empty()) {
        out += "/>";
        return;
      }
      out += ">";
      for (const auto& c : node.children) writeXmlNode(out, *c);
      out += "</" + node.name + ">";
      return;
    case XmlNode::Kind::Attribute:
      appendXmlEscaped(out, node.value, true);
      return;
    case XmlNode::Kind::Text:
      appendXmlEscaped(out, node.value, false);
      return;
    case XmlNode::Kind::Comment:
      out += "<!--" + node.value + "-->";
      return;
    case XmlNode::Kind::Instruction:
      out += "<?" + node.name + (node.value.empty() ? "" : " " + node.value) + "?>";
      return;
  }
}

}  // namespace tessel::sqld::engine
