// Binding of long operand lists: AND and OR, chains of arithmetic operators
// and IN lists. Generated queries give these tens of thousands of operands;
// they are bound without recursion and come out as nested groups of at most
// kGroup operands, so that SQLite's parser stack and its expression depth
// limit (1000) are never reached however long the list is.

#include <algorithm>
#include <span>

#include "binder.h"
#include "errors.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// Operands per group: within SQLite's limit of function arguments (127)
// and, as a left-deep chain, far within its expression depth.
constexpr std::size_t kGroup = 64;
// Runs shorter than this keep the one-operator-at-a-time form.
constexpr std::size_t kMinRun = 8;
// Operators of a chain that nest one inside the other (the kinds that
// group into no run); SQLite could not parse more.
constexpr std::size_t kMaxNested = 1000;

// Groups `terms` level by level: wrap(group, signs, last) gives the SQL of
// one group, `signs` holding one character per term of the group; a group's
// result takes part in the next level with sign '+'.
template <typename Wrap>
std::string nestGroups(std::vector<std::string> terms, std::string signs, Wrap wrap) {
  while (terms.size() > kGroup) {
    std::vector<std::string> level;
    std::string levelSigns;
    for (std::size_t i = 0; i < terms.size(); i += kGroup) {
      std::size_t n = std::min(kGroup, terms.size() - i);
      level.push_back(wrap(std::span<const std::string>(terms).subspan(i, n),
                           std::string_view(signs).substr(i, n), false));
      levelSigns += '+';
    }
    terms = std::move(level);
    signs = std::move(levelSigns);
  }
  return wrap(std::span<const std::string>(terms), std::string_view(signs), true);
}

std::string join(std::span<const std::string> terms, std::string_view separator) {
  std::size_t size = 0;
  for (const auto& t : terms) size += t.size() + separator.size();
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < terms.size(); ++i) {
    if (i > 0) out += separator;
    out += terms[i];
  }
  return out;
}

// `a sep b sep c ...` for an associative operator.
std::string joinGrouped(std::vector<std::string> terms, std::string_view separator) {
  std::string signs(terms.size(), '+');
  return nestGroups(std::move(terms), std::move(signs),
                    [&](std::span<const std::string> group, std::string_view, bool) {
                      return "(" + join(group, separator) + ")";
                    });
}

bool isPlainInteger(const Typed& t) {
  SqlType k = t.type.type;
  return !t.nullLiteral && (k == SqlType::TinyInt || k == SqlType::SmallInt || k == SqlType::Int ||
                            k == SqlType::BigInt);
}

}  // namespace

Typed Binder::bindLogical(const Expr& e, Scope& scope) {
  // Operands of the same operator written in parentheses join the list.
  std::vector<std::string> terms;
  Typed r;
  r.type = makeType(SqlType::Bit);
  std::vector<const Expr*> pending{&e};
  while (!pending.empty()) {
    const Expr* x = pending.back();
    pending.pop_back();
    if (x->kind == e.kind) {
      for (auto a = x->args.rbegin(); a != x->args.rend(); ++a) pending.push_back(a->get());
      continue;
    }
    Typed t = bindExpr(*x, scope);
    r.isAggregate = r.isAggregate || t.isAggregate;
    terms.push_back(std::move(t.sql));
  }
  r.sql = joinGrouped(std::move(terms), e.kind == ExprKind::And ? " AND " : " OR ");
  return r;
}

