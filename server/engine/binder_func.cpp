// Binding of built-in function calls: a lookup in the catalog of
// functions/builtin.h and a call of the entry's binder; window function
// calls (OVER) with their window.

#include "binder.h"
#include "collations.h"
#include "errors.h"
#include "functions/builtin.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

std::string frameBound(const WindowSpec::Bound& b) {
  using K = WindowSpec::Bound::Kind;
  switch (b.kind) {
    case K::UnboundedPreceding:
      return "UNBOUNDED PRECEDING";
    case K::Preceding:
      return std::to_string(b.offset) + " PRECEDING";
    case K::CurrentRow:
      break;
    case K::Following:
      return std::to_string(b.offset) + " FOLLOWING";
    case K::UnboundedFollowing:
      return "UNBOUNDED FOLLOWING";
  }
  return "CURRENT ROW";
}

}  // namespace

Typed Binder::bindFunction(const Expr& e, Scope& scope) {
  const builtin::Function* f = builtin::find(e.op);
  if (!f) throw SqlError(195, {lower(e.op)});
  if (!e.over && builtin::needsWindow(*f)) throw SqlError(10753, {e.op});
  if (e.over && !builtin::takesWindow(*f)) throw SqlError(4113, {e.op});
  std::size_t n = e.args.size();
  if (n < f->minArgs || (f->maxArgs != builtin::kVariadic && n > f->maxArgs))
    throw SqlError(174, {lower(e.op), std::to_string(f->minArgs)});
  if (!e.over) {
    builtin::Call call(*this, e, scope);
    if (!builtin::isAggregate(*f)) return f->bind(call);
    WindowClause nested(*this, WindowUse::Nested);
    return f->bind(call);
  }
  if (windowUse_ != WindowUse::Allowed)
    throw SqlError(windowUse_ == WindowUse::Nested ? 4109 : 4108, {});
  if (e.distinct) throw SqlError(10759, {});
  WindowClause nested(*this, WindowUse::Nested);
  bool keysAggregate = false;
  builtin::Call call(*this, e, scope, windowSql(*e.over, scope, keysAggregate));
  Typed r = f->bind(call);
  // An aggregate over a window leaves the rows ungrouped; one inside its
  // arguments or keys (SUM(SUM(x)) OVER ...) groups them.
  r.isAggregate = keysAggregate || call.nestedAggregate();
  return r;
}

std::string Binder::windowSql(const WindowSpec& w, Scope& scope, bool& aggregate) {
  std::string sql;
  for (std::size_t i = 0; i < w.partitionBy.size(); ++i) {
    Typed g = bindExpr(*w.partitionBy[i], scope);
    aggregate = aggregate || g.isAggregate;
    sql += (i ? ", " : "PARTITION BY ") + g.sql +
           (isCharType(g.type.type) ? collateClause(g.type.collation) : "");
  }
  for (std::size_t i = 0; i < w.orderBy.size(); ++i) {
    const Expr& k = *w.orderBy[i].expr;
    if (k.kind == ExprKind::Literal)
      throw SqlError(std::holds_alternative<std::int64_t>(k.value.data()) ? 5308 : 5309, {});
    Typed t = bindExpr(k, scope);
    aggregate = aggregate || t.isAggregate;
    sql += (i             ? ", "
            : sql.empty() ? "ORDER BY "
                          : " ORDER BY ") +
           orderKey(t) + (w.orderBy[i].descending ? " DESC" : "");
  }
  if (!w.frameUnit.empty()) {
    if (w.orderBy.empty()) throw SqlError(10756, {});
    using K = WindowSpec::Bound::Kind;
    auto offset = [](const WindowSpec::Bound& b) {
      return b.kind == K::Preceding || b.kind == K::Following;
    };
    if (w.frameUnit == "RANGE" && (offset(w.start) || offset(w.end))) throw SqlError(4194, {});
    sql += std::string(sql.empty() ? "" : " ") + w.frameUnit + " BETWEEN " + frameBound(w.start) +
           " AND " + frameBound(w.end);
  }
  return " OVER (" + sql + ")";
}

}  // namespace tessel::sqld::engine
