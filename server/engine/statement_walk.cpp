#include "statement_walk.h"

namespace tessel::sqld::engine {

void StatementWalk::statements(const std::vector<StmtPtr>& list) {
  for (const auto& s : list) statement(*s);
}

void StatementWalk::statement(const Stmt& s) {
  if (!enterStatement(s)) return;
  parts(s);
  leaveStatement(s);
}

void StatementWalk::select(const SelectStmt& s) {
  enterSelect(s);
  if (order_.tops) expr(s.top.get());
  enterSources({&s.from, nullptr, nullptr, {}});
  for (const auto& f : s.from) table(f.get());
  for (const auto& item : s.items) {
    expr(item.expr.get());
    if (!item.assignVar.empty()) assigned(item.assignVar);
  }
  expr(s.where.get());
  for (const auto& g : s.groupBy) expr(g.get());
  expr(s.having.get());
  if (order_.orderByBeforeUnions)
    for (const auto& o : s.orderBy) expr(o.expr.get());
  leaveSources();
  for (const auto& u : s.unions) select(*u.select);
  if (!order_.orderByBeforeUnions)
    for (const auto& o : s.orderBy) expr(o.expr.get());
  leaveSelect(s);
}

// A list instead of recursion: chains of operators nest as deep as they are
// long. Operands are visited in the order they are written.
void StatementWalk::expr(const Expr* root) {
  struct Visit {
    const Expr* e;
    bool query;  // the node's subquery, after its operands
  };
  std::vector<Visit> pending{{root, false}};
  while (!pending.empty()) {
    const Visit v = pending.back();
    pending.pop_back();
    if (!v.e) continue;
    if (v.query) {
      select(*v.e->query);
      continue;
    }
    if (v.e->query && order_.subqueriesFirst) select(*v.e->query);
    node(*v.e);
    if (v.e->query && !order_.subqueriesFirst) pending.push_back({v.e, true});
    for (auto a = v.e->args.rbegin(); a != v.e->args.rend(); ++a)
      pending.push_back({a->get(), false});
  }
}

void StatementWalk::table(const TableRef* t) {
  if (!t) return;
  table(t->left.get());
  table(t->right.get());
  expr(t->on.get());
  if (t->derived) select(*t->derived);
  tableSource(*t);
}

void StatementWalk::exec(const ExecStmt& s) {
  if (!s.returnVar.empty()) assigned(s.returnVar);
  expr(s.procVar.get());
  expr(s.dynamicSql.get());
  for (const auto& a : s.args) expr(a.value.get());
}

void StatementWalk::update(const UpdateStmt& u) {
  // With a FROM list, the table UPDATE names is one of its sources.
  enterSources({&u.from, nullptr, u.from.empty() ? &u.table : nullptr, {}});
  const auto from = [&] {
    for (const auto& f : u.from) table(f.get());
  };
  if (order_.fromBeforeSets) from();
  for (const auto& a : u.sets) {
    if (!a.variable.empty()) assigned(a.variable);
    expr(a.value.get());
  }
  if (!order_.fromBeforeSets) from();
  expr(u.where.get());
  if (order_.tops) expr(u.top.get());
  leaveSources();
}

void StatementWalk::merge(const MergeStmt& m) {
  table(m.source.get());
  enterSources({nullptr, m.source.get(), &m.table, m.alias});
  expr(m.on.get());
  if (order_.tops) expr(m.top.get());
  for (const auto& c : m.clauses) {
    expr(c.condition.get());
    // MERGE refuses SET @v = when it is bound: its variables are not taken
    // as assigned here.
    for (const auto& a : c.sets) expr(a.value.get());
    // INSERT's VALUES, parsed as the select list of a query over the source.
    if (c.insert && c.insert->select) select(*c.insert->select);
  }
  leaveSources();
}

// A procedure, function or trigger body is its own scope: its parameters
// and declarations.
void StatementWalk::module(const CreateProcStmt& p) {
  enterModule();
  for (const auto& param : p.params) {
    expr(param.defaultValue.get());
    declared(param.name, nullptr);
  }
  if (!p.returnVar.empty()) declared(p.returnVar, nullptr);
  if (p.inlineSelect) select(*p.inlineSelect);
  statements(p.body);
  leaveModule();
}

void StatementWalk::parts(const Stmt& s) {
  switch (s.kind) {
    case StmtKind::Select:
      select(*static_cast<const QueryStmt&>(s).select);
      break;
    case StmtKind::Insert: {
      const auto& i = static_cast<const InsertStmt&>(s);
      for (const auto& row : i.rows)
        for (const auto& v : row) expr(v.get());
      if (i.select) select(*i.select);
      if (i.exec) statement(*i.exec);
      break;
    }
    case StmtKind::Update:
      update(static_cast<const UpdateStmt&>(s));
      break;
    case StmtKind::Delete: {
      const auto& d = static_cast<const DeleteStmt&>(s);
      enterSources({&d.from, nullptr, d.from.empty() ? &d.table : nullptr, {}});
      for (const auto& f : d.from) table(f.get());
      expr(d.where.get());
      if (order_.tops) expr(d.top.get());
      leaveSources();
      break;
    }
    case StmtKind::Merge:
      merge(static_cast<const MergeStmt&>(s));
      break;
    case StmtKind::CreateProc:
      module(static_cast<const CreateProcStmt&>(s));
      break;
    case StmtKind::CreateTrigger:
      enterModule();
      statements(static_cast<const CreateTriggerStmt&>(s).body);
      leaveModule();
      break;
    case StmtKind::Declare: {
      const auto& d = static_cast<const DeclareStmt&>(s);
      for (const auto& v : d.vars) {
        expr(v.init.get());
        declared(v.name, &v);
      }
      if (d.table) declared(d.table->name[0], nullptr);
      break;
    }
    case StmtKind::SetVar: {
      const auto& v = static_cast<const SetVarStmt&>(s);
      assigned(v.name);
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
    case StmtKind::TryCatch: {
      const auto& t = static_cast<const TryCatchStmt&>(s);
      statements(t.tryBody);
      statements(t.catchBody);
      break;
    }
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
    case StmtKind::Throw: {
      const auto& t = static_cast<const ThrowStmt&>(s);
      expr(t.number.get());
      expr(t.message.get());
      expr(t.state.get());
      break;
    }
    default:
      // Definitions and the rest hold no expressions of a batch's own.
      break;
  }
}

}  // namespace tessel::sqld::engine
