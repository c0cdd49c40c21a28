// Direct element constructors in the XQuery text: <a id="{@id}">{ data(b) }</a>.
// The markup is read character by character; each { } encloses an
// expression the reader reads as any other.

#include <cctype>

#include "errors.h"
#include "sqld/charset.h"
#include "xml_text.h"
#include "xquery_reader.h"

namespace tessel::sqld::engine::xquery {
namespace {

bool markupNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || u >= 0x80 || c == '_' || c == '-' || c == '.' || c == ':';
}

XExprPtr literal(std::string text) {
  auto e = std::make_unique<XExpr>();
  e->k = XExpr::K::String;
  e->text = std::move(text);
  return e;
}

bool blank(std::string_view s) {
  for (char c : s)
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

XExprPtr QueryReader::directConstructor() {
  Nesting nesting(nesting_);
  std::size_t i = peek().at;
  const std::size_t start = i;
  auto fail = [&](std::size_t at) {
    Token t;
    t.text = std::string(s_.substr(at, 20));
    if (at >= s_.size()) t.k = Token::K::End;
    syntax(t);
  };
  auto name = [&]() {
    const std::size_t from = i;
    while (i < s_.size() && markupNameChar(s_[i])) ++i;
    if (i == from) fail(from);
    return std::string(s_.substr(from, i - from));
  };
  auto space = [&] {
    while (i < s_.size() && std::isspace(static_cast<unsigned char>(s_[i]))) ++i;
  };
  // &name; or &#n; at s_[i]: its character, with i past it.
  auto reference = [&](std::string& out) {
    const std::size_t semi = s_.find(';', i);
    if (semi == std::string_view::npos) fail(i);
    const std::string_view body = s_.substr(i + 1, semi - i - 1);
    char32_t c = 0;
    if (body.starts_with("#x"))
      c = static_cast<char32_t>(std::strtoul(std::string(body.substr(2)).c_str(), nullptr, 16));
    else if (body.starts_with("#"))
      c = static_cast<char32_t>(std::strtoul(std::string(body.substr(1)).c_str(), nullptr, 10));
    else
      c = xmlEntityChar(body);
    if (c == 0 || c > 0x10FFFF) fail(i);
    appendCodePointUtf8(out, c);
    i = semi + 1;
  };
  // The expression in { }, i at the brace.
  auto enclosed = [&]() {
    seek(i + 1);
    XExprPtr e = isSymbol("}") ? literal("") : sequence();
    expectSymbol("}");
    i = pos_;
    return e;
  };

  auto element = std::make_unique<XExpr>();
  element->k = XExpr::K::Element;
  ++i;  // <
  element->text = name();
  // Attributes: literal text and enclosed expressions, as parts.
  for (;;) {
    const std::size_t before = i;
    space();
    if (i >= s_.size()) fail(i);
    if (s_[i] == '/' || s_[i] == '>') break;
    if (i == before) fail(i);
    auto attribute = std::make_unique<XExpr>();
    attribute->k = XExpr::K::Attribute;
    attribute->text = name();
    space();
    if (i >= s_.size() || s_[i] != '=') fail(i);
    ++i;
    space();
    if (i >= s_.size() || (s_[i] != '"' && s_[i] != '\'')) fail(i);
    const char quote = s_[i++];
    std::string text;
    for (;;) {
      if (i >= s_.size()) fail(start);
      const char c = s_[i];
      if (c == quote && s_.substr(i + 1, 1) == std::string_view(&quote, 1)) {
        text += quote;
        i += 2;
      } else if (c == quote) {
        ++i;
        break;
      } else if ((c == '{' || c == '}') && s_.substr(i + 1, 1) == std::string_view(&c, 1)) {
        text += c;
        i += 2;
      } else if (c == '{') {
        if (!text.empty()) attribute->args.push_back(literal(std::move(text)));
        text.clear();
        attribute->args.push_back(enclosed());
      } else if (c == '}' || c == '<') {
        fail(i);
      } else if (c == '&') {
        reference(text);
      } else {
        text += c;
        ++i;
      }
    }
    if (!text.empty() || attribute->args.empty())
      attribute->args.push_back(literal(std::move(text)));
    for (const XExprPtr& a : element->attributes)
      if (a->text == attribute->text) throw SqlError(2271, {prefix_, attribute->text});
    if (attribute->text == "xmlns" || attribute->text.starts_with("xmlns:")) {
      // Declarations are literal: they name the namespaces of the names.
      if (attribute->args.size() != 1 || attribute->args[0]->k != XExpr::K::String) fail(before);
    }
    element->attributes.push_back(std::move(attribute));
  }
  // A prefix the prolog declared is declared on the element made, unless
  // the element declares it itself.
  const std::size_t outerDeclarations = ctorDeclared_.size();
  struct Restore {
    std::vector<std::string>& list;
    std::size_t size;
    ~Restore() { list.resize(size); }
  } restore{ctorDeclared_, outerDeclarations};
  // The element's declarations hold for the names within it, the
  // expressions it encloses included.
  struct RestoreNamespaces {
    QueryReader& r;
    decltype(namespaces_) names;
    std::string defaultElement;
    ~RestoreNamespaces() {
      r.namespaces_ = std::move(names);
      r.defaultElementNamespace_ = std::move(defaultElement);
    }
  } restoreNamespaces{*this, namespaces_, defaultElementNamespace_};
  for (const XExprPtr& a : element->attributes) {
    if (a->text != "xmlns" && !a->text.starts_with("xmlns:")) continue;
    ctorDeclared_.push_back(a->text);
    if (a->text == "xmlns")
      defaultElementNamespace_ = a->args[0]->text;
    else
      namespaces_[a->text.substr(6)] = a->args[0]->text;
  }
  const std::string_view prefix = namePrefix(element->text);
  const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  bool declared = false;
  for (const std::string& d : ctorDeclared_) declared = declared || d == declaration;
  const std::string uri = declared ? std::string() : resolvePrefix(prefix, true);
  if (!declared && !uri.empty() && prefix != "xml") {
    auto a = std::make_unique<XExpr>();
    a->k = XExpr::K::Attribute;
    a->text = declaration;
    a->args.push_back(literal(uri));
    element->attributes.insert(element->attributes.begin(), std::move(a));
    ctorDeclared_.push_back(declaration);
  }
  if (s_[i] == '/') {
    if (s_.substr(i, 2) != "/>") fail(i);
    seek(i + 2);
    return element;
  }
  ++i;  // >
  // Content: text, enclosed expressions, comments and elements.
  std::string text;
  bool cdata = false;  // the text holds a CDATA section: it is kept
  auto flush = [&] {
    if (!text.empty() && (cdata || !blank(text))) element->args.push_back(literal(text));
    text.clear();
    cdata = false;
  };
  for (;;) {
    if (i >= s_.size()) fail(start);
    const char c = s_[i];
    if (c == '<') {
      if (s_.substr(i, 2) == "</") {
        flush();
        i += 2;
        if (name() != element->text) throw SqlError(2267, {prefix_, element->text});
        space();
        if (i >= s_.size() || s_[i] != '>') fail(i);
        seek(i + 1);
        return element;
      }
      if (s_.substr(i, 4) == "<!--") {
        flush();
        const std::size_t end = s_.find("-->", i + 4);
        if (end == std::string_view::npos) fail(i);
        auto comment = std::make_unique<XExpr>();
        comment->k = XExpr::K::Comment;
        comment->text = std::string(s_.substr(i + 4, end - i - 4));
        // As in XML, no "--" within and no "-" at the end.
        if (comment->text.find("--") != std::string::npos || comment->text.ends_with("-")) fail(i);
        element->args.push_back(std::move(comment));
        i = end + 3;
      } else if (s_.substr(i, 9) == "<![CDATA[") {
        const std::size_t end = s_.find("]]>", i + 9);
        if (end == std::string_view::npos) fail(i);
        text += s_.substr(i + 9, end - i - 9);
        cdata = true;
        i = end + 3;
      } else if (s_.substr(i, 2) == "<?") {
        unsupported("<?");
      } else {
        flush();
        seek(i);
        element->args.push_back(directConstructor());
        i = pos_;
      }
    } else if ((c == '{' || c == '}') && s_.substr(i + 1, 1) == std::string_view(&c, 1)) {
      text += c;
      i += 2;
    } else if (c == '{') {
      flush();
      element->args.push_back(enclosed());
    } else if (c == '}') {
      fail(i);
    } else if (c == '&') {
      reference(text);
      cdata = true;  // a character written as a reference is not boundary space
    } else {
      text += c;
      ++i;
    }
  }
}

}  // namespace tessel::sqld::engine::xquery
