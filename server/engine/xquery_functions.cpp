// The XQuery functions the xml methods take, and sql:variable and
// sql:column.

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "functions.h"
#include "sqld/charset.h"
#include "xquery_eval.h"

namespace tessel::sqld::engine::xquery {
namespace {

// The code points of UTF-8 text; a malformed byte stands for itself.
std::u32string codePoints(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra > 0 && i + static_cast<std::size_t>(extra) >= s.size()) {
      out += c;
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out += cp;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::string utf8(std::u32string_view cps) {
  std::string out;
  for (char32_t c : cps) appendCodePointUtf8(out, c);
  return out;
}

// Values that sum, avg, min and max take: untyped text as xs:double, and
// what is no number left out, as SQL Server leaves out a failed cast.
struct Numbers {
  std::vector<double> values;
  Numeric numeric = Numeric::Integer;
};

Numbers numbers(const Seq& s) {
  Numbers n;
  for (const Item& i : s) {
    double v = 0;
    if (i.t == Item::T::Number) {
      v = i.d;
      if (i.numeric == Numeric::Double || n.numeric == Numeric::Double)
        n.numeric = Numeric::Double;
      else if (i.numeric == Numeric::Decimal)
        n.numeric = Numeric::Decimal;
    } else if (i.t == Item::T::Boolean || !toNumber(atomize(i), v)) {
      continue;
    } else {
      n.numeric = Numeric::Double;
    }
    n.values.push_back(v);
  }
  return n;
}

bool allStrings(const Seq& s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](const Item& i) { return i.t == Item::T::String; });
}

}  // namespace

std::string Evaluator::stringArg(const XExpr& e, std::size_t i, const Focus& f) {
  if (i >= e.args.size()) return f.item ? atomize(*f.item) : std::string();
  Seq s = eval(*e.args[i], f);
  return s.empty() ? std::string() : atomize(s[0]);
}

