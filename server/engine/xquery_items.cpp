// Items of the xml methods' XQuery: their text, numbers and truth, and the
// namespaces of the nodes they hold.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "xquery_ast.h"

namespace tessel::sqld::engine::xquery {

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
Item numberItem(double d, Numeric numeric) {
  Item i;
  i.t = Item::T::Number;
  i.numeric = numeric;
  i.d = d;
  return i;
}
Item boolItem(bool b) {
  Item i;
  i.t = Item::T::Boolean;
  i.b = b;
  return i;
}

namespace {

// Plain decimal digits, without trailing zeros after the point.
std::string plainText(double d, int digits) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", digits, d);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

}  // namespace

std::string numberText(double d, Numeric numeric) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "INF" : "-INF";
  if (d == 0) return "0";
  const double a = std::fabs(d);
  if (numeric == Numeric::Integer || (d == std::floor(d) && a < 1e15 && numeric != Numeric::Double))
    return plainText(d, 0);
  if (numeric == Numeric::Decimal || (a >= 1e-6 && a < 1e6)) {
    // Fifteen significant digits: what a double holds of a decimal.
    const int exponent = static_cast<int>(std::floor(std::log10(a)));
    return plainText(d, std::max(0, 14 - exponent));
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14E", d);
  std::string s = buf;
  const std::size_t e = s.find('E');
  std::string mantissa = s.substr(0, e);
  while (mantissa.back() == '0') mantissa.pop_back();
  if (mantissa.back() == '.') mantissa.pop_back();
  const int exponent = std::atoi(s.c_str() + e + 1);
  return mantissa + "E" + std::to_string(exponent);
}

std::string atomize(const Item& i) {
  switch (i.t) {
    case Item::T::Node:
      return i.node->text();
    case Item::T::String:
      return i.s;
    case Item::T::Number:
      return numberText(i.d, i.numeric);
    case Item::T::Boolean:
      return i.b ? "true" : "false";
  }
  return {};
}

bool toNumber(std::string_view s, double& d) {
  const std::size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return false;
  const std::size_t b = s.find_last_not_of(" \t\r\n");
  const std::string t(s.substr(a, b - a + 1));
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

std::string_view localName(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view namePrefix(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

bool isNamespaceDeclaration(const XmlNode& a) {
  return a.name == "xmlns" || a.name.starts_with("xmlns:");
}

std::string namespaceAt(const XmlNode& n, std::string_view prefix) {
  if (prefix == "xml") return "http://www.w3.org/XML/1998/namespace";
  const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  for (const XmlNode* at = &n; at; at = at->parent) {
    if (at->kind != Kind::Element) continue;
    for (const auto& a : at->attributes)
      if (a->name == attribute) return a->value;
  }
  return {};
}

std::string namespaceOf(const XmlNode& n) {
  const std::string_view prefix = namePrefix(n.name);
  if (n.kind == Kind::Attribute)
    return prefix.empty() || !n.parent ? std::string() : namespaceAt(*n.parent, prefix);
  if (n.kind != Kind::Element) return {};
  return namespaceAt(n, prefix);
}

// The namespace declarations an element taken out of its document needs:
// those of its ancestors that its names, or the names within it, use and
// that it does not make itself.
std::vector<std::unique_ptr<XmlNode>> inheritedDeclarations(const XmlNode& element) {
  std::vector<std::unique_ptr<XmlNode>> out;
  if (!element.parent || element.parent->kind != Kind::Element) return out;
  std::set<std::string, std::less<>> used;
  std::vector<const XmlNode*> pending{&element};
  while (!pending.empty()) {
    const XmlNode* n = pending.back();
    pending.pop_back();
    if (n->kind != Kind::Element) continue;
    used.emplace(namePrefix(n->name));
    for (const auto& a : n->attributes) {
      const std::string_view p = namePrefix(a->name);
      if (!p.empty() && p != "xmlns") used.emplace(p);
    }
    for (const auto& c : n->children) pending.push_back(c.get());
  }
  for (const std::string& prefix : used) {
    if (prefix == "xml") continue;
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    bool own = false;
    for (const auto& a : element.attributes) own = own || a->name == declaration;
    if (own) continue;
    std::string uri = namespaceAt(*element.parent, prefix);
    if (uri.empty()) continue;
    auto a = std::make_unique<XmlNode>();
    a->kind = Kind::Attribute;
    a->name = declaration;
    a->value = std::move(uri);
    out.push_back(std::move(a));
  }
  return out;
}

}  // namespace tessel::sqld::engine::xquery
