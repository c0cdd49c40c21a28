// Arithmetic and casts. Untyped values (nodes, text) take part as
// xs:double; integers stay integers through + - * idiv mod, and div of two
// of them is xs:decimal. What cannot be computed or cast is the empty
// sequence, as SQL Server maps dynamic errors.

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "xquery_eval.h"

namespace tessel::sqld::engine::xquery {
namespace {

std::string_view trimmed(std::string_view s) {
  const std::size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// An operand of arithmetic: its value and type; false when it is none.
bool operand(const Item& i, double& v, Numeric& k) {
  if (i.t == Item::T::Number) {
    v = i.d;
    k = i.numeric;
    return true;
  }
  if (i.t == Item::T::Boolean) return false;
  k = Numeric::Double;
  return toNumber(atomize(i), v);
}

// [+-]digits[.digits]: the forms of xs:decimal (and without the point, of
// xs:integer).
bool decimalText(std::string_view t, bool point, double& v) {
  std::size_t i = 0;
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) ++i;
  bool digits = false, seenPoint = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) {
      digits = true;
    } else if (t[i] == '.' && point && !seenPoint) {
      seenPoint = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  v = std::strtod(std::string(t).c_str(), nullptr);
  return true;
}

struct IntegerRange {
  std::string_view type;
  double min, max;
};
constexpr IntegerRange kIntegerRanges[] = {{"integer", -9.3e18, 9.3e18},
                                           {"long", -9223372036854775808.0, 9223372036854775807.0},
                                           {"int", -2147483648.0, 2147483647.0},
                                           {"short", -32768, 32767},
                                           {"byte", -128, 127},
                                           {"unsignedLong", 0, 18446744073709551615.0},
                                           {"unsignedInt", 0, 4294967295.0},
                                           {"unsignedShort", 0, 65535},
                                           {"unsignedByte", 0, 255},
                                           {"nonNegativeInteger", 0, 9.3e18},
                                           {"positiveInteger", 1, 9.3e18}};

}  // namespace

Seq Evaluator::arithmetic(const XExpr& e, const Focus& f) {
  const Seq a = eval(*e.args[0], f);
  const Seq b = eval(*e.args[1], f);
  if (a.empty() || b.empty()) return {};
  double x = 0, y = 0;
  Numeric kx{}, ky{};
  if (!operand(a[0], x, kx) || !operand(b[0], y, ky)) return {};
  const std::string& op = e.text;
  Numeric k = kx == Numeric::Double || ky == Numeric::Double     ? Numeric::Double
              : kx == Numeric::Decimal || ky == Numeric::Decimal ? Numeric::Decimal
                                                                 : Numeric::Integer;
  double r = 0;
  if (op == "+") {
    r = x + y;
  } else if (op == "-") {
    r = x - y;
  } else if (op == "*") {
    r = x * y;
  } else if (op == "div") {
    if (y == 0 && k != Numeric::Double) return {};
    if (k == Numeric::Integer) k = Numeric::Decimal;
    r = x / y;
  } else if (op == "idiv") {
    if (y == 0 || !std::isfinite(x) || !std::isfinite(y)) return {};
    r = std::trunc(x / y);
    k = Numeric::Integer;
  } else {  // mod
    if (y == 0 && k != Numeric::Double) return {};
    r = std::fmod(x, y);
  }
  if (k != Numeric::Double && !std::isfinite(r)) return {};
  return {numberItem(r, k)};
}

Seq Evaluator::negate(const XExpr& e, const Focus& f) {
  const Seq a = eval(*e.args[0], f);
  if (a.empty()) return {};
  double x = 0;
  Numeric k{};
  if (!operand(a[0], x, k)) return {};
  return {numberItem(-x, k)};
}

Seq Evaluator::cast(const XExpr& e, const Focus& f) {
  const Seq s = eval(*e.args[0], f);
  if (s.empty()) return {};
  const Item& i = s[0];
  const std::string& type = e.text;
  if (type == "string" || type == "untypedAtomic") {
    Item out = stringItem(atomize(i));
    out.untyped = type == "untypedAtomic";
    return {out};
  }
  if (type == "boolean") {
    if (i.t == Item::T::Number || i.t == Item::T::Boolean) return {boolItem(effectiveBoolean(s))};
    const std::string value = atomize(i);
    const std::string_view t = trimmed(value);
    if (t == "true" || t == "1") return {boolItem(true)};
    if (t == "false" || t == "0") return {boolItem(false)};
    return {};
  }
  double v = 0;
  bool text = false;
  if (i.t == Item::T::Number) {
    v = i.d;
  } else if (i.t == Item::T::Boolean) {
    v = i.b ? 1 : 0;
  } else {
    text = true;
  }
  if (type == "double" || type == "float") {
    if (text && !toNumber(atomize(i), v)) return {};
    Item out = numberItem(type == "float" ? static_cast<double>(static_cast<float>(v)) : v,
                          Numeric::Double);
    if (type == "float") out.derived = "float";
    return {out};
  }
  if (type == "decimal") {
    if (text && !decimalText(trimmed(atomize(i)), true, v)) return {};
    if (!std::isfinite(v)) return {};
    return {numberItem(v, Numeric::Decimal)};
  }
  // The integer types.
  if (text && !decimalText(trimmed(atomize(i)), false, v)) return {};
  if (!std::isfinite(v)) return {};
  v = std::trunc(v);
  Item out = numberItem(v, Numeric::Integer);
  for (const IntegerRange& r : kIntegerRanges) {
    if (r.type != type) continue;
    if (v < r.min || v > r.max) return {};
    out.derived = r.type;
  }
  return {out};
}

}  // namespace tessel::sqld::engine::xquery
