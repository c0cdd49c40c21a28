#include "xquery_batch_check.h"

#include <set>
#include <utility>

#include "errors.h"
#include "lexer.h"
#include "xml_path.h"

namespace tessel::sqld::engine {
namespace {

XmlQuery::Method methodNamed(std::string_view op) {
  if (op == ".XML_VALUE") return XmlQuery::Method::Value;
  if (op == ".XML_QUERY") return XmlQuery::Method::Query;
  if (op == ".XML_EXIST") return XmlQuery::Method::Exist;
  if (op == ".XML_NODES" || op == ".NODES") return XmlQuery::Method::Nodes;
  return XmlQuery::Method::Modify;
}

const std::string* literalText(const Expr& e) {
  return e.kind == ExprKind::Literal ? std::get_if<std::string>(&e.value.data()) : nullptr;
}

class Checker {
 public:
  explicit Checker(const XmlColumnLookup& lookup) : lookup_(lookup) {}

  void statements(const std::vector<StmtPtr>& list) {
    for (const auto& s : list) statement(*s);
  }

 private:
  // The sources a column may come from: a FROM list, and the table an
  // UPDATE, DELETE or MERGE names.
  struct Level {
    const std::vector<TableRefPtr>* from = nullptr;
    const TableRef* source = nullptr;
    const Name* target = nullptr;
    std::string targetAlias;
  };

  // WITH XMLNAMESPACES of a statement, for the calls within it.
  class Namespaces {
   public:
    Namespaces(Checker& c, const std::string& ns) : c_(c), saved_(c.namespaces_) {
      if (!ns.empty()) c.namespaces_ = ns;
    }
    ~Namespaces() { c_.namespaces_ = std::move(saved_); }
    Namespaces(const Namespaces&) = delete;
    Namespaces& operator=(const Namespaces&) = delete;

   private:
    Checker& c_;
    std::string saved_;
  };

  void statement(const Stmt& s) {
    const Stmt* outer = std::exchange(current_, &s);
    Namespaces ns(*this, s.xmlNamespaces);
    switch (s.kind) {
      case StmtKind::Select:
        select(*static_cast<const QueryStmt&>(s).select);
        break;
      case StmtKind::Insert: {
        const auto& i = static_cast<const InsertStmt&>(s);
        for (const auto& row : i.rows)
          for (const auto& v : row) expr(v.get());
        if (i.select) select(*i.select);
        break;
      }
      case StmtKind::Update: {
        const auto& u = static_cast<const UpdateStmt&>(s);
        Level level{&u.from, nullptr, u.from.empty() ? &u.table : nullptr, {}};
        levels_.push_back(level);
        for (const auto& f : u.from) table(f.get());
        for (const auto& a : u.sets) expr(a.value.get());
        expr(u.where.get());
        levels_.pop_back();
        break;
      }
      case StmtKind::Delete: {
        const auto& d = static_cast<const DeleteStmt&>(s);
        levels_.push_back({&d.from, nullptr, d.from.empty() ? &d.table : nullptr, {}});
        for (const auto& f : d.from) table(f.get());
        expr(d.where.get());
        levels_.pop_back();
        break;
      }
      case StmtKind::Merge: {
        const auto& m = static_cast<const MergeStmt&>(s);
        table(m.source.get());
        levels_.push_back({nullptr, m.source.get(), &m.table, m.alias});
        expr(m.on.get());
        for (const auto& c : m.clauses) {
          expr(c.condition.get());
          for (const auto& a : c.sets) expr(a.value.get());
          if (c.insert)
            for (const auto& row : c.insert->rows)
              for (const auto& v : row) expr(v.get());
        }
        levels_.pop_back();
        break;
      }
      case StmtKind::Declare:
        for (const auto& v : static_cast<const DeclareStmt&>(s).vars) {
          expr(v.init.get());
          if (v.type.type == SqlType::Xml && v.userType.empty())
            xmlVariables_.insert(lower(v.name));
        }
        break;
      case StmtKind::SetVar:
        expr(static_cast<const SetVarStmt&>(s).value.get());
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
      default:
        // Module bodies compile when they run; other statements hold no
        // queries of their own.
        break;
    }
    current_ = outer;
  }

