// MERGE: the target, USING's source, ON, the WHEN clauses, OUTPUT and the
// semicolon that must end the statement.

#include "errors.h"
#include "parser_impl.h"
#include "types.h"

namespace tessel::sqld::engine {

StmtPtr Parser::parseMerge() {
  int line = next().line;
  auto s = std::make_unique<MergeStmt>();
  s->line = line;
  if (acceptWord("TOP")) {
    if (!isSymbol("(")) syntaxError();
    s->top = parsePrimary();
  }
  acceptWord("INTO");
  s->table = parseTableName();
  skipTableHints(false);
  if (acceptWord("AS")) {
    s->alias = parseIdentifier();
  } else if (atIdentifier() && !isWord("USING")) {
    s->alias = parseIdentifier();
  }
  expectWord("USING");
  s->source = parseTableSource();
  expectWord("ON");
  s->on = parseExpr();
  if (!isWord("WHEN")) syntaxError();
  while (isWord("WHEN")) parseMergeClause(*s, line);
  s->output = parseOutput(line);
  parseQueryOptions(nullptr);
  if (!isSymbol(";")) throw SqlError(10713, {});
  return s;
}

void Parser::parseMergeClause(MergeStmt& s, int line) {
  expectWord("WHEN");
  MergeClause c;
  if (acceptWord("NOT")) {
    expectWord("MATCHED");
    c.when = MergeClause::When::NotMatchedByTarget;
    if (acceptWord("BY")) {
      if (acceptWord("SOURCE")) {
        c.when = MergeClause::When::NotMatchedBySource;
      } else {
        expectWord("TARGET");
      }
    }
  } else {
    expectWord("MATCHED");
  }
  if (acceptWord("AND")) c.condition = parseExpr();
  expectWord("THEN");
  if (c.when == MergeClause::When::NotMatchedByTarget) {
    if (!isWord("INSERT")) syntaxError();
    next();
    c.action = MergeClause::Action::Insert;
    auto ins = std::make_unique<InsertStmt>();
    ins->line = line;
    ins->table = s.table;
    if (acceptSymbol("(")) {
      do ins->columns.push_back(parseName().back());
      while (acceptSymbol(","));
      expectSymbol(")");
    }
    if (acceptWord("DEFAULT")) {
      expectWord("VALUES");
      ins->defaultValues = true;
    } else {
      expectWord("VALUES");
      expectSymbol("(");
      // The values become the select list of a query over the source rows.
      ins->select = std::make_shared<SelectStmt>();
      do {
        SelectItem item;
        const bool byDefault = isWord("DEFAULT");
        if (byDefault) {
          item.expr = std::make_unique<Expr>();
          item.expr->kind = ExprKind::Literal;
          item.expr->offset = next().offset;
          item.expr->type = makeType(SqlType::Int);
        } else {
          item.expr = parseExpr();
        }
        ins->defaultItems.push_back(byDefault);
        ins->select->items.push_back(std::move(item));
      } while (acceptSymbol(","));
      expectSymbol(")");
    }
    c.insert = std::move(ins);
  } else if (acceptWord("DELETE")) {
    c.action = MergeClause::Action::Delete;
  } else {
    if (!isWord("UPDATE")) syntaxError();
    next();
    expectWord("SET");
    c.action = MergeClause::Action::Update;
    c.sets = parseSetList();
  }
  s.clauses.push_back(std::move(c));
}

}  // namespace tessel::sqld::engine
