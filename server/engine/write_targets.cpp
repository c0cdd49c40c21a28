#include "write_targets.h"

#include "lexer.h"

namespace tessel::sqld::engine {
namespace {

// The table an UPDATE or DELETE names by an alias of its FROM clause.
const Name* aliased(const std::vector<TableRefPtr>& from, const std::string& alias) {
  for (const auto& ref : from) {
    std::vector<const TableRef*> pending{ref.get()};
    while (!pending.empty()) {
      const TableRef* r = pending.back();
      pending.pop_back();
      if (!r) continue;
      if (r->kind == TableRef::Kind::Named && iequals(r->alias, alias)) return &r->name;
      pending.push_back(r->left.get());
      pending.push_back(r->right.get());
    }
  }
  return nullptr;
}

Name rowsOf(const Name& table, const std::vector<TableRefPtr>& from) {
  if (table.size() == 1)
    if (const Name* named = aliased(from, table[0])) return *named;
  return table;
}

}  // namespace

static std::vector<WriteTarget> statementTargets(const Stmt& s);

std::vector<WriteTarget> writeTargets(const Stmt& s) {
  std::vector<WriteTarget> targets = statementTargets(s);
  for (const Name& sequence : s.sequences) targets.push_back({sequence, false, "UPDATE"});
  return targets;
}

static std::vector<WriteTarget> statementTargets(const Stmt& s) {
  switch (s.kind) {
    case StmtKind::Insert:
      return {{static_cast<const InsertStmt&>(s).table, false, "INSERT"}};
    case StmtKind::Update: {
      const auto& u = static_cast<const UpdateStmt&>(s);
      return {{rowsOf(u.table, u.from), false, "UPDATE"}};
    }
    case StmtKind::Delete: {
      const auto& d = static_cast<const DeleteStmt&>(s);
      return {{rowsOf(d.table, d.from), false, "DELETE"}};
    }
    case StmtKind::Truncate:
      return {{static_cast<const TruncateStmt&>(s).table, false, "DELETE"}};
    case StmtKind::Merge:
      return {{static_cast<const MergeStmt&>(s).table, false, "MERGE"}};
    case StmtKind::Writetext: {
      Name table = static_cast<const WritetextStmt&>(s).column;
      if (!table.empty()) table.pop_back();
      return {{table, false, "UPDATE"}};
    }
    case StmtKind::Select: {
      const auto& q = static_cast<const QueryStmt&>(s);
      if (q.select && !q.select->into.empty()) return {{q.select->into, true, "CREATE TABLE"}};
      return {};
    }
    case StmtKind::CreateTable:
      return {{static_cast<const CreateTableStmt&>(s).name, true, "CREATE TABLE"}};
    case StmtKind::CreateIndex:
      return {{static_cast<const CreateIndexStmt&>(s).table, true, "CREATE INDEX"}};
    case StmtKind::CreateView:
      return {{static_cast<const CreateViewStmt&>(s).name, true, "CREATE VIEW"}};
    case StmtKind::CreateProc:
      return {{static_cast<const CreateProcStmt&>(s).name, true, "CREATE PROCEDURE"}};
    case StmtKind::CreateTrigger:
      return {{static_cast<const CreateTriggerStmt&>(s).table, true, "CREATE TRIGGER"}};
    case StmtKind::CreateType:
      return {{static_cast<const CreateTypeStmt&>(s).name, true, "CREATE TYPE"}};
    case StmtKind::CreateSchema: {
      const auto& c = static_cast<const CreateSchemaStmt&>(s);
      if (!c.transfer.empty()) return {{c.transfer, true, "ALTER SCHEMA"}};
      return {{Name{}, true, "CREATE SCHEMA"}};
    }
    case StmtKind::CreateSequence: {
      const auto& c = static_cast<const CreateSequenceStmt&>(s);
      return {{c.name, true, c.alter ? "ALTER SEQUENCE" : "CREATE SEQUENCE"}};
    }
    case StmtKind::EnableTrigger: {
      const auto& e = static_cast<const EnableTriggerStmt&>(s);
      return {{e.table.empty() && !e.triggers.empty() ? e.triggers[0] : e.table, true, "ALTER"}};
    }
    case StmtKind::AlterTable:
      return {{static_cast<const AlterTableStmt&>(s).table, true, "ALTER TABLE"}};
    case StmtKind::Drop: {
      const auto& d = static_cast<const DropStmt&>(s);
      if (iequals(d.objectType, "DATABASE")) return {};
      std::vector<WriteTarget> out;
      for (const Name& n : d.names) out.push_back({n, true, "DROP " + upper(d.objectType)});
      return out;
    }
    default:
      return {};
  }
}

}  // namespace tessel::sqld::engine