  void select(const SelectStmt& s) {
    Namespaces ns(*this, s.xmlNamespaces);
    levels_.push_back({&s.from, nullptr, nullptr, {}});
    for (const auto& f : s.from) table(f.get());
    for (const auto& item : s.items) expr(item.expr.get());
    expr(s.where.get());
    for (const auto& g : s.groupBy) expr(g.get());
    expr(s.having.get());
    for (const auto& o : s.orderBy) expr(o.expr.get());
    levels_.pop_back();
    for (const auto& u : s.unions) select(*u.select);
  }

  void table(const TableRef* t) {
    if (!t) return;
    table(t->left.get());
    table(t->right.get());
    expr(t->on.get());
    if (t->derived) select(*t->derived);
    if (t->kind == TableRef::Kind::Function && !t->name.empty() && t->name[0] == ".NODES" &&
        t->args.size() == 2)
      call(".NODES", t->args);
  }

  // A list instead of recursion: chains of operators nest as deep as they
  // are long.
  void expr(const Expr* root) {
    std::vector<const Expr*> pending{root};
    while (!pending.empty()) {
      const Expr* e = pending.back();
      pending.pop_back();
      if (!e) continue;
      if (e->query) select(*e->query);
      if (e->kind == ExprKind::Function && e->op.starts_with(".XML_")) call(e->op, e->args);
      for (auto a = e->args.rbegin(); a != e->args.rend(); ++a) pending.push_back(a->get());
    }
  }

  void call(std::string_view op, const std::vector<ExprPtr>& args) {
    if (args.size() < 2 || !args[0] || !args[1]) return;
    const std::string* text = literalText(*args[1]);
    if (!text) return;
    const std::optional<std::string> where = whereOf(*args[0]);
    if (!where) return;
    try {
      XmlQuery::parse(*text, methodNamed(op), *where, namespaces_);
    } catch (const SqlError& e) {
      Message m = e.message();
      if (current_) m.line = current_->line;
      throw SqlError(m, e.scope());
    }
  }

  // What the messages name for a call's target ("" for a variable or a
  // method's result); nothing when its type is not known to be xml.
  std::optional<std::string> whereOf(const Expr& target) const {
    if (target.kind == ExprKind::Variable)
      return xmlVariables_.count(lower(target.op)) ? std::optional<std::string>("") : std::nullopt;
    if (target.kind == ExprKind::Function && target.op == ".XML_QUERY") return "";
    if (target.kind != ExprKind::Column || target.names.empty() || target.names.size() > 2)
      return std::nullopt;
    const std::string& column = target.names.back();
    const std::string qualifier = target.names.size() == 2 ? lower(target.names[0]) : "";
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
      std::vector<std::pair<const Name*, std::string>> named;  // table, name it is known by
      bool unknown = false;  // a source whose columns the catalog does not give
      if (level->from)
        for (const auto& f : *level->from) sources(f.get(), named, unknown);
      sources(level->source, named, unknown);
      if (level->target)
        named.emplace_back(level->target,
                           level->targetAlias.empty() ? level->target->back() : level->targetAlias);
      XmlColumnFound found;
      int matches = 0;
      for (const auto& [name, exposed] : named) {
        if (!qualifier.empty() && lower(exposed) != qualifier) continue;
        XmlColumnFound f = lookup_(*name, column);
        if (f.state == XmlColumnFound::State::NoTable) unknown = true;
        if (f.state == XmlColumnFound::State::NotXml || f.state == XmlColumnFound::State::Xml) {
          found = std::move(f);
          ++matches;
        }
      }
      if (matches == 1 && !unknown && found.state == XmlColumnFound::State::Xml) return found.where;
      if (matches > 0 || unknown) return std::nullopt;
    }
    return std::nullopt;
  }

  static void sources(const TableRef* t, std::vector<std::pair<const Name*, std::string>>& named,
                      bool& unknown) {
    if (!t) return;
    if (t->kind == TableRef::Kind::Join) {
      sources(t->left.get(), named, unknown);
      sources(t->right.get(), named, unknown);
    } else if (t->kind == TableRef::Kind::Named && !t->name.empty()) {
      named.emplace_back(&t->name, t->alias.empty() ? t->name.back() : t->alias);
    } else {
      unknown = true;
    }
  }

  const XmlColumnLookup& lookup_;
  std::vector<Level> levels_;
  std::string namespaces_;
  std::set<std::string> xmlVariables_;
  const Stmt* current_ = nullptr;
};

}  // namespace

void checkXQueries(const std::vector<StmtPtr>& statements, const XmlColumnLookup& lookup) {
  Checker(lookup).statements(statements);
}

}  // namespace tessel::sqld::engine