Seq Evaluator::outside(const XExpr& e) {
  const XmlQuery::Outside& o = outside_.at(static_cast<std::size_t>(e.reference));
  if (o.kind == 0) return {};
  if (o.kind == 'n') {
    double d = NAN;
    if (toNumber(o.text, d)) {
      const Numeric k = o.text.find_first_of("eE") != std::string::npos ? Numeric::Double
                        : o.text.find('.') != std::string::npos         ? Numeric::Decimal
                                                                        : Numeric::Integer;
      return {numberItem(d, k)};
    }
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

Seq Evaluator::call(const XExpr& e, const Focus& f) {
  const std::string& n = e.text;
  if (n == "sql:variable" || n == "sql:column") return outside(e);
  if (n == "string") return {stringItem(stringArg(e, 0, f))};
  if (n == "data") {
    Seq out;
    for (const Item& i : eval(*e.args[0], f)) {
      if (i.t != Item::T::Node) {
        out.push_back(i);
        continue;
      }
      out.push_back(stringItem(atomize(i)));
      out.back().untyped = true;
    }
    return out;
  }
  if (n == "number") {
    Seq s = e.args.empty() ? Seq{} : eval(*e.args[0], f);
    if (e.args.empty() && f.item) s.push_back(*f.item);
    return {numberItem(s.empty() ? NAN : itemNumber(s[0]))};
  }
  if (n == "count")
    return {numberItem(static_cast<double>(eval(*e.args[0], f).size()), Numeric::Integer)};
  if (n == "not") return {boolItem(!effectiveBoolean(eval(*e.args[0], f)))};
  if (n == "boolean") return {boolItem(effectiveBoolean(eval(*e.args[0], f)))};
  if (n == "empty" || n == "exists")
    return {boolItem(eval(*e.args[0], f).empty() == (n == "empty"))};
  if (n == "true" || n == "false") return {boolItem(n == "true")};
  if (n == "contains" || n == "starts-with" || n == "ends-with") {
    const std::string a = stringArg(e, 0, f), b = stringArg(e, 1, f);
    const bool r = n == "contains"      ? a.find(b) != std::string::npos
                   : n == "starts-with" ? a.starts_with(b)
                                        : a.ends_with(b);
    return {boolItem(r)};
  }
  if (n == "string-length")
    return {
        numberItem(static_cast<double>(codePoints(stringArg(e, 0, f)).size()), Numeric::Integer)};
  if (n == "substring") {
    // Characters at positions p with round(start) <= p < round(start) + round(length).
    const std::u32string s = codePoints(stringArg(e, 0, f));
    const Seq startSeq = eval(*e.args[1], f);
    if (startSeq.empty()) return {};
    const double start = std::round(itemNumber(startSeq[0]));
    double end = INFINITY;
    if (e.args.size() > 2) {
      const Seq length = eval(*e.args[2], f);
      if (length.empty()) return {};
      end = start + std::round(itemNumber(length[0]));
    }
    std::u32string out;
    for (std::size_t p = 1; p <= s.size(); ++p)
      if (static_cast<double>(p) >= start && static_cast<double>(p) < end) out += s[p - 1];
    return {stringItem(utf8(out))};
  }
  if (n == "upper-case" || n == "lower-case") {
    std::u32string s = codePoints(stringArg(e, 0, f));
    for (char32_t& c : s) c = n == "upper-case" ? upperCase(c) : foldCase(c);
    return {stringItem(utf8(s))};
  }
  if (n == "floor" || n == "ceiling" || n == "round" || n == "abs") {
    const Seq s = eval(*e.args[0], f);
    if (s.empty()) return {};
    const double v = itemNumber(s[0]);
    const Numeric k = s[0].t == Item::T::Number ? s[0].numeric : Numeric::Double;
    const double r = n == "floor"     ? std::floor(v)
                     : n == "ceiling" ? std::ceil(v)
                     : n == "abs"     ? std::fabs(v)
                                      : std::floor(v + 0.5);
    return {numberItem(r, k)};
  }
  if (n == "sum" || n == "avg") {
    const Seq s = eval(*e.args[0], f);
    const Numbers v = numbers(s);
    if (v.values.empty()) return n == "sum" ? Seq{numberItem(0, Numeric::Integer)} : Seq{};
    double total = 0;
    for (double d : v.values) total += d;
    if (n == "sum") return {numberItem(total, v.numeric)};
    const Numeric k = v.numeric == Numeric::Integer ? Numeric::Decimal : v.numeric;
    return {numberItem(total / static_cast<double>(v.values.size()), k)};
  }
  if (n == "min" || n == "max") {
    const Seq s = eval(*e.args[0], f);
    if (allStrings(s)) {
      auto best = s.begin();
      for (auto it = s.begin(); it != s.end(); ++it)
        if (n == "min" ? it->s < best->s : it->s > best->s) best = it;
      return {*best};
    }
    const Numbers v = numbers(s);
    if (v.values.empty()) return {};
    const double r = n == "min" ? *std::min_element(v.values.begin(), v.values.end())
                                : *std::max_element(v.values.begin(), v.values.end());
    return {numberItem(r, v.numeric)};
  }
  if (n == "distinct-values") {
    // Each value once, the first of equal ones kept; numbers equal by value.
    Seq out;
    std::unordered_set<std::string> seen;
    for (const Item& i : eval(*e.args[0], f)) {
      Item v = i.t == Item::T::Node ? stringItem(atomize(i)) : i;
      std::string key = v.t == Item::T::Number    ? "n" + numberText(v.d, Numeric::Double)
                        : v.t == Item::T::Boolean ? std::string(v.b ? "b1" : "b0")
                                                  : "s" + v.s;
      if (seen.insert(std::move(key)).second) out.push_back(std::move(v));
    }
    return out;
  }
  if (n == "local-name" || n == "name" || n == "namespace-uri") {
    Seq s = e.args.empty() ? Seq{} : eval(*e.args[0], f);
    if (e.args.empty() && f.item) s.push_back(*f.item);
    if (s.empty() || s[0].t != Item::T::Node) return {stringItem("")};
    const XmlNode& node = *s[0].node;
    if (n == "namespace-uri") return {stringItem(namespaceOf(node))};
    return {stringItem(std::string(n == "local-name" ? localName(node.name) : node.name))};
  }
  if (n == "last") return {numberItem(static_cast<double>(f.size), Numeric::Integer)};
  if (n == "position") return {numberItem(static_cast<double>(f.position), Numeric::Integer)};
  if (n == "concat") {
    std::string out;
    for (std::size_t i = 0; i < e.args.size(); ++i) out += stringArg(e, i, f);
    return {stringItem(out)};
  }
  return {};
}

}  // namespace tessel::sqld::engine::xquery
