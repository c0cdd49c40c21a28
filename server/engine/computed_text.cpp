#include "computed_text.h"

#include <optional>

#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// Binding strength of the operators, as the parser groups them.
int precedence(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Or:
      return 1;
    case ExprKind::And:
      return 2;
    case ExprKind::Not:
      return 3;
    case ExprKind::Compare:
    case ExprKind::Like:
    case ExprKind::Between:
    case ExprKind::InList:
    case ExprKind::IsNull:
      return 4;
    case ExprKind::Binary:
      if (e.op == "*" || e.op == "/" || e.op == "%") return 7;
      if (e.op == "+" || e.op == "-") return 6;
      return 5;  // & | ^
    default:
      return 9;
  }
}

std::string bracketed(const std::string& name) {
  std::string out = "[";
  for (char ch : name) out += ch == ']' ? std::string("]]") : std::string(1, ch);
  return out + "]";
}

std::string quoteLiteral(const std::string& text) {
  std::string out = "'";
  for (char ch : text) out += ch == '\'' ? std::string("''") : std::string(1, ch);
  return out + "'";
}

class Printer {
 public:
  std::optional<std::string> print(const Expr& e) {
    switch (e.kind) {
      case ExprKind::Column:
        if (e.names.size() != 1) return std::nullopt;
        return bracketed(e.names[0]);
      case ExprKind::Literal: {
        const auto& v = e.value.data();
        if (e.value.isNull()) return "NULL";
        if (const auto* i = std::get_if<std::int64_t>(&v)) return "(" + std::to_string(*i) + ")";
        if (const auto* s = std::get_if<std::string>(&v))
          return (isUnicodeType(e.type.type) ? "N" : "") + quoteLiteral(*s);
        return std::nullopt;
      }
      case ExprKind::Unary: {
        if (e.op == "-" && e.args[0]->kind == ExprKind::Literal)
          if (const auto* i = std::get_if<std::int64_t>(&e.args[0]->value.data()))
            return "(" + std::to_string(-*i) + ")";
        auto operand = operandOf(e, *e.args[0]);
        if (!operand) return std::nullopt;
        return e.op + *operand;
      }
      case ExprKind::Binary:
      case ExprKind::Compare:
      case ExprKind::And:
      case ExprKind::Or: {
        if (e.args.size() != 2) return std::nullopt;
        auto left = operandOf(e, *e.args[0]);
        // The right operand of a non-associative operator keeps its group.
        auto right = operandOf(e, *e.args[1], true);
        if (!left || !right) return std::nullopt;
        const std::string op = e.kind == ExprKind::And  ? " AND "
                               : e.kind == ExprKind::Or ? " OR "
                                                        : e.op;
        return *left + op + *right;
      }
      case ExprKind::Function: {
        if (!e.names.empty() || e.distinct || e.star || e.over) return std::nullopt;
        std::string out = lower(e.op) + "(";
        for (std::size_t i = 0; i < e.args.size(); ++i) {
          auto a = print(*e.args[i]);
          if (!a) return std::nullopt;
          out += (i ? "," : "") + *a;
        }
        return out + ")";
      }
      case ExprKind::Case: {
        std::string out = "case";
        std::size_t i = 0;
        if (e.caseOperand) {
          auto a = print(*e.args[i++]);
          if (!a) return std::nullopt;
          out += " " + *a;
        }
        const std::size_t end = e.args.size() - (e.caseElse ? 1 : 0);
        for (; i + 1 < end + 1 && i < end; i += 2) {
          auto w = print(*e.args[i]);
          auto t = print(*e.args[i + 1]);
          if (!w || !t) return std::nullopt;
          out += " when " + *w + " then " + *t;
        }
        if (e.caseElse) {
          auto x = print(*e.args.back());
          if (!x) return std::nullopt;
          out += " else " + *x;
        }
        return out + " end";
      }
      case ExprKind::IsNull: {
        auto a = operandOf(e, *e.args[0]);
        if (!a) return std::nullopt;
        return *a + (e.negated ? " IS NOT NULL" : " IS NULL");
      }
      default:
        return std::nullopt;
    }
  }

 private:
  std::optional<std::string> operandOf(const Expr& parent, const Expr& child, bool right = false) {
    auto text = print(child);
    if (!text) return std::nullopt;
    const int p = precedence(parent), c = precedence(child);
    if (c < p || (right && c == p && c < 9 && parent.kind == ExprKind::Binary &&
                  (parent.op == "-" || parent.op == "/" || parent.op == "%")))
      return "(" + *text + ")";
    return text;
  }
};

}  // namespace

std::string computedDefinition(const Expr& e, const std::string& written) {
  if (auto text = Printer().print(e)) return "(" + *text + ")";
  return "(" + written + ")";
}

}  // namespace tessel::sqld::engine
