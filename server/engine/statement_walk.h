#pragma once

// One walk over the statements of a parsed batch, for the checks that run
// before it does: each statement, query, table source and expression is
// visited in order, and a check overrides the hooks for what it looks at.
// A hook may throw to end the walk; the first error found is the one seen.

#include <string>
#include <vector>

#include "ast.h"

namespace tessel::sqld::engine {

// Where the columns of the part being walked may come from: a FROM list,
// MERGE's source, and the table an UPDATE, DELETE or MERGE names when no
// FROM list holds it.
struct ColumnSources {
  const std::vector<TableRefPtr>* from = nullptr;
  const TableRef* source = nullptr;
  const Name* target = nullptr;
  std::string targetAlias;
};

class StatementWalk {
 public:
  // What a check visits, and in which order, where the checks differ. The
  // order decides which of two errors in one statement a check reports.
  struct Order {
    bool tops = true;                  // TOP expressions are visited
    bool subqueriesFirst = false;      // a node's subquery before its operands
    bool orderByBeforeUnions = false;  // ORDER BY before the UNION parts
    bool fromBeforeSets = false;       // UPDATE's FROM list before its SET list
  };

  explicit StatementWalk(Order order) : order_(order) {}
  virtual ~StatementWalk() = default;
  StatementWalk(const StatementWalk&) = delete;
  StatementWalk& operator=(const StatementWalk&) = delete;

  void statements(const std::vector<StmtPtr>& list);
  void statement(const Stmt& s);
  void select(const SelectStmt& s);
  void expr(const Expr* root);

 protected:
  // False skips the statement's parts; leaveStatement follows only a true.
  virtual bool enterStatement(const Stmt&) { return true; }
  virtual void leaveStatement(const Stmt&) {}
  virtual void enterSelect(const SelectStmt&) {}
  virtual void leaveSelect(const SelectStmt&) {}
  virtual void enterSources(const ColumnSources&) {}
  virtual void leaveSources() {}
  // A procedure, function or trigger body and its parameters.
  virtual void enterModule() {}
  virtual void leaveModule() {}
  // Each expression node, before its operands.
  virtual void node(const Expr&) {}
  // A table source, after its joins, ON condition and derived query.
  virtual void tableSource(const TableRef&) {}
  // A variable a statement sets: SELECT @v =, SET @v, UPDATE ... SET @v =,
  // EXEC @rc =.
  virtual void assigned(const std::string&) {}
  // A variable DECLARE names (with its declaration), a parameter, a
  // function's return table or a table variable (without).
  virtual void declared(const std::string&, const VarDecl*) {}

 private:
  void table(const TableRef* t);
  void exec(const ExecStmt& s);
  void update(const UpdateStmt& u);
  void merge(const MergeStmt& m);
  void module(const CreateProcStmt& p);
  void parts(const Stmt& s);

  Order order_;
};

}  // namespace tessel::sqld::engine