Typed Binder::bindBinary(const Expr& e, Scope& scope) {
  // Operators of one precedence group to the left: `a + b + c` is a spine
  // down the first operands, bound from the bottom up.
  std::vector<const Expr*> spine;
  for (const Expr* x = &e; x->kind == ExprKind::Binary; x = x->args[0].get()) spine.push_back(x);
  std::reverse(spine.begin(), spine.end());
  Typed acc = bindExpr(*spine.front()->args[0], scope);
  std::vector<Typed> operands;
  operands.reserve(spine.size());
  for (const Expr* x : spine) operands.push_back(bindExpr(*x->args[1], scope));

  std::size_t nested = 0;
  for (std::size_t i = 0; i < spine.size();) {
    const std::string& op = spine[i]->op;
    // A run of integer + and -: one t_iadd that checks each partial total
    // against the run's type, as the operators one at a time would.
    if (isPlainInteger(acc) && (op == "+" || op == "-") && isPlainInteger(operands[i])) {
      TypeInfo type = commonType(acc.type, operands[i].type);
      std::size_t end = i;
      while (end < spine.size() && (spine[end]->op == "+" || spine[end]->op == "-") &&
             isPlainInteger(operands[end]) &&
             commonType(type, operands[end].type).type == type.type)
        ++end;
      if (end - i >= kMinRun) {
        std::vector<std::string> terms{std::move(acc.sql)};
        std::string signs = "+";
        bool aggregate = acc.isAggregate;
        for (std::size_t k = i; k < end; ++k) {
          terms.push_back(std::move(operands[k].sql));
          signs += spine[k]->op;
          aggregate = aggregate || operands[k].isAggregate;
        }
        const std::string width = std::to_string(makeType(type.type).length);
        acc = Typed();
        acc.sql =
            nestGroups(std::move(terms), std::move(signs),
                       [&](std::span<const std::string> group, std::string_view s, bool last) {
                         return "t_iadd(" + (last ? width : std::string("0")) + ",'" +
                                std::string(s) + "'," + join(group, ",") + ")";
                       });
        acc.type = type;
        acc.type.nullable = true;
        acc.isAggregate = aggregate;
        i = end;
        continue;
      }
    }
    // A run of string or binary +: concatenation is associative, so the run
    // groups as it likes; its type is what the operators one at a time give.
    auto concatenates = [&](const Typed& a, const Typed& b) {
      if (a.nullLiteral || b.nullLiteral) return false;
      return (isCharType(a.type.type) && isCharType(b.type.type)) ||
             (isBinaryType(a.type.type) && isBinaryType(b.type.type));
    };
    std::size_t end = i;
    while (end < spine.size() && spine[end]->op == "+" && concatenates(acc, operands[end])) ++end;
    if (end - i >= kMinRun) {
      Typed typeOnly;
      typeOnly.type = acc.type;
      bool text = isCharType(acc.type.type);
      std::vector<std::string> terms{std::move(acc.sql)};
      bool aggregate = acc.isAggregate;
      for (std::size_t k = i; k < end; ++k) {
        Typed operand;
        operand.type = operands[k].type;
        typeOnly.type = combineBinary("+", std::move(typeOnly), std::move(operand)).type;
        terms.push_back(std::move(operands[k].sql));
        aggregate = aggregate || operands[k].isAggregate;
      }
      acc = Typed();
      if (text && ctx_.settings().concatNullYieldsNull) {
        acc.sql = joinGrouped(std::move(terms), "||");
      } else {
        std::string signs(terms.size(), '+');
        acc.sql = nestGroups(std::move(terms), std::move(signs),
                             [](std::span<const std::string> group, std::string_view, bool) {
                               return "t_concat(" + join(group, ",") + ")";
                             });
      }
      acc.type = typeOnly.type;
      acc.type.nullable = true;
      acc.isAggregate = aggregate;
      i = end;
      continue;
    }
    if (++nested > kMaxNested) throw SqlError(191, {});
    acc = combineBinary(op, std::move(acc), std::move(operands[i]));
    acc.type.nullable = true;
    ++i;
  }
  return acc;
}

Typed Binder::bindInList(const Expr& e, Scope& scope) {
  Typed x = bindExpr(*e.args[0], scope);
  // Constants that compare with x in one form share one SQLite IN list:
  // `x IN (1, 2, ...)` with fifty thousand items is one comparison, where
  // their OR would be as deep as the list is long.
  struct Group {
    std::string lhs;
    std::vector<std::string> values;
  };
  std::vector<Group> groups;
  std::vector<std::string> terms;
  Typed r;
  r.type = makeType(SqlType::Bit);
  r.isAggregate = x.isAggregate;
  for (std::size_t i = 1; i < e.args.size(); ++i) {
    Typed item = bindExpr(*e.args[i], scope);
    r.isAggregate = r.isAggregate || item.isAggregate;
    Comparison c = compareParts("=", x, item);
    if (!c.whole.empty() || !(item.literal || item.isVariable)) {
      terms.push_back(c.sql());
      continue;
    }
    auto g =
        std::find_if(groups.begin(), groups.end(), [&](const Group& k) { return k.lhs == c.lhs; });
    if (g == groups.end()) g = groups.insert(groups.end(), Group{std::move(c.lhs), {}});
    g->values.push_back(std::move(c.rhs));
  }
  for (Group& g : groups) {
    if (g.values.size() == 1) {
      terms.push_back("(" + g.lhs + " = " + g.values[0] + ")");
    } else {
      terms.push_back("(" + g.lhs + " IN (" + join(g.values, ",") + "))");
    }
  }
  std::string sql = joinGrouped(std::move(terms), " OR ");
  r.sql = e.negated ? "(NOT " + sql + ")" : sql;
  return r;
}

}  // namespace tessel::sqld::engine
