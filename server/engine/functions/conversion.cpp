// TRY_CAST and TRY_CONVERT: CAST and CONVERT that give NULL for a value
// that does not convert (t_trycast). The parser puts the target type in the
// call's `type`, the value and CONVERT's style in its arguments.

#include "builtin.h"
#include "errors.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

Typed tryConvert(Call& c) {
  Typed x = c.arg(0);
  int style = 0;
  if (c.size() > 1) {
    const Expr& s = c.argExpr(1);
    if (s.kind != ExprKind::Literal) throw SqlError(102, {","});
    if (auto* v = std::get_if<std::int64_t>(&s.value.data())) style = static_cast<int>(*v);
  }
  const TypeInfo& to = c.expr().type;
  Typed r = make("NULL", to);
  r.isAggregate = x.isAggregate;
  if (x.nullLiteral) return r;
  r.sql = "t_trycast(" + x.sql + "," + std::to_string(encodeType(x.type)) + "," +
          std::to_string(encodeType(to)) + "," + std::to_string(style) + ")";
  return r;
}

constexpr Function kFunctions[] = {
    {"TRY_CAST", 1, 1, tryConvert},
    {"TRY_CONVERT", 1, 2, tryConvert},
};

}  // namespace

std::span<const Function> conversionFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
