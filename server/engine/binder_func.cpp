// Binding of built-in function calls: a lookup in the catalog of
// functions/builtin.h and a call of the entry's binder.

#include "binder.h"
#include "errors.h"
#include "functions/builtin.h"
#include "lexer.h"

namespace tessel::sqld::engine {

Typed Binder::bindFunction(const Expr& e, Scope& scope) {
  const builtin::Function* f = builtin::find(e.op);
  if (!f) throw SqlError(195, {lower(e.op)});
  std::size_t n = e.args.size();
  if (n < f->minArgs || (f->maxArgs != builtin::kVariadic && n > f->maxArgs))
    throw SqlError(174, {lower(e.op), std::to_string(f->minArgs)});
  builtin::Call call(*this, e, scope);
  return f->bind(call);
}

}  // namespace tessel::sqld::engine
