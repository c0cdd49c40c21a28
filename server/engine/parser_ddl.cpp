// CREATE and DROP of tables, indexes, views, procedures and databases.

#include <cstdlib>

#include "collations.h"
#include "errors.h"
#include "parser.h"
#include "parser_impl.h"
#include "types.h"

namespace tessel::sqld::engine {

StmtPtr Parser::parseCreate() {
  std::size_t start = peek().offset;
  next();
  if (isWord("OR") && isWord("ALTER", 1)) {
    next();
    next();
    if (isWord("VIEW") || isWord("PROC") || isWord("PROCEDURE") || isWord("TRIGGER") ||
        isWord("FUNCTION"))
      return parseModule(start, Parser::ModuleMode::CreateOrAlter);
    syntaxError();
  }
  if (isWord("TABLE")) return parseCreateTable();
  if (isWord("VIEW") || isWord("PROC") || isWord("PROCEDURE") || isWord("TRIGGER") ||
      isWord("FUNCTION"))
    return parseModule(start, Parser::ModuleMode::Create);
  if (isWord("TYPE")) return parseCreateType(start);
  if (isWord("SEQUENCE")) return parseSequence(false);
  if (acceptWord("SCHEMA")) {
    auto s = std::make_unique<CreateSchemaStmt>();
    s->name = parseIdentifier();
    if (acceptWord("AUTHORIZATION")) s->owner = parseIdentifier();
    return s;
  }
  if (acceptWord("DATABASE")) {
    auto s = std::make_unique<CreateDatabaseStmt>();
    s->name = parseIdentifier();
    // File specifications (ON PRIMARY ..., WITH ...) are accepted and ignored.
    while (!atEnd() && !atStatementStart()) {
      if (acceptWord("COLLATE")) {
        s->collation = parseIdentifier();
        collationId(s->collation);
      } else {
        next();
      }
    }
    return s;
  }
  bool unique = acceptWord("UNIQUE");
  bool clustered = false;
  if (acceptWord("CLUSTERED")) {
    clustered = true;
  } else {
    acceptWord("NONCLUSTERED");
  }
  if (isWord("INDEX")) return parseCreateIndex(unique, clustered);
  syntaxError();
}

std::vector<std::string> Parser::parseColumnList(std::vector<bool>* descending) {
  std::vector<std::string> cols;
  expectSymbol("(");
  do {
    cols.push_back(parseIdentifier());
    bool desc = false;
    if (acceptWord("DESC")) {
      desc = true;
    } else {
      acceptWord("ASC");
    }
    if (descending) descending->push_back(desc);
  } while (acceptSymbol(","));
  expectSymbol(")");
  return cols;
}

StmtPtr Parser::parseCreateTable() {
  next();
  auto s = std::make_unique<CreateTableStmt>();
  s->name = parseName();
  parseTableElements(*s);
  while (isWord("ON") || isWord("TEXTIMAGE_ON")) {
    next();
    if (peek().kind == TokenKind::Word || peek().kind == TokenKind::QuotedName) next();
  }
  return s;
}

StmtPtr Parser::parseModule(std::size_t start, ModuleMode mode) {
  const bool alter = mode == ModuleMode::Alter;
  const bool orAlter = mode == ModuleMode::CreateOrAlter;
  if (isWord("TRIGGER")) {
    StmtPtr s = parseCreateTrigger(start, alter);
    static_cast<CreateTriggerStmt&>(*s).orAlter = orAlter;
    return s;
  }
  if (isWord("VIEW")) {
    StmtPtr s = parseCreateView(start);
    auto& v = static_cast<CreateViewStmt&>(*s);
    v.alter = alter;
    v.orAlter = orAlter;
    return s;
  }
  StmtPtr s = isWord("FUNCTION") ? parseCreateFunction(start) : parseCreateProc(start);
  auto& p = static_cast<CreateProcStmt&>(*s);
  p.alter = alter;
  p.orAlter = orAlter;
  return s;
}

void Parser::parseTableElements(CreateTableStmt& s) {
  expectSymbol("(");
  do {
    if (isWord("CONSTRAINT")) {
      next();
      std::string name = parseIdentifier();
      parseTableConstraint(s, name);
    } else if (isWord("PRIMARY") || isWord("UNIQUE") || isWord("CHECK") || isWord("FOREIGN")) {
      parseTableConstraint(s, "");
    } else {
      parseColumnDef(s);
    }
  } while (acceptSymbol(","));
  expectSymbol(")");
}

void Parser::parseTableConstraint(CreateTableStmt& t, std::string name) {
  ConstraintDef c;
  c.name = std::move(name);
  if (acceptWord("PRIMARY")) {
    expectWord("KEY");
    c.kind = ConstraintDef::Kind::PrimaryKey;
  } else if (acceptWord("UNIQUE")) {
    c.kind = ConstraintDef::Kind::Unique;
  } else if (acceptWord("CHECK")) {
    c.kind = ConstraintDef::Kind::Check;
    acceptWord("NOT") && (expectWord("FOR"), expectWord("REPLICATION"), true);
    expectSymbol("(");
    std::size_t from = peek().offset;
    c.check = parseExpr();
    c.checkText = sourceText(from, peek().offset);
    expectSymbol(")");
    t.constraints.push_back(std::move(c));
    return;
  } else if (acceptWord("FOREIGN")) {
    expectWord("KEY");
    c.kind = ConstraintDef::Kind::ForeignKey;
    c.columns = parseColumnList();
    expectWord("REFERENCES");
    c.refTable = parseName();
    if (isSymbol("(")) c.refColumns = parseColumnList();
  } else if (acceptWord("DEFAULT")) {
    // ALTER TABLE ... ADD CONSTRAINT name DEFAULT value FOR column
    c.kind = ConstraintDef::Kind::Default;
    std::size_t from = peek().offset;
    c.check = parseUnary();
    c.checkText = sourceText(from, peek().offset);
    expectWord("FOR");
    c.columns = {parseIdentifier()};
    t.constraints.push_back(std::move(c));
    return;
  } else {
    syntaxError();
  }
  if (c.kind != ConstraintDef::Kind::ForeignKey) {
    parseClustered(c);
    c.columns = parseColumnList();
    if (isWord("WITH") && acceptWord("WITH")) {
      if (acceptWord("FILLFACTOR")) {
        expectSymbol("=");
        next();
      }
    }
    if (acceptWord("ON")) next();
  } else {
    parseReferentialActions(c);
  }
  t.constraints.push_back(std::move(c));
}

void Parser::parseClustered(ConstraintDef& c) {
  if (acceptWord("CLUSTERED")) {
    c.clustered = true;
  } else if (acceptWord("NONCLUSTERED")) {
    c.clustered = false;
  }
}

void Parser::parseReferentialActions(ConstraintDef& c) {
  while (isWord("ON") && (isWord("DELETE", 1) || isWord("UPDATE", 1))) {
    next();
    std::string& action = acceptWord("DELETE") ? c.onDelete : (next(), c.onUpdate);
    if (acceptWord("CASCADE")) {
      action = "CASCADE";
    } else if (acceptWord("SET")) {
      if (acceptWord("NULL")) {
        action = "SET NULL";
      } else {
        expectWord("DEFAULT");
        action = "SET DEFAULT";
      }
    } else {
      expectWord("NO");
      expectWord("ACTION");
      action.clear();
    }
  }
  if (isWord("NOT") && isWord("FOR", 1)) {
    next();
    next();
    expectWord("REPLICATION");
  }
}

void Parser::parseColumnDef(CreateTableStmt& t) {
  ColumnDef col;
  col.name = parseIdentifier();
  if (acceptWord("AS")) {
    // A computed column: its type comes from the expression.
    std::size_t from = peek().offset;
    col.computed = parseExpr();
    col.computedText = sourceText(from, peek().offset);
    col.persisted = acceptWord("PERSISTED");
  } else {
    col.rowversion = (isWord("TIMESTAMP") || isWord("ROWVERSION")) && !isSymbol(".", 1);
    col.type = parseDeclaredType(col.userType);
  }
  col.type.nullable = true;
  for (;;) {
    if (acceptWord("COLLATE")) {
      col.collate = parseIdentifier();
      col.type.collation = collationId(col.collate);
    } else if (acceptWord("NULL")) {
      col.nullSpecified = true;
      col.type.nullable = true;
    } else if (isWord("NOT") && isWord("NULL", 1)) {
      next();
      next();
      col.nullSpecified = true;
      col.type.nullable = false;
    } else if (acceptWord("IDENTITY")) {
      col.identity = true;
      col.type.nullable = false;
      if (acceptSymbol("(")) {
        ExprPtr seed = parseUnary();
        expectSymbol(",");
        ExprPtr inc = parseUnary();
        expectSymbol(")");
        if (auto* v = std::get_if<std::int64_t>(&seed->value.data())) col.seed = *v;
        if (auto* v = std::get_if<std::int64_t>(&inc->value.data())) col.increment = *v;
      }
      if (isWord("NOT") && isWord("FOR", 1)) {
        next();
        next();
        expectWord("REPLICATION");
      }
    } else if (acceptWord("ROWGUIDCOL")) {
      col.rowGuidCol = true;
    } else if (isWord("CONSTRAINT") || isWord("DEFAULT") || isWord("PRIMARY") || isWord("UNIQUE") ||
               isWord("CHECK") || isWord("REFERENCES") || isWord("FOREIGN")) {
      std::string cname;
      if (acceptWord("CONSTRAINT")) cname = parseIdentifier();
      if (acceptWord("DEFAULT")) {
        std::size_t from = peek().offset;
        col.defaultValue = parseUnary();
        col.defaultText = sourceText(from, peek().offset);
        col.defaultName = cname;
        continue;
      }
      ConstraintDef c;
      c.name = cname;
      if (acceptWord("PRIMARY")) {
        expectWord("KEY");
        c.kind = ConstraintDef::Kind::PrimaryKey;
        c.columns = {col.name};
        parseClustered(c);
        col.type.nullable = false;
      } else if (acceptWord("UNIQUE")) {
        c.kind = ConstraintDef::Kind::Unique;
        c.columns = {col.name};
        parseClustered(c);
      } else if (acceptWord("CHECK")) {
        c.kind = ConstraintDef::Kind::Check;
        c.columns = {col.name};  // a column-level CHECK: sp_helpconstraint says so
        expectSymbol("(");
        std::size_t from = peek().offset;
        c.check = parseExpr();
        c.checkText = sourceText(from, peek().offset);
        expectSymbol(")");
      } else {
        if (acceptWord("FOREIGN")) expectWord("KEY");
        expectWord("REFERENCES");
        c.kind = ConstraintDef::Kind::ForeignKey;
        c.columns = {col.name};
        c.refTable = parseName();
        if (isSymbol("(")) c.refColumns = parseColumnList();
        parseReferentialActions(c);
      }
      t.constraints.push_back(std::move(c));
    } else {
      break;
    }
  }
  t.columns.push_back(std::move(col));
}

StmtPtr Parser::parseCreateIndex(bool unique, bool clustered) {
  next();
  auto s = std::make_unique<CreateIndexStmt>();
  s->unique = unique;
  s->clustered = clustered;
  s->name = parseIdentifier();
  expectWord("ON");
  s->table = parseName();
  s->columns = parseColumnList(&s->descending);
  if (acceptWord("WITH")) {
    bool paren = acceptSymbol("(");
    while (!atEnd() && !atStatementStart() && !isWord("ON") && !isSymbol(")")) next();
    if (paren) expectSymbol(")");
  }
  if (acceptWord("ON")) next();
  return s;
}

StmtPtr Parser::parseCreateView(std::size_t start) {
  next();
  auto s = std::make_unique<CreateViewStmt>();
  s->name = parseName();
  if (isSymbol("(")) s->columns = parseColumnList();
  if (acceptWord("WITH")) parseIdentifier();
  expectWord("AS");
  s->select = parseSelect();
  if (isWord("WITH") && isWord("CHECK", 1)) {
    next();
    next();
    expectWord("OPTION");
  }
  s->text = sourceText(start, atEnd() ? sql_.size() : peek().offset);
  return s;
}

StmtPtr Parser::parseCreateProc(std::size_t start) {
  next();
  auto s = std::make_unique<CreateProcStmt>();
  s->name = parseName();
  if (isSymbol(";") && peek(1).kind == TokenKind::Integer) {
    next();
    next();
  }
  bool paren = acceptSymbol("(");
  while (peek().kind == TokenKind::Variable) {
    ProcParam p;
    p.name = next().text;
    acceptWord("AS");
    p.type = parseDeclaredType(p.userType);
    if (acceptWord("VARYING")) {
    }
    if (acceptSymbol("=")) p.defaultValue = parseUnary();
    if (acceptWord("OUTPUT") || acceptWord("OUT")) p.output = true;
    if (acceptWord("READONLY")) p.readonly = true;
    s->params.push_back(std::move(p));
    if (!acceptSymbol(",")) break;
  }
  if (paren) expectSymbol(")");
  parseModuleBody(start, s->body, s->text);
  return s;
}

// CREATE FUNCTION name ([@param type [= default], ...]) RETURNS ...: a
// scalar function (RETURNS type AS BEGIN ... END), an inline one (RETURNS
// TABLE AS RETURN [(]select[)]) or a multi-statement one (RETURNS @var
// TABLE (columns) AS BEGIN ... END).
StmtPtr Parser::parseCreateFunction(std::size_t start) {
  next();
  auto s = std::make_unique<CreateProcStmt>();
  s->name = parseName();
  expectSymbol("(");
  while (peek().kind == TokenKind::Variable) {
    ProcParam p;
    p.name = next().text;
    acceptWord("AS");
    p.type = parseDeclaredType(p.userType);
    if (acceptSymbol("=")) p.defaultValue = parseUnary();
    if (acceptWord("READONLY")) p.readonly = true;
    s->params.push_back(std::move(p));
    if (!acceptSymbol(",")) break;
  }
  expectSymbol(")");
  expectWord("RETURNS");
  if (peek().kind == TokenKind::Variable) {
    s->functionType = "TF";
    s->returnVar = next().text;
    expectWord("TABLE");
    auto table = std::make_shared<CreateTableStmt>();
    parseTableElements(*table);
    s->returnTable = std::move(table);
  } else if (acceptWord("TABLE")) {
    s->functionType = "IF";
    skipModuleOptions();
    expectWord("AS");
    expectWord("RETURN");
    const bool paren = isSymbol("(") && isWord("SELECT", 1);
    if (paren) next();
    s->inlineSelect = parseSelect();
    if (paren) expectSymbol(")");
    acceptSymbol(";");
    if (!atEnd()) syntaxError();
    s->text = sourceText(start, sql_.size());
    return s;
  } else {
    s->functionType = "FN";
    Name userType;
    s->returns = parseDeclaredType(userType);
  }
  parseModuleBody(start, s->body, s->text);
  return s;
}

void Parser::skipModuleOptions() {
  if (!acceptWord("WITH")) return;
  do {
    // ENCRYPTION, RECOMPILE, APPEND, EXECUTE AS CALLER | SELF | OWNER | 'user'
    if (acceptWord("EXECUTE")) {
      expectWord("AS");
      next();
    } else {
      parseIdentifier();
    }
  } while (acceptSymbol(","));
}

void Parser::parseModuleBody(std::size_t start, std::vector<StmtPtr>& body, std::string& text) {
  skipModuleOptions();
  if (isWord("NOT") && isWord("FOR", 1) && isWord("REPLICATION", 2)) next();
  if (isWord("FOR") && isWord("REPLICATION", 1)) {
    next();
    next();
  }
  expectWord("AS");
  while (!atEnd()) {
    if (acceptSymbol(";")) continue;
    body.push_back(parseStatement(false));
  }
  text = sourceText(start, sql_.size());
}

StmtPtr Parser::parseCreateTrigger(std::size_t start, bool alter) {
  next();
  auto s = std::make_unique<CreateTriggerStmt>();
  s->alter = alter;
  s->name = parseName();
  expectWord("ON");
  s->table = parseName();
  skipModuleOptions();
  if (acceptWord("INSTEAD")) {
    expectWord("OF");
    s->insteadOf = true;
  } else if (!acceptWord("FOR")) {
    expectWord("AFTER");
  }
  do {
    if (acceptWord("INSERT")) {
      s->onInsert = true;
    } else if (acceptWord("UPDATE")) {
      s->onUpdate = true;
    } else if (acceptWord("DELETE")) {
      s->onDelete = true;
    } else {
      syntaxError();
    }
  } while (acceptSymbol(","));
  parseModuleBody(start, s->body, s->text);
  return s;
}

std::vector<Name> Parser::parseTriggerNames() {
  std::vector<Name> names;
  if (acceptWord("ALL")) return names;
  do names.push_back(parseName());
  while (acceptSymbol(","));
  return names;
}

StmtPtr Parser::parseEnableTrigger() {
  auto s = std::make_unique<EnableTriggerStmt>();
  s->enable = isWord("ENABLE");
  next();
  next();
  s->triggers = parseTriggerNames();
  expectWord("ON");
  s->table = parseName();
  return s;
}

StmtPtr Parser::parseAlterTable() {
  next();
  next();
  Name table = parseName();
  if (isWord("ENABLE") || isWord("DISABLE")) {
    auto s = std::make_unique<EnableTriggerStmt>();
    s->alterTable = true;
    s->table = std::move(table);
    s->enable = isWord("ENABLE");
    next();
    expectWord("TRIGGER");
    s->triggers = parseTriggerNames();
    return s;
  }
  auto s = std::make_unique<AlterTableStmt>();
  s->table = std::move(table);
  s->added.name = s->table;
  if (isWord("WITH") && (isWord("CHECK", 1) || isWord("NOCHECK", 1))) {
    next();
    s->noCheck = upper(next().text) == "NOCHECK";
    if (!isWord("ADD")) syntaxError();
  }
  if (acceptWord("ADD")) {
    s->action = AlterTableStmt::Action::Add;
    do {
      if (acceptWord("CONSTRAINT")) {
        std::string name = parseIdentifier();
        parseTableConstraint(s->added, name);
      } else if (isWord("PRIMARY") || isWord("UNIQUE") || isWord("CHECK") || isWord("FOREIGN")) {
        parseTableConstraint(s->added, "");
      } else {
        parseColumnDef(s->added);
      }
      if (isWord("WITH") && isWord("VALUES", 1)) {
        next();
        next();
        s->withValues = true;
      }
    } while (acceptSymbol(","));
  } else if (acceptWord("DROP")) {
    s->action = AlterTableStmt::Action::Drop;
    bool column = false;
    do {
      // A name after COLUMN or CONSTRAINT stays of that kind up to the next keyword.
      if (acceptWord("COLUMN")) {
        column = true;
      } else if (acceptWord("CONSTRAINT")) {
        column = false;
      }
      AlterTableStmt::Dropped d;
      d.column = column;
      if (isWord("IF") && isWord("EXISTS", 1)) {
        next();
        next();
        d.ifExists = true;
      }
      d.name = parseIdentifier();
      s->dropped.push_back(std::move(d));
    } while (acceptSymbol(","));
  } else if (acceptWord("ALTER")) {
    expectWord("COLUMN");
    s->action = AlterTableStmt::Action::AlterColumn;
    ColumnDef col;
    col.name = parseIdentifier();
    col.type = parseDeclaredType(col.userType);
    col.type.nullable = true;
    if (acceptWord("COLLATE")) {
      col.collate = parseIdentifier();
      col.type.collation = collationId(col.collate);
    }
    if (acceptWord("NULL")) {
      col.nullSpecified = true;
    } else if (isWord("NOT") && isWord("NULL", 1)) {
      next();
      next();
      col.nullSpecified = true;
      col.type.nullable = false;
    }
    s->added.columns.push_back(std::move(col));
  } else {
    syntaxError();
  }
  return s;
}

StmtPtr Parser::parseCreateType(std::size_t start) {
  next();
  auto s = std::make_unique<CreateTypeStmt>();
  s->name = parseName();
  if (acceptWord("AS")) {
    expectWord("TABLE");
    s->table = std::make_unique<CreateTableStmt>();
    s->table->name = {s->name.back()};
    parseTableElements(*s->table);
  } else {
    expectWord("FROM");
    s->base = parseType();
    if (acceptWord("NOT")) {
      expectWord("NULL");
      s->nullSpecified = true;
      s->base.nullable = false;
    } else if (acceptWord("NULL")) {
      s->nullSpecified = true;
    }
  }
  s->text = sourceText(start, atEnd() ? sql_.size() : peek().offset);
  return s;
}

StmtPtr Parser::parseSequence(bool alter) {
  next();
  auto s = std::make_unique<CreateSequenceStmt>();
  s->alter = alter;
  s->name = parseName();
  if (!alter && acceptWord("AS")) s->type = parseType();
  for (;;) {
    if (!alter && acceptWord("START")) {
      expectWord("WITH");
      s->start = parseExpr();
    } else if (alter && acceptWord("RESTART")) {
      s->restart = true;
      if (acceptWord("WITH")) s->restartWith = parseExpr();
    } else if (acceptWord("INCREMENT")) {
      expectWord("BY");
      s->increment = parseExpr();
    } else if (acceptWord("MINVALUE")) {
      s->minSet = true;
      s->minValue = parseExpr();
    } else if (acceptWord("MAXVALUE")) {
      s->maxSet = true;
      s->maxValue = parseExpr();
    } else if (acceptWord("CYCLE")) {
      s->cycle = true;
    } else if (acceptWord("CACHE")) {
      // The values are written as they are handed out: a cache size changes nothing.
      if (peek().kind == TokenKind::Integer) next();
    } else if (isWord("NO") && (isWord("MINVALUE", 1) || isWord("MAXVALUE", 1) ||
                                isWord("CYCLE", 1) || isWord("CACHE", 1))) {
      next();
      std::string w = upper(next().text);
      if (w == "MINVALUE") s->minSet = true;
      if (w == "MAXVALUE") s->maxSet = true;
      if (w == "CYCLE") s->cycle = false;
    } else {
      break;
    }
  }
  return s;
}

StmtPtr Parser::parseDrop() {
  next();
  auto s = std::make_unique<DropStmt>();
  std::string type = upper(next().text);
  if (type == "PROC") type = "PROCEDURE";
  if (type != "TABLE" && type != "VIEW" && type != "PROCEDURE" && type != "FUNCTION" &&
      type != "TRIGGER" && type != "INDEX" && type != "DATABASE" && type != "SCHEMA" &&
      type != "TYPE" && type != "SEQUENCE")
    syntaxErrorAt(peek());
  s->objectType = type;
  if (isWord("IF") && isWord("EXISTS", 1)) {
    next();
    next();
    s->ifExists = true;
  }
  do s->names.push_back(parseName());
  while (acceptSymbol(","));
  if (type == "INDEX" && acceptWord("ON"))
    s->names.back().insert(s->names.back().begin(), parseName().back());
  return s;
}

}  // namespace tessel::sqld::engine
