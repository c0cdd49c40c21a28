#include "variable_check.h"

#include "errors.h"
#include "lexer.h"

namespace tessel::sqld::engine {
namespace {

class Checker {
 public:
  void statements(const std::vector<StmtPtr>& list) {
    for (const auto& s : list) statement(*s);
  }

 private:
  void use(const std::string& name) {
    if (name.rfind("@@", 0) == 0) return;
    if (!declared_.count(lower(name))) throw SqlError(137, {name});
  }
  void declare(const std::string& name) { declared_.insert(lower(name)); }

  // A list instead of recursion: chains of operators nest as deep as they
  // are long. Operands are visited in the order they are written.
  void expr(const Expr* root) {
    struct Visit {
      const Expr* e;
      bool query;  // the node's subquery, after its operands
    };
    std::vector<Visit> pending{{root, false}};
    while (!pending.empty()) {
      Visit v = pending.back();
      pending.pop_back();
      if (!v.e) continue;
      if (v.query) {
        select(*v.e->query);
        continue;
      }
      if (v.e->kind == ExprKind::Variable) use(v.e->op);
      if (v.e->query) pending.push_back({v.e, true});
      for (auto a = v.e->args.rbegin(); a != v.e->args.rend(); ++a)
        pending.push_back({a->get(), false});
    }
  }

  void table(const TableRef* t) {
    if (!t) return;
    table(t->left.get());
    table(t->right.get());
    expr(t->on.get());
    if (t->derived) select(*t->derived);
  }

  void select(const SelectStmt& s) {
    expr(s.top.get());
    for (const auto& f : s.from) table(f.get());
    for (const auto& item : s.items) {
      expr(item.expr.get());
      if (!item.assignVar.empty()) use(item.assignVar);
    }
    expr(s.where.get());
    for (const auto& g : s.groupBy) expr(g.get());
    expr(s.having.get());
    for (const auto& u : s.unions) select(*u.select);
    for (const auto& o : s.orderBy) expr(o.expr.get());
  }

  void exec(const ExecStmt& s) {
    if (!s.returnVar.empty()) use(s.returnVar);
    expr(s.procVar.get());
    expr(s.dynamicSql.get());
    for (const auto& a : s.args) expr(a.value.get());
  }

  void statement(const Stmt& s) {
    switch (s.kind) {
      case StmtKind::Select:
        select(*static_cast<const QueryStmt&>(s).select);
        break;
      case StmtKind::Insert: {
        const auto& i = static_cast<const InsertStmt&>(s);
        for (const auto& row : i.rows)
          for (const auto& v : row) expr(v.get());
        if (i.select) select(*i.select);
        if (i.exec) exec(*i.exec);
        break;
      }
      case StmtKind::Update: {
        const auto& u = static_cast<const UpdateStmt&>(s);
        for (const auto& a : u.sets) {
          if (!a.variable.empty()) use(a.variable);
          expr(a.value.get());
        }
        for (const auto& f : u.from) table(f.get());
        expr(u.where.get());
        expr(u.top.get());
        break;
      }
      case StmtKind::Merge: {
        const auto& m = static_cast<const MergeStmt&>(s);
        table(m.source.get());
        expr(m.on.get());
        expr(m.top.get());
        for (const auto& c : m.clauses) {
          expr(c.condition.get());
          for (const auto& a : c.sets) expr(a.value.get());
          if (c.insert && c.insert->select) select(*c.insert->select);
        }
        break;
      }
      case StmtKind::Delete: {
        const auto& d = static_cast<const DeleteStmt&>(s);
        for (const auto& f : d.from) table(f.get());
        expr(d.where.get());
        expr(d.top.get());
        break;
      }
      case StmtKind::CreateProc: {
        // A procedure body is its own scope: its parameters and declarations.
        const auto& p = static_cast<const CreateProcStmt&>(s);
        Checker inner;
        for (const auto& param : p.params) {
          inner.expr(param.defaultValue.get());
          inner.declare(param.name);
        }
        if (!p.returnVar.empty()) inner.declare(p.returnVar);
        if (p.inlineSelect) inner.select(*p.inlineSelect);
        inner.statements(p.body);
        break;
      }
      case StmtKind::CreateTrigger: {
        Checker inner;
        inner.statements(static_cast<const CreateTriggerStmt&>(s).body);
        break;
      }
      case StmtKind::Declare: {
        const auto& d = static_cast<const DeclareStmt&>(s);
        for (const auto& v : d.vars) {
          expr(v.init.get());
          declare(v.name);
        }
        if (d.table) declare(d.table->name[0]);
        break;
      }
      case StmtKind::SetVar: {
        const auto& v = static_cast<const SetVarStmt&>(s);
        use(v.name);
        expr(v.value.get());
        break;
      }
      case StmtKind::SetOption:
        expr(static_cast<const SetOptionStmt&>(s).valueExpr.get());
        break;
      case StmtKind::If: {
        const auto& i = static_cast<const IfStmt&>(s);
        expr(i.condition.get());
        statement(*i.thenStmt);
        if (i.elseStmt) statement(*i.elseStmt);
        break;
      }
      case StmtKind::While: {
        const auto& w = static_cast<const WhileStmt&>(s);
        expr(w.condition.get());
        statement(*w.body);
        break;
      }
      case StmtKind::Block:
        statements(static_cast<const BlockStmt&>(s).body);
        break;
      case StmtKind::Return:
        expr(static_cast<const ReturnStmt&>(s).value.get());
        break;
      case StmtKind::Print:
        expr(static_cast<const PrintStmt&>(s).value.get());
        break;
      case StmtKind::Raiserror:
        for (const auto& a : static_cast<const RaiserrorStmt&>(s).args) expr(a.get());
        break;
      case StmtKind::Waitfor:
        expr(static_cast<const WaitforStmt&>(s).time.get());
        break;
      case StmtKind::Exec:
        exec(static_cast<const ExecStmt&>(s));
        break;
      case StmtKind::Readtext: {
        const auto& r = static_cast<const ReadtextStmt&>(s);
        expr(r.pointer.get());
        expr(r.offset.get());
        expr(r.size.get());
        break;
      }
      case StmtKind::Writetext: {
        const auto& w = static_cast<const WritetextStmt&>(s);
        expr(w.pointer.get());
        expr(w.insertOffset.get());
        expr(w.deleteLength.get());
        expr(w.data.get());
        break;
      }
      case StmtKind::Kill:
        expr(static_cast<const KillStmt&>(s).spid.get());
        break;
      case StmtKind::TryCatch: {
        const auto& t = static_cast<const TryCatchStmt&>(s);
        statements(t.tryBody);
        statements(t.catchBody);
        break;
      }
      case StmtKind::Throw: {
        const auto& t = static_cast<const ThrowStmt&>(s);
        expr(t.number.get());
        expr(t.message.get());
        expr(t.state.get());
        break;
      }
      default:
        break;
    }
  }

  std::set<std::string> declared_;
};

}  // namespace

void checkVariables(const std::vector<StmtPtr>& statements) {
  Checker().statements(statements);
}

}  // namespace tessel::sqld::engine
