#include "ast.h"

namespace tessel::sqld::engine {

Expr::~Expr() {
  std::vector<ExprPtr> pending = std::move(args);
  while (!pending.empty()) {
    ExprPtr e = std::move(pending.back());
    pending.pop_back();
    if (!e) continue;
    for (ExprPtr& a : e->args) pending.push_back(std::move(a));
    e->args.clear();
  }
}

}  // namespace tessel::sqld::engine
