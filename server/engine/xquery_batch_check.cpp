#include "xquery_batch_check.h"

#include <set>
#include <utility>

#include "errors.h"
#include "lexer.h"
#include "statement_walk.h"
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

class Checker : public StatementWalk {
 public:
  explicit Checker(const XmlColumnLookup& lookup)
      : StatementWalk({.tops = false,
                       .subqueriesFirst = true,
                       .orderByBeforeUnions = true,
                       .fromBeforeSets = true}),
        lookup_(lookup) {}

 private:
  // The statement being walked and the WITH XMLNAMESPACES in force, as they
  // were before a statement or query that changed them.
  struct Saved {
    const Stmt* current;
    std::string namespaces;
  };

  bool enterStatement(const Stmt& s) override {
    if (!compiles(s.kind)) return false;
    saved_.push_back({std::exchange(current_, &s), namespaces_});
    if (!s.xmlNamespaces.empty()) namespaces_ = s.xmlNamespaces;
    return true;
  }
  void leaveStatement(const Stmt&) override { restore(); }
  void enterSelect(const SelectStmt& s) override {
    saved_.push_back({current_, namespaces_});
    if (!s.xmlNamespaces.empty()) namespaces_ = s.xmlNamespaces;
  }
  void leaveSelect(const SelectStmt&) override { restore(); }
  void restore() {
    current_ = saved_.back().current;
    namespaces_ = std::move(saved_.back().namespaces);
    saved_.pop_back();
  }

  // Module bodies compile when they run; the other statements left out
  // hold no queries of their own.
  static bool compiles(StmtKind kind) {
    switch (kind) {
      case StmtKind::Select:
      case StmtKind::Insert:
      case StmtKind::Update:
      case StmtKind::Delete:
      case StmtKind::Merge:
      case StmtKind::Declare:
      case StmtKind::SetVar:
      case StmtKind::If:
      case StmtKind::While:
      case StmtKind::Block:
      case StmtKind::TryCatch:
      case StmtKind::Return:
        return true;
      default:
        return false;
    }
  }

  void enterSources(const ColumnSources& sources) override { levels_.push_back(sources); }
  void leaveSources() override { levels_.pop_back(); }

  void declared(const std::string& name, const VarDecl* v) override {
    if (v && v->type.type == SqlType::Xml && v->userType.empty()) xmlVariables_.insert(lower(name));
  }

  void node(const Expr& e) override {
    if (e.kind == ExprKind::Function && e.op.starts_with(".XML_")) call(e.op, e.args);
  }
  void tableSource(const TableRef& t) override {
    if (t.kind == TableRef::Kind::Function && !t.name.empty() && t.name[0] == ".NODES" &&
        t.args.size() == 2)
      call(".NODES", t.args);
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
  std::vector<ColumnSources> levels_;
  std::vector<Saved> saved_;
  std::string namespaces_;
  std::set<std::string> xmlVariables_;
  const Stmt* current_ = nullptr;
};

}  // namespace

void checkXQueries(const std::vector<StmtPtr>& statements, const XmlColumnLookup& lookup) {
  Checker(lookup).statements(statements);
}

}  // namespace tessel::sqld::engine
