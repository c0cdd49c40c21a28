#include "variable_check.h"

#include <utility>

#include "errors.h"
#include "lexer.h"
#include "statement_walk.h"

namespace tessel::sqld::engine {
namespace {

class Checker : public StatementWalk {
 public:
  Checker() : StatementWalk(Order{}) {}

 private:
  void use(const std::string& name) {
    if (name.rfind("@@", 0) == 0) return;
    if (!declared_.count(lower(name))) throw SqlError(137, {name});
  }

  void node(const Expr& e) override {
    if (e.kind == ExprKind::Variable) use(e.op);
  }
  void assigned(const std::string& name) override { use(name); }
  void declared(const std::string& name, const VarDecl*) override { declared_.insert(lower(name)); }

  // A module body sees only its own parameters and declarations.
  void enterModule() override { outer_.push_back(std::exchange(declared_, {})); }
  void leaveModule() override {
    declared_ = std::move(outer_.back());
    outer_.pop_back();
  }

  std::set<std::string> declared_;
  std::vector<std::set<std::string>> outer_;
};

}  // namespace

void checkVariables(const std::vector<StmtPtr>& statements) {
  Checker().statements(statements);
}

}  // namespace tessel::sqld::engine
